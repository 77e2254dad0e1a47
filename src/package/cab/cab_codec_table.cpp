#include "package/cab/cab_codec.h"
#include "package/cab/mszip_codec.h"
#include "package/cab/quantum_codec.h"
#include "package/cab/stored_codec.h"

namespace {

// Indexed by the low four bits of a folder's compression type.
constexpr CabCodecType kCodecTypes[] = {
    {StoredCompressedBufferSize, CreateStoredCodec},
    {MszipCompressedBufferSize, CreateMszipCodec},
    {QuantumCompressedBufferSize, CreateQuantumCodec},
};

}  // namespace

const CabCodecType* FindCabCodecType(int compressionType)
{
    const unsigned codec = unsigned(compressionType) & 0x0F;
    return codec < sizeof kCodecTypes / sizeof kCodecTypes[0] ? &kCodecTypes[codec] : nullptr;
}

#include "package/cab/cab_codec.h"
#include "package/cab/mszip_codec.h"
#include "package/cab/stored_codec.h"

namespace {

// Stands in for the Quantum codec until it is built in.
uint32_t QuantumStandInSize(uint32_t) { return kCabBlockSize + 10240; }
CabError CreateQuantumStandIn(const CabCodecSetup&, CabCodec&) { return CabError::DecompressFail; }

// Indexed by the low four bits of a folder's compression type.
constexpr CabCodecType kCodecTypes[] = {
    {StoredCompressedBufferSize, CreateStoredCodec},
    {MszipCompressedBufferSize, CreateMszipCodec},
    {QuantumStandInSize, CreateQuantumStandIn},
};

}  // namespace

const CabCodecType* FindCabCodecType(int compressionType) {
    const unsigned codec = unsigned(compressionType) & 0x0F;
    return codec < sizeof kCodecTypes / sizeof kCodecTypes[0] ? &kCodecTypes[codec] : nullptr;
}

#include "package/cab/stored_codec.h"

#include <cstring>

namespace {

// The produced count is the compressed size, so a block whose two sizes
// differ fails in the reader's size check.
int DecodeStored(void*, const uint8_t* in, uint32_t inCount, uint8_t* out, uint32_t, uint32_t* produced)
{
    if (inCount > kCabBlockSize) {
        return 0;
    }
    memcpy(out, in, inCount);
    *produced = inCount;
    return 1;
}

int ResetStored(void*)
{
    return 1;
}
int DestroyStored(void*)
{
    return 1;
}

constexpr CabCodecOperations kStoredOperations = {DecodeStored, ResetStored, DestroyStored};

}  // namespace

uint32_t StoredCompressedBufferSize(uint32_t)
{
    return kCabBlockSize;
}

CabError CreateStoredCodec(const CabCodecSetup&, CabCodec& codec)
{
    codec.operations = &kStoredOperations;
    codec.instance = nullptr;
    return CabError::None;
}

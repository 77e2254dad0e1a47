// Fuzzes the Quantum codec on single data blocks. Input: one byte that picks
// the window size (10 to 21 bits), two bytes of uncompressed size (little
// endian, at most 32768), then the block. The block is decoded twice, so that
// the second pass starts from the window and models the first one left. One
// codec per window size lives across runs; the reset at the start of each run
// makes the run independent of the ones before (nothing before a folder's
// start can be referred to).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "package/cab/quantum_codec.h"

namespace {

void* Allocate(size_t size)
{
    return malloc(size);
}
void Free(void* memory)
{
    free(memory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int windowBits = 10 + data[0] % 12;
    const uint32_t blockSize = (uint32_t(data[1]) | uint32_t(data[2]) << 8) % (kCabBlockSize + 1);
    const uint8_t* block = data + 3;
    const uint32_t blockBytes = uint32_t(size - 3);
    if (blockBytes > QuantumCompressedBufferSize(kCabBlockSize))
        return 0;

    static CabCodec codecs[22];
    CabCodec& codec = codecs[windowBits];
    if (!codec.operations &&
        CreateQuantumCodec(CabCodecSetup{Allocate, Free, nullptr, windowBits}, codec) != CabError::None) {
        abort();
    }
    if (!codec.operations->reset(codec.instance))
        abort();
    static uint8_t out[kCabBlockSize];
    uint32_t produced = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (!codec.operations->decode(codec.instance, block, blockBytes, out, blockSize, &produced))
            break;
        if (produced != blockSize)
            abort();
    }
    return 0;
}

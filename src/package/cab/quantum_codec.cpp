#include "package/cab/quantum_codec.h"

#include <cstring>

#include "package/cab/quantum_decoder.h"

namespace {

constexpr uint32_t kQuantumExtraInput = 10240;

// The instance starts with the tag; the window is allocated separately. All
// decoding state lives here, so any number of instances can work side by side.
struct QuantumCodec {
    uint32_t tag;
    CabFree free;
    QuantumDecoder decoder;
};

QuantumCodec* Checked(void* instance)
{
    QuantumCodec* codec = static_cast<QuantumCodec*>(instance);
    return codec && codec->tag == kQuantumTag ? codec : nullptr;
}

int DecodeQuantum(void* instance, const uint8_t* in, uint32_t inCount, uint8_t* out, uint32_t blockSize,
                  uint32_t* produced)
{
    QuantumCodec* codec = Checked(instance);
    if (!codec || blockSize > kCabBlockSize || inCount > QuantumCompressedBufferSize(kCabBlockSize))
        return 0;
    if (!DecodeQuantumBlock(codec->decoder, in, inCount, out, blockSize))
        return 0;
    *produced = blockSize;
    return 1;
}

int ResetQuantum(void* instance)
{
    QuantumCodec* codec = Checked(instance);
    if (!codec)
        return 0;
    ResetQuantumDecoder(codec->decoder);
    return 1;
}

int DestroyQuantum(void* instance)
{
    QuantumCodec* codec = Checked(instance);
    if (!codec)
        return 0;
    codec->tag = 0;
    codec->free(codec->decoder.window);
    codec->free(codec);
    return 1;
}

constexpr CabCodecOperations kQuantumOperations = {DecodeQuantum, ResetQuantum, DestroyQuantum};

}  // namespace

uint32_t QuantumCompressedBufferSize(uint32_t uncompressedBlockSize)
{
    if (uncompressedBlockSize == 0 || uncompressedBlockSize > kCabBlockSize)
        uncompressedBlockSize = kCabBlockSize;
    return uncompressedBlockSize + kQuantumExtraInput;
}

// A window that doesn't fit in memory fails with AllocFail: the installer's
// open operation can't make the temporary page file that would hold it.
CabError CreateQuantumCodec(const CabCodecSetup& setup, CabCodec& codec)
{
    codec = CabCodec{nullptr, nullptr};
    if (!IsQuantumWindowBits(setup.windowBits))
        return CabError::DecompressFail;
    QuantumCodec* instance = static_cast<QuantumCodec*>(setup.allocate(sizeof(QuantumCodec)));
    if (!instance)
        return CabError::AllocFail;
    const size_t windowSize = size_t(1) << setup.windowBits;
    uint8_t* window = static_cast<uint8_t*>(setup.allocate(windowSize));
    if (!window) {
        setup.free(instance);
        return CabError::AllocFail;
    }
    memset(window, 0, windowSize);
    instance->tag = kQuantumTag;
    instance->free = setup.free;
    InitQuantumDecoder(instance->decoder, window, setup.windowBits);
    codec = CabCodec{&kQuantumOperations, instance};
    return CabError::None;
}

#pragma once
// The compressor of one cabinet folder: the writer hands it the folder's data
// in blocks of at most 32768 bytes, in order, and stores what it returns as
// the compressed data of one data block each. A new folder gets a new
// compressor, so history never crosses folders.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cabwriter {

constexpr size_t kBlockSize = 32768;  // uncompressed bytes of a full data block

// Compression type values as the folder entry stores them.
constexpr uint16_t kTypeStored = 0;
constexpr uint16_t kTypeMszip = 1;
constexpr uint16_t kTypeQuantum = 2;
// Quantum with a window of 2^windowBits bytes (10..21) at level 1..7.
constexpr uint16_t QuantumType(int windowBits, int level = 4)
{
    return uint16_t(kTypeQuantum | (level & 0xF) << 4 | (windowBits & 0x1F) << 8);
}

class BlockCompressor {
public:
    virtual ~BlockCompressor() = default;
    // Compresses the next block of the folder (size <= kBlockSize; only the
    // folder's last block may be shorter) and replaces out with its data.
    // Returns false on failure.
    virtual bool CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out) = 0;
    // Called once after the folder's last block.
    virtual void End() {}
};

// Makes the compressor for a folder of the given compression type (the
// whole 16-bit value), or null when the type is not known.
using CompressorFactory = std::unique_ptr<BlockCompressor> (*)(uint16_t compressionType);

// Registers the factory for one codec (low four bits of the type); stored and
// MSZIP are built in, a Quantum compressor registers itself here.
void RegisterCompressor(int codec, CompressorFactory factory);
std::unique_ptr<BlockCompressor> CreateCompressor(uint16_t compressionType);

}  // namespace cabwriter

#pragma once
// The Quantum compressor of the cabinet writer: lazy matching over hash
// chains within the window, one data block at a time, with matches never
// crossing a block's end.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/cabwriter/block_compressor.h"
#include "tools/quantum/quantum_block_encoder.h"

namespace quantum {

class Compressor : public cabwriter::BlockCompressor {
public:
    // level 1..7 sets how hard the match finder looks.
    Compressor(int windowBits, int level);
    bool CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out) override;

private:
    struct Match {
        uint32_t length = 0;
        uint32_t offset = 0;
    };

    void Append(const uint8_t* data, size_t size);
    void InsertUpTo(uint64_t position);
    Match FindMatch(uint64_t position, uint64_t blockEnd) const;
    bool WorthIt(const Match& match) const;
    const uint8_t* At(uint64_t position) const { return buffer_.data() + (position - bufferStart_); }

    BlockEncoder encoder_;
    uint32_t windowSize_;
    int chainDepth_;
    std::vector<uint8_t> buffer_;     // the last window of the folder and the current block
    uint64_t bufferStart_ = 0;        // folder position of buffer_[0]
    uint64_t inserted_ = 0;           // positions below this are in the hash chains
    std::vector<uint32_t> head_;      // per hash: last position + 1, 0 for none
    std::vector<uint32_t> previous_;  // per position modulo the window: earlier position + 1
};

// Makes the writer use this compressor for Quantum folders.
void RegisterQuantumCompressor();

}  // namespace quantum

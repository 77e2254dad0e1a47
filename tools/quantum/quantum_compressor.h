#pragma once
// The Quantum compressor of the cabinet writer: lazy matching over hash
// chains of five-byte strings within the window, the nearest three- and
// four-byte matches from tables of the latest positions, one data block at
// a time, with matches never crossing a block's end nor the window's.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/cabwriter/block_compressor.h"
#include "tools/quantum/quantum_block_encoder.h"

namespace quantum {

class Compressor : public cabwriter::BlockCompressor {
public:
    // level 1..7 sets how hard the match finder looks: it follows a hash
    // chain up to 2^(level-1) candidates deep.
    Compressor(int windowBits, int level);
    bool CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out) override;

private:
    struct Match {
        uint32_t length = 0;
        uint32_t offset = 0;
    };

    // A position's slots in the tables of the latest positions (near3_,
    // near4_) and of the chain heads.
    struct Slots {
        uint32_t near3;
        uint32_t near4;
        uint32_t chain;
    };

    void Append(const uint8_t* data, size_t size);
    Slots SlotsOf(uint64_t position) const;
    void Insert(uint64_t position, const Slots& slots);
    QUANTUM_HOT void EncodeBlock(uint64_t position, uint64_t blockEnd);
    QUANTUM_HOT void InsertUpTo(uint64_t position);
    QUANTUM_HOT Match FindMatch(uint64_t position, uint64_t blockEnd);
    bool InWindow(uint64_t position, uint32_t candidate) const;
    uint32_t NextCandidate(uint64_t from, uint32_t candidate) const;
    bool Consider(uint64_t position, uint32_t candidate, uint32_t maxLength, Match& best) const;
    bool WorthIt(const Match& match) const;
    const uint8_t* At(uint64_t position) const { return buffer_.data() + (position - bufferStart_); }
    // The folder position where the data in buffer_ ends.
    uint64_t DataEnd() const { return bufferStart_ + buffer_.size() - kTail; }

    // buffer_ holds this many zero bytes behind the data, so that eight
    // bytes can be read at every position with three bytes of data.
    static constexpr size_t kTail = 5;

    BlockEncoder encoder_;
    uint32_t windowSize_;
    int chainDepth_;
    uint64_t bufferStart_ = 0;     // folder position of buffer_[0]
    uint64_t inserted_ = 0;        // positions below this are in the hash chains
    int hashBits_;
    bool prefetch_;                   // whether chain heads and links are fetched ahead
    std::vector<uint32_t> head_;      // per hash of five bytes: last position + 1, 0 for none
    std::vector<uint32_t> near3_;     // per hash of three bytes: last position + 1, 0 for none
    std::vector<uint32_t> near4_;     // the same for four bytes
    std::vector<uint32_t> previous_;  // per position modulo the window: earlier position + 1
    std::vector<uint8_t> buffer_;  // the last window of the folder and the current block, then kTail zeros
};

// Makes the writer use this compressor for Quantum folders.
void RegisterQuantumCompressor();

}  // namespace quantum

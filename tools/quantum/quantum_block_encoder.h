#pragma once
// The Quantum encoder of one folder at the level of literals and matches:
// models updated exactly as the decoder updates them, a 16-bit arithmetic
// encoder restarted at every data block, and the raw extra bits placed where
// the decoder will read them. It encodes whatever it is told; choosing the
// matches is the compressor's job.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/cab/quantum_model.h"
#include "package/cab/quantum_tables.h"

namespace quantum {

class BlockEncoder {
public:
    explicit BlockEncoder(int windowBits);

    // Back to the initial models (a new folder).
    void Reset();

    void Literal(uint8_t byte);
    // A match of length 3 to 259 starting offset bytes back (1 to the window
    // size). False, with nothing encoded, when the offset is beyond what the
    // length's position model can express.
    bool Match(uint32_t length, uint32_t offset);
    // True when Match(length, offset) would be accepted.
    bool CanEncode(uint32_t length, uint32_t offset) const;

    // Ends the block: flushes the arithmetic encoder so that the decoder's
    // last read lies within the block, interleaves the raw bits and appends
    // the block's bytes to out. The models carry over to the next block.
    void FinishBlock(std::vector<uint8_t>& out);

private:
    struct RawBits {
        uint64_t arithmeticBits;  // raw bits go behind this many arithmetic bits
        uint32_t value;
        int count;
    };

    void Encode(QuantumModel& model, int symbol);
    void Renormalise();
    void PutBit(int bit);
    void PutRaw(uint32_t value, int count);
    void StartBlock();

    int windowBits_;
    QuantumModel selector_;
    QuantumModel literals_[kQuantumLiteralModels];
    QuantumModel positions_[kQuantumPositionModels];
    QuantumModel lengths_;

    uint32_t low_ = 0, high_ = 0xFFFF;
    uint64_t pending_ = 0;             // underflow shifts whose bit is not known yet
    uint64_t shifts_ = 0;              // renormalisation shifts of this block
    std::vector<uint8_t> arithmetic_;  // one bit per byte
    std::vector<RawBits> raw_;
};

}  // namespace quantum

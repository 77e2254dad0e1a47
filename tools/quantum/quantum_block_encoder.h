#pragma once
// The Quantum encoder of one folder at the level of literals and matches:
// models updated exactly as the decoder updates them, a 16-bit arithmetic
// encoder restarted at every data block, and the raw extra bits placed where
// the decoder will read them. It encodes whatever it is told; choosing the
// matches is the compressor's job.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/cab/quantum_model.h"
#include "package/cab/quantum_tables.h"

// The compressor's busiest functions are compiled twice on x86-64 with
// glibc: for the processors of the last decade (x86-64-v3: a shift by a
// register and a count of leading zeros take one instruction each, and the
// coder is made of them) and for any x86-64; the loader picks one when the
// program starts. Elsewhere, and in the build that tests the plain copy
// (QUANTUM_ONE_COPY), they are compiled once.
#if defined(__x86_64__) && defined(__GLIBC__) && !defined(QUANTUM_ONE_COPY)
#define QUANTUM_HOT [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define QUANTUM_HOT
#endif

namespace quantum {

// frequency * range / total, rounded down, for a product frequency * range
// below 2^28 and a total below 4096 (a model's frequency times the coder's
// range, over the model's total): a multiplication by the total's reciprocal
// in place of a division.
uint32_t ScaleByRange(uint32_t frequency, uint32_t range, uint32_t total);

// Appends bits to a byte vector, most significant bit first. Every Put
// stores the word of the first 32 bits held, full or not, a word beyond the
// bits written; only a full word moves the end. So whether a word went out
// is arithmetic, not a branch that the processor often guesses wrong. The
// vector is a word longer than the bytes written until Flush.
class BitSink {
public:
    explicit BitSink(std::vector<uint8_t>& out) : out_(&out), start_(out.size()), end_(out.size()) { Grow(); }
    // value, below 2^count, as count bits (0 to 32).
    void Put(uint32_t value, int count)
    {
        assert(uint64_t(value) >> count == 0 && heldCount_ < 32);
        held_ = held_ << count | value;
        heldCount_ += count;
        // At most 63 bits are held, so the bit of 32 tells whether a word is full.
        const int full = heldCount_ & 32;
        heldCount_ -= full;
        const uint32_t word = uint32_t(held_ >> heldCount_);
        uint8_t* at = data_ + end_;
        at[0] = uint8_t(word >> 24);
        at[1] = uint8_t(word >> 16);
        at[2] = uint8_t(word >> 8);
        at[3] = uint8_t(word);
        end_ += size_t(full / 8);
        if (end_ + 4 > size_)
            Grow();
    }
    // count copies of one bit.
    void PutRun(int bit, uint64_t count);
    // Writes the bits held, the last byte padded with zero bits, and ends
    // the vector there.
    void Flush();
    // The bits put so far (before Flush).
    uint64_t written() const { return uint64_t(end_ - start_) * 8 + uint64_t(heldCount_); }

private:
    // Makes room for the next word and more.
    void Grow();

    std::vector<uint8_t>* out_;
    uint8_t* data_ = nullptr;  // out_'s bytes and their number
    size_t size_ = 0;
    size_t start_;       // out_'s size when the sink was made
    size_t end_;         // the bytes written end here
    uint64_t held_ = 0;  // bits not yet written: the low heldCount_ ones
    int heldCount_ = 0;
};

class BlockEncoder {
public:
    explicit BlockEncoder(int windowBits);
    BlockEncoder(const BlockEncoder&) = delete;
    BlockEncoder& operator=(const BlockEncoder&) = delete;

    // Back to the initial models (a new folder).
    void Reset();

    void Literal(uint8_t byte);
    // A match of length 3 to 259 starting offset bytes back (1 to the window
    // size). False, with nothing encoded, when the offset is beyond what the
    // length's position model can express.
    bool Match(uint32_t length, uint32_t offset);
    // True when Match(length, offset) would be accepted.
    bool CanEncode(uint32_t length, uint32_t offset) const
    {
        return length >= 3 && length <= uint32_t(kQuantumMaxMatchLength) && offset != 0 &&
               offset <= reach_[PositionModel(length)];
    }

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

    // A model and, for each symbol, the entry that holds it.
    struct Model {
        QuantumModel model;
        uint8_t entryOf[kQuantumModelMaxSymbols];
        void Init(int symbolCount);
        void FindEntries();
        template <int kSymbols>
        void CountUse(int entry);
    };

    // The work of Literal, Match and FinishBlock, compiled twice
    // (QUANTUM_HOT). Only calls from their own file reach them: a call from
    // another would need the copies that the compiler keeps to that file.
    QUANTUM_HOT void EncodeLiteral(uint8_t byte);
    QUANTUM_HOT void EncodeMatch(uint32_t length, uint32_t offset);
    QUANTUM_HOT void EndBlock(std::vector<uint8_t>& out);

    // The position model of a match of length 3 or more.
    static int PositionModel(uint32_t length) { return length == 3 ? 0 : length == 4 ? 1 : 2; }

    // Encodes symbol with model, one of at most kSymbols symbols.
    template <int kSymbols>
    void Encode(Model& model, int symbol);
    // Takes the new low and high of the coder's range.
    void Renormalise(uint32_t low, uint32_t high);
    void PutSettled(uint32_t bits, int count);
    void PutSettledAfterManyPending(uint32_t bits, int count);
    void PutRaw(uint32_t value, int count);
    // The renormalisation shifts of this block: each put out a settled bit
    // or left a pending one.
    uint64_t Shifts() const { return arithmetic_.written() + pending_; }
    void StartBlock();

    int windowBits_;
    Model selector_;
    Model literals_[kQuantumLiteralModels];
    Model positions_[kQuantumPositionModels];
    Model lengths_;
    uint32_t reach_[kQuantumPositionModels];  // per position model, the farthest offset it expresses

    uint32_t low_ = 0, high_ = 0xFFFF;
    uint64_t pending_ = 0;  // underflow shifts whose bit is not known yet
    std::vector<uint8_t> arithmeticBytes_;
    BitSink arithmetic_{arithmeticBytes_};
    std::vector<RawBits> raw_;
};

}  // namespace quantum

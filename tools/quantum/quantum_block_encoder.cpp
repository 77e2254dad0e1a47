#include "tools/quantum/quantum_block_encoder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace quantum {

namespace {

// The decoder reads 16 code bits before its first symbol.
constexpr uint64_t kCodeBits = 16;

// Positions 0 to 3 have a slot each; from 4 on, two slots per power of two,
// told apart by the bit below the highest.
int PositionSlot(uint32_t position)
{
    if (position < 4)
        return int(position);
    const int highest = std::bit_width(position) - 1;
    return 2 * highest + int((position >> (highest - 1)) & 1);
}

// The length slot of every value (length - 5) of the length model.
struct LengthSlots {
    uint8_t slot[kQuantumMaxMatchLength - kQuantumMatchNMinLength + 1];
    constexpr LengthSlots() : slot()
    {
        int s = 0;
        for (int value = 0; value < int(sizeof slot); ++value) {
            while (s + 1 < kQuantumLengthSymbols && kQuantumLengthBase[s + 1] <= value)
                ++s;
            slot[value] = uint8_t(s);
        }
    }
};
constexpr LengthSlots kLengthSlots;

// For every total below kTotalLimit, a multiplier and shift that divide the
// products of the coder exactly (see ScaleByRange).
constexpr uint32_t kTotalLimit = 4096;
constexpr int kProductBits = 28;
static_assert(uint64_t(kQuantumModelMaxTotal) * 0x10000 < uint64_t(1) << kProductBits);
static_assert(kQuantumModelMaxTotal < kTotalLimit);
struct Reciprocals {
    uint32_t multiplier[kTotalLimit];
    uint8_t shift[kTotalLimit];
    constexpr Reciprocals() : multiplier(), shift()
    {
        for (uint32_t total = 1; total < kTotalLimit; ++total) {
            int ceilLog2 = 0;
            while ((uint32_t(1) << ceilLog2) < total)
                ++ceilLog2;
            shift[total] = uint8_t(kProductBits + ceilLog2);
            multiplier[total] = uint32_t(((uint64_t(1) << shift[total]) + total - 1) / total);
        }
    }
};
constexpr Reciprocals kReciprocals;

// The leading zero bits of the low 16 bits of x, 16 when they are all zero:
// the bit below them ends the count, so the count needs no test for zero.
int LeadingZeros16(uint32_t x)
{
    return std::countl_zero(x << 16 | 0x8000);
}

// The count bits (at most 32) of the value from position `from` of bits
// written most significant first; bytes holds 8 bytes beyond them.
uint32_t ReadBits(const std::vector<uint8_t>& bytes, uint64_t from, int count)
{
    uint64_t word;
    memcpy(&word, bytes.data() + from / 8, 8);
    if constexpr (std::endian::native == std::endian::little)
        word = __builtin_bswap64(word);
    return count == 0 ? 0 : uint32_t((word << (from % 8)) >> (64 - count));
}

}  // namespace

// With m = ceil(2^s / total) = (2^s + e) / total, e < total, and
// s = kProductBits + ceil(log2 total), product * m / 2^s exceeds
// product / total by product * e / (total * 2^s) < 1 / total, which never
// carries the quotient to the next whole number. The frequency times the
// reciprocal is formed first (range comes from the previous symbol, and is
// known later); with the product below 2^28 and m below 2^29 nothing
// overflows 64 bits.
uint32_t ScaleByRange(uint32_t frequency, uint32_t range, uint32_t total)
{
    assert(total > 0 && total < kTotalLimit && uint64_t(frequency) * range < uint64_t(1) << kProductBits);
    const uint64_t scaled = uint64_t(frequency) * kReciprocals.multiplier[total];
    return uint32_t((scaled * range) >> kReciprocals.shift[total]);
}

// A position model's slots follow one another from position 0, so the last
// one's end is the model's reach.
BlockEncoder::BlockEncoder(int windowBits) : windowBits_(windowBits)
{
    for (int i = 0; i < kQuantumPositionModels; ++i) {
        const int last = QuantumPositionSlotCount(windowBits_, i) - 1;
        reach_[i] = kQuantumPositionBase[last] + (uint32_t(1) << kQuantumPositionExtraBits[last]);
    }
    Reset();
}

void BlockEncoder::Model::Init(int symbolCount)
{
    InitQuantumModel(model, symbolCount);
    FindEntries();
}

void BlockEncoder::Model::FindEntries()
{
    for (int i = 0; i < model.symbolCount; ++i)
        entryOf[model.symbols[i]] = uint8_t(i);
}

// UpdateQuantumModel's result without its loop of varying length: 8 is added
// to every cumulative frequency up to the entry's and 0 to the others, which
// the compiler does many at a time, for the model's kSymbols rounded up to
// whole groups of eight. Only a rescale reorders the entries.
template <int kSymbols>
void BlockEncoder::Model::CountUse(int entry)
{
    constexpr int16_t kLanes = (kSymbols + 7) / 8 * 8;
    static_assert(kLanes <= kQuantumModelMaxSymbols);
    assert(model.symbolCount <= kSymbols);
    // 16-bit indices, so that the comparisons are as wide as the frequencies.
    const int16_t last = int16_t(entry);
    for (int16_t i = 0; i < kLanes; ++i)
        model.cumulative[i] = uint16_t(model.cumulative[i] + (i <= last ? 8 : 0));
    if (model.cumulative[0] > kQuantumModelMaxTotal) {
        RescaleQuantumModel(model);
        FindEntries();
    }
}

void BlockEncoder::Reset()
{
    selector_.Init(kQuantumSelectorSymbols);
    for (Model& model : literals_)
        model.Init(kQuantumLiteralSymbols);
    for (int i = 0; i < kQuantumPositionModels; ++i) {
        positions_[i].Init(QuantumPositionSlotCount(windowBits_, i));
    }
    lengths_.Init(kQuantumLengthSymbols);
    StartBlock();
}

void BitSink::Grow()
{
    out_->resize(std::max(2 * out_->size(), end_ + 8));
    data_ = out_->data();
    size_ = out_->size();
}

void BitSink::PutRun(int bit, uint64_t count)
{
    for (; count > 0;) {
        const int n = int(std::min<uint64_t>(count, 32));
        Put(bit ? 0xFFFFFFFFu >> (32 - n) : 0, n);
        count -= uint64_t(n);
    }
}

void BitSink::Flush()
{
    out_->resize(end_);
    for (; heldCount_ >= 8; heldCount_ -= 8)
        out_->push_back(uint8_t(held_ >> (heldCount_ - 8)));
    if (heldCount_ > 0)
        out_->push_back(uint8_t(held_ << (8 - heldCount_)));
    heldCount_ = 0;
    end_ = out_->size();
}

void BlockEncoder::StartBlock()
{
    low_ = 0;
    high_ = 0xFFFF;
    pending_ = 0;
    arithmeticBytes_.clear();
    arithmetic_ = BitSink(arithmeticBytes_);
    raw_.clear();
}

// The leading count bits of bits (0 to 16 of them), settled: the first one
// goes out followed by the pending underflow bits, each its opposite, then
// the rest. The first bit and its opposites, 0 then ones or 1 then zeros,
// are the number 2^pending - 1 + first; so all go out in one piece unless
// there are very many pending bits. With count 0 nothing goes out and the
// pending bits stay; that case takes no branch either, as most symbols of a
// likely kind settle no bit.
inline void BlockEncoder::PutSettled(uint32_t bits, int count)
{
    // The pending bits that go out now: all of them, or none with count 0.
    const uint64_t released = pending_ & (uint64_t(0) - uint64_t(count > 0));
    if (released + uint64_t(count) > 32) [[unlikely]] {
        PutSettledAfterManyPending(bits, count);
        return;
    }
    const uint64_t opposites = ((uint64_t(1) << released) - 1) << count >> 1;
    arithmetic_.Put(uint32_t(bits + opposites), int(released) + count);
    pending_ -= released;
}

// PutSettled's rare case, kept apart so that the common one stays small.
void BlockEncoder::PutSettledAfterManyPending(uint32_t bits, int count)
{
    const uint32_t first = (bits >> (count - 1)) & 1;
    arithmetic_.Put(first, 1);
    arithmetic_.PutRun(!first, pending_);
    arithmetic_.Put(bits & ((uint32_t(1) << (count - 1)) - 1), count - 1);
    pending_ = 0;
}

void BlockEncoder::PutRaw(uint32_t value, int count)
{
    if (count > 0)
        raw_.push_back({kCodeBits + Shifts(), value, count});
}

// The mirror of the decoder's renormalisation: every shift there is a shift
// here, so that both count the same bits. The leading bits that low and high
// share are settled and go out together. Then low starts 0 and high 1; as
// long as low's next bit is 1 and high's is 0 the decoder shifts once more,
// removing that second bit, and here it waits as a pending underflow bit.
// Both counts come from the new low and high, and one shift makes room for
// them.
inline void BlockEncoder::Renormalise(uint32_t low, uint32_t high)
{
    const int settled = LeadingZeros16(low ^ high);
    // The ones of low over zeros of high below the first bit that differs;
    // the zero bits shifted in end the count.
    const int underflow = LeadingZeros16(~((low & ~high) << (settled + 1)));
    PutSettled(high >> (16 - settled), settled);
    pending_ += uint64_t(underflow);
    const int shift = settled + underflow;
    low_ = (low << shift) & 0x7FFF;
    high_ = ((high << shift) | 0x8000 | ((uint32_t(1) << shift) - 1)) & 0xFFFF;
}

// Inlined into its few callers, so that the coder's range stays in registers
// from one symbol to the next.
template <int kSymbols>
[[gnu::always_inline]] inline void BlockEncoder::Encode(Model& coded, int symbol)
{
    QuantumModel& model = coded.model;
    const int entry = coded.entryOf[symbol];
    assert(entry < model.symbolCount && model.symbols[entry] == symbol);
    const uint32_t low = low_;
    const uint32_t range = high_ - low + 1;
    const uint32_t total = model.cumulative[0];
    const uint32_t high = (low + ScaleByRange(model.cumulative[entry], range, total) - 1) & 0xFFFF;
    Renormalise((low + ScaleByRange(model.cumulative[entry + 1], range, total)) & 0xFFFF, high);
    coded.CountUse<kSymbols>(entry);
}

void BlockEncoder::Literal(uint8_t byte)
{
    EncodeLiteral(byte);
}

bool BlockEncoder::Match(uint32_t length, uint32_t offset)
{
    if (!CanEncode(length, offset))
        return false;
    EncodeMatch(length, offset);
    return true;
}

void BlockEncoder::FinishBlock(std::vector<uint8_t>& out)
{
    EndBlock(out);
}

QUANTUM_HOT void BlockEncoder::EncodeLiteral(uint8_t byte)
{
    const int model = byte / kQuantumLiteralSymbols;
    Encode<kQuantumSelectorSymbols>(selector_, model);
    Encode<kQuantumLiteralSymbols>(literals_[model], byte % kQuantumLiteralSymbols);
}

QUANTUM_HOT void BlockEncoder::EncodeMatch(uint32_t length, uint32_t offset)
{
    const uint32_t position = offset - 1;
    int model;
    if (length == 3) {
        Encode<kQuantumSelectorSymbols>(selector_, kQuantumSelectorMatch3);
        model = 0;
    } else if (length == 4) {
        Encode<kQuantumSelectorSymbols>(selector_, kQuantumSelectorMatch4);
        model = 1;
    } else {
        Encode<kQuantumSelectorSymbols>(selector_, kQuantumSelectorMatchN);
        const uint32_t value = length - kQuantumMatchNMinLength;
        const int slot = kLengthSlots.slot[value];
        Encode<kQuantumLengthSymbols>(lengths_, slot);
        PutRaw(value - kQuantumLengthBase[slot], kQuantumLengthExtraBits[slot]);
        model = 2;
    }
    const int slot = PositionSlot(position);
    Encode<kQuantumPositionSlots>(positions_[model], slot);
    PutRaw(position - kQuantumPositionBase[slot], kQuantumPositionExtraBits[slot]);
}

// Ends with a code value inside [low, high] whatever bits follow: 01 when low
// is below 0x4000, else 10 (then high is at least 0xC000), with the pending
// underflow bits behind the first bit, padded with zeros to the 16 bits that
// the decoder holds beyond its last shift.
QUANTUM_HOT void BlockEncoder::EndBlock(std::vector<uint8_t>& out)
{
    const uint64_t shifts = Shifts();
    const int first = (low_ & 0x4000) ? 1 : 0;
    ++pending_;
    PutSettled(uint32_t(first), 1);
    assert(arithmetic_.written() <= kCodeBits + shifts);
    arithmetic_.PutRun(0, kCodeBits + shifts - arithmetic_.written());
    const uint64_t total = arithmetic_.written();
    arithmetic_.Flush();
    arithmeticBytes_.insert(arithmeticBytes_.end(), 8, 0);

    BitSink writer(out);
    uint64_t copied = 0;
    auto copyUpTo = [&](uint64_t end) {
        while (copied < end) {
            const int n = int(std::min<uint64_t>(end - copied, 32));
            writer.Put(ReadBits(arithmeticBytes_, copied, n), n);
            copied += uint64_t(n);
        }
    };
    for (const RawBits& raw : raw_) {
        copyUpTo(raw.arithmeticBits);
        writer.Put(raw.value, raw.count);
    }
    copyUpTo(total);
    writer.Flush();
    StartBlock();
}

}  // namespace quantum

#include "tools/quantum/quantum_block_encoder.h"

#include <cassert>

namespace quantum {

namespace {

// The decoder reads 16 code bits before its first symbol.
constexpr uint64_t kCodeBits = 16;

template <size_t N, typename T>
int SlotOf(const T (&bases)[N], uint32_t value, int count)
{
    int slot = 0;
    while (slot + 1 < count && bases[slot + 1] <= value)
        ++slot;
    return slot;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Put(int bit)
    {
        if (used_ == 0)
            out_.push_back(0);
        if (bit)
            out_.back() |= uint8_t(0x80 >> used_);
        used_ = (used_ + 1) & 7;
    }

private:
    std::vector<uint8_t>& out_;
    int used_ = 0;
};

}  // namespace

BlockEncoder::BlockEncoder(int windowBits) : windowBits_(windowBits)
{
    Reset();
}

void BlockEncoder::Reset()
{
    InitQuantumModel(selector_, kQuantumSelectorSymbols);
    for (QuantumModel& model : literals_)
        InitQuantumModel(model, kQuantumLiteralSymbols);
    for (int i = 0; i < kQuantumPositionModels; ++i) {
        InitQuantumModel(positions_[i], QuantumPositionSlotCount(windowBits_, i));
    }
    InitQuantumModel(lengths_, kQuantumLengthSymbols);
    StartBlock();
}

void BlockEncoder::StartBlock()
{
    low_ = 0;
    high_ = 0xFFFF;
    pending_ = 0;
    shifts_ = 0;
    arithmetic_.clear();
    raw_.clear();
}

void BlockEncoder::PutBit(int bit)
{
    arithmetic_.push_back(uint8_t(bit));
    for (; pending_ > 0; --pending_)
        arithmetic_.push_back(uint8_t(!bit));
}

void BlockEncoder::PutRaw(uint32_t value, int count)
{
    if (count > 0)
        raw_.push_back({kCodeBits + shifts_, value, count});
}

// The mirror of the decoder's renormalisation: every shift there is a shift
// here, so that both count the same bits.
void BlockEncoder::Renormalise()
{
    for (;;) {
        if ((low_ ^ high_) & 0x8000) {
            if (!(low_ & 0x4000) || (high_ & 0x4000))
                return;
            ++pending_;
            low_ &= 0x3FFF;
            high_ |= 0x4000;
        } else {
            PutBit(int(high_ >> 15));
        }
        low_ = (low_ << 1) & 0xFFFF;
        high_ = ((high_ << 1) | 1) & 0xFFFF;
        ++shifts_;
    }
}

void BlockEncoder::Encode(QuantumModel& model, int symbol)
{
    int entry = 0;
    while (model.symbols[entry] != symbol)
        ++entry;
    assert(entry < model.symbolCount);
    const uint32_t range = high_ - low_ + 1;
    const uint32_t total = model.cumulative[0];
    high_ = (low_ + model.cumulative[entry] * range / total - 1) & 0xFFFF;
    low_ = (low_ + model.cumulative[entry + 1] * range / total) & 0xFFFF;
    UpdateQuantumModel(model, entry);
    Renormalise();
}

void BlockEncoder::Literal(uint8_t byte)
{
    const int model = byte / kQuantumLiteralSymbols;
    Encode(selector_, model);
    Encode(literals_[model], byte % kQuantumLiteralSymbols);
}

bool BlockEncoder::CanEncode(uint32_t length, uint32_t offset) const
{
    if (length < 3 || length > uint32_t(kQuantumMaxMatchLength) || offset == 0)
        return false;
    const int model = length == 3 ? 0 : length == 4 ? 1 : 2;
    const int slots = positions_[model].symbolCount;
    const int slot = SlotOf(kQuantumPositionBase, offset - 1, kQuantumPositionSlots);
    return slot < slots && offset - 1 < kQuantumPositionBase[slot] + (uint32_t(1) << kQuantumPositionExtraBits[slot]);
}

bool BlockEncoder::Match(uint32_t length, uint32_t offset)
{
    if (!CanEncode(length, offset))
        return false;
    const uint32_t position = offset - 1;
    int model;
    if (length == 3) {
        Encode(selector_, kQuantumSelectorMatch3);
        model = 0;
    } else if (length == 4) {
        Encode(selector_, kQuantumSelectorMatch4);
        model = 1;
    } else {
        Encode(selector_, kQuantumSelectorMatchN);
        const uint32_t value = length - kQuantumMatchNMinLength;
        const int slot = SlotOf(kQuantumLengthBase, value, kQuantumLengthSymbols);
        Encode(lengths_, slot);
        PutRaw(value - kQuantumLengthBase[slot], kQuantumLengthExtraBits[slot]);
        model = 2;
    }
    const int slot = SlotOf(kQuantumPositionBase, position, kQuantumPositionSlots);
    Encode(positions_[model], slot);
    PutRaw(position - kQuantumPositionBase[slot], kQuantumPositionExtraBits[slot]);
    return true;
}

// Ends with a code value inside [low, high] whatever bits follow: 01 when low
// is below 0x4000, else 10 (then high is at least 0xC000), with the pending
// underflow bits behind the first bit, padded with zeros to the 16 bits that
// the decoder holds beyond its last shift.
void BlockEncoder::FinishBlock(std::vector<uint8_t>& out)
{
    const int first = (low_ & 0x4000) ? 1 : 0;
    ++pending_;
    PutBit(first);
    while (arithmetic_.size() < kCodeBits + shifts_)
        arithmetic_.push_back(0);
    assert(arithmetic_.size() == kCodeBits + shifts_);

    BitWriter writer(out);
    size_t nextRaw = 0;
    for (uint64_t i = 0; i <= arithmetic_.size(); ++i) {
        for (; nextRaw < raw_.size() && raw_[nextRaw].arithmeticBits == i; ++nextRaw) {
            for (int b = raw_[nextRaw].count - 1; b >= 0; --b)
                writer.Put(int(raw_[nextRaw].value >> b) & 1);
        }
        if (i < arithmetic_.size())
            writer.Put(arithmetic_[i]);
    }
    StartBlock();
}

}  // namespace quantum

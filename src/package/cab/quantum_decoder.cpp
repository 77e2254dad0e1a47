#include "package/cab/quantum_decoder.h"

#include <bit>
#include <cstring>

namespace {

// The bits of one data block, most significant bit first, and the three
// 16-bit registers of the arithmetic decoder. Reading past the block's last
// byte gives zero bits and marks the block as exhausted.
struct BlockBits {
    const uint8_t* next;
    const uint8_t* end;
    uint64_t buffer;  // unread bits, left-aligned
    int count;
    bool exhausted;
    uint32_t low, high, code;
};

void Refill(BlockBits& bits)
{
    while (bits.count <= 56 && bits.next < bits.end) {
        bits.buffer |= uint64_t(*bits.next++) << (56 - bits.count);
        bits.count += 8;
    }
}

// Reads n bits (1 to 19); the decoder's raw extra bits come from here too.
uint32_t ReadBits(BlockBits& bits, int n)
{
    if (bits.count < n) {
        Refill(bits);
        if (bits.count < n) {
            bits.exhausted = true;
            bits.count = n;
        }
    }
    const uint32_t value = uint32_t(bits.buffer >> (64 - n));
    bits.buffer <<= n;
    bits.count -= n;
    return value;
}

void StartBlock(BlockBits& bits, const uint8_t* in, size_t inCount)
{
    bits.next = in;
    bits.end = in + inCount;
    bits.buffer = 0;
    bits.count = 0;
    bits.exhausted = false;
    bits.low = 0;
    bits.high = 0xFFFF;
    bits.code = ReadBits(bits, 16);
}

void Shift(BlockBits& bits, int n)
{
    bits.low = (bits.low << n) & 0xFFFF;
    bits.high = ((bits.high << n) | ((1u << n) - 1)) & 0xFFFF;
    bits.code = ((bits.code << n) | ReadBits(bits, n)) & 0xFFFF;
}

// Shifts out the bits that low and high agree on (all of them at once), then
// the pending underflows (low = 01..., high = 10...), taking one new code bit
// per shift.
void Renormalise(BlockBits& bits)
{
    const int same = std::countl_zero(uint16_t(bits.low ^ bits.high));
    if (same > 0)
        Shift(bits, same);
    while ((bits.low & 0x4000) && !(bits.high & 0x4000)) {
        bits.code ^= 0x4000;
        bits.low &= 0x3FFF;
        bits.high |= 0x4000;
        Shift(bits, 1);
    }
}

// c * range / total for c <= total <= 3800 and range <= 65536: a = c * range
// is below 2^28 and a * total below 2^40, so the rounding error of the
// reciprocal (less than a / 2^40) stays below 1 / total and the quotient is exact.
uint32_t DivideByTotal(const QuantumDecoder& decoder, uint32_t a, uint32_t total)
{
    return uint32_t((uint64_t(a) * decoder.reciprocals[total]) >> 40);
}

// Decodes one symbol of the model and counts it in the model. The symbol's
// entry is the last one whose cumulative frequency is above the target
// ((code - low + 1) * total - 1) / range; the search compares in multiplied
// form (c <= target exactly when c * range < (code - low + 1) * total), which
// saves a division. The model's total never exceeds 3800 and the range after
// renormalisation is above 0x4000, so every entry keeps a non-empty share of
// the range, low <= code <= high always holds and entry n (0) ends the search.
int DecodeSymbol(const QuantumDecoder& decoder, BlockBits& bits, QuantumModel& model)
{
    const uint32_t range = bits.high - bits.low + 1;
    const uint32_t total = model.cumulative[0];
    const uint32_t scaled = (((bits.code - bits.low) & 0xFFFF) + 1) * total;
    int entry = 0;
    while (model.cumulative[entry + 1] * range >= scaled)
        ++entry;
    bits.high = (bits.low + DivideByTotal(decoder, model.cumulative[entry] * range, total) - 1) & 0xFFFF;
    bits.low = (bits.low + DivideByTotal(decoder, model.cumulative[entry + 1] * range, total)) & 0xFFFF;
    const int symbol = model.symbols[entry];
    UpdateQuantumModel(model, entry);
    Renormalise(bits);
    return symbol;
}

// Where the next bytes go: the window and the block's output.
struct Output {
    uint8_t* out;
    size_t done;
    size_t count;
};

void PutLiteral(QuantumDecoder& decoder, Output& output, uint8_t byte)
{
    decoder.window[decoder.windowPosition] = byte;
    decoder.windowPosition = (decoder.windowPosition + 1) & decoder.windowMask;
    output.out[output.done++] = byte;
}

void CopyMatch(QuantumDecoder& decoder, Output& output, uint32_t offset, uint32_t length)
{
    uint8_t* window = decoder.window;
    uint8_t* out = output.out + output.done;
    uint32_t to = decoder.windowPosition;
    uint32_t from = (to - offset) & decoder.windowMask;
    const uint32_t size = decoder.windowMask + 1;
    if (from + length <= size && to + length <= size) {
        if (offset >= length) {
            memmove(window + to, window + from, length);  // from may lie just ahead of to, across the wrap
        } else {
            for (uint32_t k = 0; k < length; ++k)
                window[to + k] = window[from + k];  // repeats the last offset bytes
        }
        memcpy(out, window + to, length);
        to += length;
    } else {
        for (uint32_t k = 0; k < length; ++k) {
            out[k] = window[to] = window[from];
            to = (to + 1) & decoder.windowMask;
            from = (from + 1) & decoder.windowMask;
        }
    }
    decoder.windowPosition = to & decoder.windowMask;
    output.done += length;
}

// Reads the position slot of the selector's position model and its extra bits.
uint32_t DecodePosition(const QuantumDecoder& decoder, BlockBits& bits, QuantumModel& model)
{
    const int slot = DecodeSymbol(decoder, bits, model);
    const int extra = kQuantumPositionExtraBits[slot];
    return kQuantumPositionBase[slot] + (extra ? ReadBits(bits, extra) : 0);
}

// Decodes one literal or match. False when the match reaches before the
// folder's first byte or past the block's end.
bool DecodeItem(QuantumDecoder& decoder, BlockBits& bits, Output& output, uint32_t& history)
{
    const int selector = DecodeSymbol(decoder, bits, decoder.selector);
    if (selector < kQuantumLiteralModels) {
        const int symbol = DecodeSymbol(decoder, bits, decoder.literals[selector]);
        PutLiteral(decoder, output, uint8_t(selector * kQuantumLiteralSymbols + symbol));
        ++history;
        return true;
    }
    uint32_t length;
    if (selector == kQuantumSelectorMatchN) {
        const int slot = DecodeSymbol(decoder, bits, decoder.lengths);
        const int extra = kQuantumLengthExtraBits[slot];
        length = kQuantumMatchNMinLength + kQuantumLengthBase[slot] + (extra ? ReadBits(bits, extra) : 0);
    } else {
        length = selector == kQuantumSelectorMatch3 ? 3 : 4;
    }
    const uint32_t position = DecodePosition(decoder, bits, decoder.positions[selector - kQuantumSelectorMatch3]);
    const uint32_t offset = position + 1;
    if (offset > history || length > output.count - output.done)
        return false;
    CopyMatch(decoder, output, offset, length);
    history += length;
    return true;
}

void InitModels(QuantumDecoder& decoder)
{
    InitQuantumModel(decoder.selector, kQuantumSelectorSymbols);
    for (QuantumModel& model : decoder.literals)
        InitQuantumModel(model, kQuantumLiteralSymbols);
    for (int i = 0; i < kQuantumPositionModels; ++i) {
        InitQuantumModel(decoder.positions[i], QuantumPositionSlotCount(decoder.windowBits, i));
    }
    InitQuantumModel(decoder.lengths, kQuantumLengthSymbols);
}

}  // namespace

bool IsQuantumWindowBits(int windowBits)
{
    return windowBits >= kQuantumMinWindowBits && windowBits <= kQuantumMaxWindowBits;
}

void InitQuantumDecoder(QuantumDecoder& decoder, uint8_t* window, int windowBits)
{
    decoder.reciprocals[0] = 0;
    for (uint64_t total = 1; total <= kQuantumModelMaxTotal; ++total) {
        decoder.reciprocals[total] = ((uint64_t(1) << 40) + total - 1) / total;
    }
    decoder.window = window;
    decoder.windowBits = windowBits;
    decoder.windowMask = (uint32_t(1) << windowBits) - 1;
    ResetQuantumDecoder(decoder);
}

void ResetQuantumDecoder(QuantumDecoder& decoder)
{
    decoder.windowPosition = 0;
    decoder.history = 0;
    InitModels(decoder);
}

bool DecodeQuantumBlock(QuantumDecoder& decoder, const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount)
{
    BlockBits bits;
    StartBlock(bits, in, inCount);
    Output output{out, 0, outCount};
    // History beyond the window size can't be referred to; keep the count small.
    uint32_t history = decoder.history;
    const uint32_t windowSize = decoder.windowMask + 1;
    while (output.done < outCount) {
        if (!DecodeItem(decoder, bits, output, history) || bits.exhausted)
            return false;
        if (history > windowSize)
            history = windowSize;
    }
    decoder.history = history;
    return !bits.exhausted;
}

#include "package/cab/mszip_codec.h"

#include <bit>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little, "the bit reader loads little-endian words");

// One entry of a decoding table, indexed by the next bits of the stream
// (deflate packs Huffman codes starting with their first bit in the lowest
// bit, so the table is indexed by bit-reversed codes).
struct HuffEntry {
    uint16_t value;  // literal, base of a length or distance, or subtable start
    uint8_t bits;    // code length; for a link, the primary table's bits
    uint8_t op;      // kind of entry, below
};
constexpr uint8_t kOpLiteral = 0x00;
constexpr uint8_t kOpBase = 0x10;  // | count of extra bits (0..13)
constexpr uint8_t kOpEnd = 0x20;
constexpr uint8_t kOpLink = 0x40;  // | bits that index the subtable (1..7)
constexpr uint8_t kOpInvalid = 0x80;
constexpr uint8_t kOpLowBits = 0x0F;

constexpr int kMaxCodeBits = 15;
constexpr int kLiteralRootBits = 10;
constexpr int kDistanceRootBits = 8;
constexpr int kCodeLengthRootBits = 7;
// Bounds on table size for complete codes: every subtable of 2^b entries
// holds at least b + 1 codes, which limits how many can exist.
constexpr size_t kLiteralTableSize = 2560;
constexpr size_t kDistanceTableSize = 768;
constexpr size_t kCodeLengthTableSize = 128;

constexpr unsigned kLiteralSymbols = 288;  // 286 and 287 exist only in the fixed code
constexpr unsigned kDistanceSymbols = 32;  // 30 and 31 likewise
constexpr unsigned kUsableLiteralSymbols = 286;
constexpr unsigned kUsableDistanceSymbols = 30;
constexpr unsigned kCodeLengthSymbols = 19;
constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kFirstLengthSymbol = 257;

// Each block starts with a last-block bit and two bits of block type.
constexpr uint32_t kStoredBlock = 0;
constexpr uint32_t kFixedCodeBlock = 1;
constexpr uint32_t kDynamicCodeBlock = 2;  // 3 is reserved: an error

// A dynamic block's header: HLIT (5 bits, literal/length codes - 257),
// HDIST (5 bits, distance codes - 1), HCLEN (4 bits, code-length codes - 4),
// then HCLEN + 4 code lengths of 3 bits each.
constexpr unsigned kCountFieldBits = 5;
constexpr unsigned kCodeLengthCountBits = 4;
constexpr unsigned kMinCodeLengthCodes = 4;
constexpr unsigned kCodeLengthBits = 3;

// Symbols 0..15 of the code-length code are lengths themselves; 16 repeats the
// previous length 3..6 times (2 extra bits), 17 gives 3..10 zeros (3 extra
// bits), 18 gives 11..138 zeros (7 extra bits).
constexpr unsigned kRepeatPrevious = 16;
constexpr unsigned kRepeatZeros = 17;
constexpr unsigned kLastPlainLength = 15;

// The fixed literal/length code: 8 bits for 0..143, 9 for 144..255, 7 for
// 256..279, 8 for 280..287; the fixed distance code has 5 bits for each symbol.
constexpr struct {
    unsigned first;
    unsigned count;
    uint8_t bits;
} kFixedLiteralLengths[] = {{0, 144, 8}, {144, 112, 9}, {256, 24, 7}, {280, 8, 8}};
constexpr uint8_t kFixedDistanceBits = 5;

// MSZIP puts these two bytes before the deflate data of every block.
constexpr uint8_t kMszipSignature[2] = {'C', 'K'};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block lists the code lengths of the code-length code.
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

enum class Alphabet { LiteralLength, Distance, CodeLength };

HuffEntry Leaf(Alphabet alphabet, unsigned symbol, unsigned length)
{
    const uint8_t bits = uint8_t(length);
    switch (alphabet) {
    case Alphabet::CodeLength: return {uint16_t(symbol), bits, kOpLiteral};
    case Alphabet::LiteralLength:
        if (symbol < kEndOfBlock) {
            return {uint16_t(symbol), bits, kOpLiteral};
        }
        if (symbol == kEndOfBlock) {
            return {0, bits, kOpEnd};
        }
        if (symbol - kFirstLengthSymbol < 29) {
            const unsigned index = symbol - kFirstLengthSymbol;
            return {kLengthBase[index], bits, uint8_t(kOpBase | kLengthExtra[index])};
        }
        return {0, bits, kOpInvalid};
    case Alphabet::Distance:
        if (symbol < kUsableDistanceSymbols) {
            return {kDistanceBase[symbol], bits, uint8_t(kOpBase | kDistanceExtra[symbol])};
        }
        return {0, bits, kOpInvalid};
    }
    return {0, bits, kOpInvalid};
}

unsigned ReverseBits(unsigned code, unsigned length)
{
    unsigned reversed = 0;
    for (unsigned i = 0; i < length; ++i) {
        reversed = (reversed << 1) | (code & 1);
        code >>= 1;
    }
    return reversed;
}

void FillInvalid(HuffEntry* entries, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        entries[i] = {0, 1, kOpInvalid};
    }
}

// Builds the table of a canonical Huffman code from its code lengths (0 for
// unused symbols). Over-subscribed sets fail, and so do incomplete ones,
// except the two the format allows: a single code of one bit (a block that
// uses one distance, or consists of its end code), and no distance code at
// all (a block of literals only). Unused entries decode as invalid.
bool BuildTable(const uint8_t* lengths, unsigned symbols, Alphabet alphabet, int rootBits, HuffEntry* table,
                size_t capacity)
{
    uint16_t lengthCount[kMaxCodeBits + 1] = {};
    for (unsigned s = 0; s < symbols; ++s) {
        ++lengthCount[lengths[s]];
    }
    lengthCount[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        left = (left << 1) - lengthCount[len];
        if (left < 0) {
            return false;
        }
    }
    if (left > 0) {
        unsigned used = 0;
        for (int len = 1; len <= kMaxCodeBits; ++len) {
            used += lengthCount[len];
        }
        const bool allowed = alphabet != Alphabet::CodeLength &&
                             ((used == 1 && lengthCount[1] == 1) || (used == 0 && alphabet == Alphabet::Distance));
        if (!allowed) {
            return false;
        }
    }

    uint16_t offsets[kMaxCodeBits + 2] = {};
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        offsets[len + 1] = uint16_t(offsets[len] + lengthCount[len]);
    }
    uint16_t sorted[kLiteralSymbols];
    for (unsigned s = 0; s < symbols; ++s) {
        if (lengths[s] != 0) {
            sorted[offsets[lengths[s]]++] = uint16_t(s);
        }
    }
    const unsigned total = offsets[kMaxCodeBits + 1];

    const size_t rootSize = size_t(1) << rootBits;
    FillInvalid(table, rootSize);
    uint16_t remaining[kMaxCodeBits + 1];
    memcpy(remaining, lengthCount, sizeof remaining);
    size_t used = rootSize;
    size_t subStart = 0;
    int subBits = 0;
    unsigned prefix = ~0u;
    unsigned code = 0;
    unsigned previousLength = 0;
    for (unsigned k = 0; k < total; ++k) {
        const unsigned symbol = sorted[k];
        const unsigned len = lengths[symbol];
        code <<= len - previousLength;
        previousLength = len;
        const unsigned reversed = ReverseBits(code, len);
        const HuffEntry leaf = Leaf(alphabet, symbol, len);
        if (int(len) <= rootBits) {
            for (size_t i = reversed; i < rootSize; i += size_t(1) << len) {
                table[i] = leaf;
            }
        } else {
            const unsigned low = reversed & unsigned(rootSize - 1);
            if (low != prefix) {
                // A new subtable, deep enough for every longer code that
                // shares these first bits: they follow in canonical order.
                prefix = low;
                subBits = int(len) - rootBits;
                int room = 1 << subBits;
                while (rootBits + subBits < kMaxCodeBits) {
                    room -= remaining[rootBits + subBits];
                    if (room <= 0) {
                        break;
                    }
                    ++subBits;
                    room <<= 1;
                }
                subStart = used;
                used += size_t(1) << subBits;
                if (used > capacity) {
                    return false;
                }
                FillInvalid(table + subStart, size_t(1) << subBits);
                table[low] = {uint16_t(subStart), uint8_t(rootBits), uint8_t(kOpLink | subBits)};
            }
            const size_t step = size_t(1) << (len - unsigned(rootBits));
            for (size_t i = reversed >> rootBits; i < (size_t(1) << subBits); i += step) {
                table[subStart + i] = leaf;
            }
        }
        --remaining[len];
        ++code;
    }
    return true;
}

// Up to 64 bits of the stream in hand, lowest bit first. Bits past the end of
// the block's bytes read as zero.
struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t pos;  // next byte to load; may pass size when zero bits were supplied
    uint64_t bits;
    unsigned count;
};

void RefillSlow(BitReader& r)
{
    while (r.count <= 56) {
        const uint64_t byte = r.pos < r.size ? r.data[r.pos] : 0;
        r.bits |= byte << r.count;
        ++r.pos;
        r.count += 8;
    }
}

// Afterwards at least 56 bits are in hand: enough for a length and a distance
// with their extra bits. The fast path loads eight bytes at once but counts
// only the whole bytes that fit beside the count bits in hand: (63 - count) / 8
// of them, which brings count to 56 + count % 8, that is count | 56.
inline void Refill(BitReader& r)
{
    if (r.pos + 8 <= r.size) {
        uint64_t word;
        memcpy(&word, r.data + r.pos, 8);
        r.bits |= word << r.count;
        r.pos += (63 - r.count) >> 3;
        r.count |= 56;
    } else {
        RefillSlow(r);
    }
}

inline uint32_t TakeBits(BitReader& r, unsigned n)
{
    const uint32_t value = uint32_t(r.bits & ((uint64_t(1) << n) - 1));
    r.bits >>= n;
    r.count -= n;
    return value;
}

inline HuffEntry Lookup(const HuffEntry* table, int rootBits, uint64_t bits)
{
    HuffEntry e = table[bits & ((1u << rootBits) - 1)];
    if (e.op & kOpLink) {
        e = table[e.value + ((bits >> rootBits) & ((1u << (e.op & kOpLowBits)) - 1))];
    }
    return e;
}

// Copies a match to out[pos]. A source before the buffer's start lies in the
// previous block's output, which still fills the rest of the buffer.
inline void CopyMatch(uint8_t* out, uint32_t pos, uint32_t distance, uint32_t length)
{
    uint8_t* dst = out + pos;
    if (distance <= pos) {
        const uint8_t* src = dst - distance;
        if (distance >= 8) {
            while (length >= 8) {
                uint64_t word;
                memcpy(&word, src, 8);
                memcpy(dst, &word, 8);
                src += 8;
                dst += 8;
                length -= 8;
            }
        }
        while (length-- > 0) {
            *dst++ = *src++;
        }
        return;
    }
    uint32_t src = pos + kCabBlockSize - distance;
    while (length-- > 0) {
        *dst++ = out[src++ & (kCabBlockSize - 1)];
    }
}

struct MszipCodec {
    uint32_t tag;
    CabFree free;
    bool fixedReady;
    HuffEntry fixedLiterals[1 << kLiteralRootBits];
    HuffEntry fixedDistances[1 << kDistanceRootBits];
    HuffEntry literals[kLiteralTableSize];
    HuffEntry distances[kDistanceTableSize];
    HuffEntry codeLengths[kCodeLengthTableSize];
};

void BuildFixedTables(MszipCodec& c)
{
    uint8_t lengths[kLiteralSymbols];
    for (const auto& range : kFixedLiteralLengths) {
        memset(lengths + range.first, range.bits, range.count);
    }
    BuildTable(lengths, kLiteralSymbols, Alphabet::LiteralLength, kLiteralRootBits, c.fixedLiterals,
               1 << kLiteralRootBits);
    memset(lengths, kFixedDistanceBits, kDistanceSymbols);
    BuildTable(lengths, kDistanceSymbols, Alphabet::Distance, kDistanceRootBits, c.fixedDistances,
               1 << kDistanceRootBits);
    c.fixedReady = true;
}

// Decodes the symbols of one Huffman-coded deflate block up to its end code.
bool DecodeSymbols(BitReader& r, const HuffEntry* literals, const HuffEntry* distances, uint8_t* out, uint32_t& outPos)
{
    BitReader s = r;  // kept in registers
    uint32_t pos = outPos;
    bool ok = false;
    for (;;) {
        Refill(s);
        HuffEntry e = Lookup(literals, kLiteralRootBits, s.bits);
        s.bits >>= e.bits;
        s.count -= e.bits;
        if (e.op == kOpLiteral) {
            if (pos >= kCabBlockSize) {
                break;
            }
            out[pos++] = uint8_t(e.value);
            continue;
        }
        if (!(e.op & kOpBase)) {
            ok = e.op == kOpEnd;
            break;
        }
        const uint32_t length = e.value + TakeBits(s, e.op & kOpLowBits);
        e = Lookup(distances, kDistanceRootBits, s.bits);
        s.bits >>= e.bits;
        s.count -= e.bits;
        if (!(e.op & kOpBase)) {
            break;
        }
        const uint32_t distance = e.value + TakeBits(s, e.op & kOpLowBits);
        if (length > kCabBlockSize - pos) {
            break;
        }
        CopyMatch(out, pos, distance, length);
        pos += length;
    }
    r = s;
    outPos = pos;
    return ok;
}

// A stored deflate block: from the next byte boundary LEN (16 bits), NLEN
// (its ones' complement), then LEN bytes as they are.
bool DecodeStoredBlock(BitReader& r, uint8_t* out, uint32_t& outPos)
{
    TakeBits(r, r.count & 7);  // the rest of the current byte
    Refill(r);
    const uint32_t length = TakeBits(r, 16);
    const uint32_t check = TakeBits(r, 16);
    if (length != (~check & 0xFFFF) || length > kCabBlockSize - outPos) {
        return false;
    }
    const size_t at = r.pos - r.count / 8;
    const size_t available = at < r.size ? r.size - at : 0;
    const size_t copied = length < available ? length : available;
    memcpy(out + outPos, r.data + at, copied);
    memset(out + outPos + copied, 0, length - copied);
    outPos += length;
    r.pos = at + length;
    r.bits = 0;
    r.count = 0;
    return true;
}

// Reads the code lengths of a dynamic block and builds its two tables.
bool ReadDynamicTables(MszipCodec& c, BitReader& r)
{
    Refill(r);
    const unsigned literalCount = TakeBits(r, kCountFieldBits) + kFirstLengthSymbol;
    const unsigned distanceCount = TakeBits(r, kCountFieldBits) + 1;
    const unsigned codeLengthCount = TakeBits(r, kCodeLengthCountBits) + kMinCodeLengthCodes;
    // The fields reach 288 and 32, but only 286 and 30 symbols have a meaning.
    if (literalCount > kUsableLiteralSymbols || distanceCount > kUsableDistanceSymbols) {
        return false;
    }
    uint8_t lengths[kLiteralSymbols + kDistanceSymbols] = {};
    for (unsigned i = 0; i < codeLengthCount; ++i) {
        Refill(r);
        lengths[kCodeLengthOrder[i]] = uint8_t(TakeBits(r, kCodeLengthBits));
    }
    if (!BuildTable(lengths, kCodeLengthSymbols, Alphabet::CodeLength, kCodeLengthRootBits, c.codeLengths,
                    kCodeLengthTableSize)) {
        return false;
    }
    const unsigned total = literalCount + distanceCount;
    uint8_t codeLengths[kLiteralSymbols + kDistanceSymbols] = {};
    for (unsigned i = 0; i < total;) {
        Refill(r);
        const HuffEntry e = c.codeLengths[r.bits & ((1u << kCodeLengthRootBits) - 1)];
        TakeBits(r, e.bits);
        uint8_t value = 0;
        unsigned repeat = 1;
        if (e.value <= kLastPlainLength) {
            value = uint8_t(e.value);
        } else if (e.value == kRepeatPrevious) {
            if (i == 0) {
                return false;
            }
            value = codeLengths[i - 1];
            repeat = 3 + TakeBits(r, 2);
        } else if (e.value == kRepeatZeros) {
            repeat = 3 + TakeBits(r, 3);
        } else {
            repeat = 11 + TakeBits(r, 7);  // 18: a long run of zeros
        }
        if (repeat > total - i) {
            return false;
        }
        memset(codeLengths + i, value, repeat);
        i += repeat;
    }
    if (codeLengths[kEndOfBlock] == 0) {
        return false;  // the block could never end
    }
    return BuildTable(codeLengths, literalCount, Alphabet::LiteralLength, kLiteralRootBits, c.literals,
                      kLiteralTableSize) &&
           BuildTable(codeLengths + literalCount, distanceCount, Alphabet::Distance, kDistanceRootBits, c.distances,
                      kDistanceTableSize);
}

MszipCodec* Instance(void* instance)
{
    auto* c = static_cast<MszipCodec*>(instance);
    return c != nullptr && c->tag == kMszipTag ? c : nullptr;
}

int DecodeMszip(void* instance, const uint8_t* in, uint32_t inCount, uint8_t* out, uint32_t, uint32_t* produced)
{
    MszipCodec* c = Instance(instance);
    if (c == nullptr || inCount > kMszipInputLimit || inCount < 2 || in[0] != kMszipSignature[0] ||
        in[1] != kMszipSignature[1]) {
        return 0;
    }
    if (!c->fixedReady) {
        BuildFixedTables(*c);
    }
    BitReader r = {in + 2, inCount - 2u, 0, 0, 0};
    uint32_t outPos = 0;
    for (;;) {
        Refill(r);
        const bool last = TakeBits(r, 1) != 0;
        bool ok = false;
        switch (TakeBits(r, 2)) {
        case kStoredBlock: ok = DecodeStoredBlock(r, out, outPos); break;
        case kFixedCodeBlock: ok = DecodeSymbols(r, c->fixedLiterals, c->fixedDistances, out, outPos); break;
        case kDynamicCodeBlock:
            ok = ReadDynamicTables(*c, r) && DecodeSymbols(r, c->literals, c->distances, out, outPos);
            break;
        default: break;
        }
        if (!ok) {
            return 0;
        }
        if (last || outPos == kCabBlockSize) {
            break;
        }
    }
    *produced = outPos;
    return 1;
}

int ResetMszip(void* instance)
{
    return Instance(instance) != nullptr;
}

int DestroyMszip(void* instance)
{
    MszipCodec* c = Instance(instance);
    if (c == nullptr) {
        return 0;
    }
    c->tag = 0;
    c->free(c);
    return 1;
}

constexpr CabCodecOperations kMszipOperations = {DecodeMszip, ResetMszip, DestroyMszip};

}  // namespace

uint32_t MszipCompressedBufferSize(uint32_t)
{
    return kMszipInputLimit;
}

CabError CreateMszipCodec(const CabCodecSetup& setup, CabCodec& codec)
{
    auto* c = static_cast<MszipCodec*>(setup.allocate(sizeof(MszipCodec)));
    if (c == nullptr) {
        return CabError::AllocFail;
    }
    c->tag = kMszipTag;
    c->free = setup.free;
    c->fixedReady = false;
    codec.operations = &kMszipOperations;
    codec.instance = c;
    return CabError::None;
}

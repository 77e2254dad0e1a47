#include "tools/quantum/quantum_compressor.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace quantum {

namespace {

constexpr int kNear3Bits = 14;  // heads of the tables of the latest positions
constexpr int kNear4Bits = 16;
constexpr uint64_t kPrefetchAhead = 16;
// Below this window the tables (at most 512 KiB of chain heads) stay in the
// cache, and fetching ahead would only cost its hashing.
constexpr int kPrefetchFromWindowBits = 14;
constexpr uint32_t kNiceLength = 64;  // a match this long ends the search
constexpr uint32_t kLazyLimit = 16;   // a match this long is taken without looking one byte further
// Once a match this long is found, only kGoodDepth more candidates are looked at.
constexpr uint32_t kGoodLength = 32;
constexpr int kGoodDepth = 8;
// A rough worth of a match in bits: each byte it covers spares about
// kBitsPerByte bits of literal, each doubling of its offset costs one bit.
// A match put off for one a byte further costs a literal, so the later one
// must be worth kLazyMargin more.
constexpr int kBitsPerByte = 6;
constexpr int kLazyMargin = 2;
constexpr size_t kMaxCompressedBlock = 32768 + 10240;  // the reader's buffer

// The chains link positions whose next five bytes hash alike. Small windows
// get sixteen chain heads per position, so that few strings that differ
// share a chain and waste its depth; from 2^18 heads (1 MiB) on, one per
// position and at most 2^20, so that the heads stay near the cache's size.
int ChainHashBits(int windowBits)
{
    return std::min(std::max(std::min(windowBits + 4, 18), windowBits), 20);
}

// The first eight bytes as one number, the first byte lowest.
uint64_t Load8(const uint8_t* p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

// What a match saves, as kBitsPerByte says.
int Worth(uint32_t length, uint32_t offset)
{
    return kBitsPerByte * int(length) - std::bit_width(offset);
}

// The hashes of the first five, three and four bytes of bytes, the first
// eight bytes at a position (Load8).
uint32_t ChainHashOf(uint64_t bytes, int bits)
{
    const uint64_t v = bytes & 0xFFFFFFFFFFull;
    return uint32_t((v * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

// The three bytes with the first one highest.
uint32_t Near3HashOf(uint64_t bytes)
{
    const uint32_t v = __builtin_bswap32(uint32_t(bytes)) >> 8;
    return (v * 2654435761u) >> (32 - kNear3Bits);
}

uint32_t Near4HashOf(uint64_t bytes)
{
    return (uint32_t(bytes) * 2654435761u) >> (32 - kNear4Bits);
}

// How many bytes from the start agree, at most limit; eight at a time.
uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit)
{
    uint32_t length = 0;
    while (length + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + length, 8);
        memcpy(&y, b + length, 8);
        if (x != y) {
            const uint64_t differ = x ^ y;
            if constexpr (std::endian::native == std::endian::little) {
                return length + uint32_t(std::countr_zero(differ) / 8);
            } else {
                return length + uint32_t(std::countl_zero(differ) / 8);
            }
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length])
        ++length;
    return length;
}

}  // namespace

Compressor::Compressor(int windowBits, int level)
    : encoder_(windowBits),
      windowSize_(uint32_t(1) << windowBits),
      chainDepth_(1 << (std::clamp(level, 1, 7) - 1)),
      hashBits_(ChainHashBits(windowBits)),
      prefetch_(windowBits >= kPrefetchFromWindowBits),
      head_(size_t(1) << hashBits_, 0),
      near3_(size_t(1) << kNear3Bits, 0),
      near4_(size_t(1) << kNear4Bits, 0),
      previous_(windowSize_, 0),
      buffer_(kTail, 0)
{
}

// Keeps only the last window of history in front of the new data.
void Compressor::Append(const uint8_t* data, size_t size)
{
    buffer_.resize(buffer_.size() - kTail);
    if (buffer_.size() + size > 2 * size_t(windowSize_) + cabwriter::kBlockSize && buffer_.size() > windowSize_) {
        const size_t drop = buffer_.size() - windowSize_;
        buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(drop));
        bufferStart_ += drop;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    buffer_.insert(buffer_.end(), kTail, 0);
}

// Of a position with five bytes of data.
inline Compressor::Slots Compressor::SlotsOf(uint64_t position) const
{
    const uint64_t bytes = Load8(At(position));
    return {Near3HashOf(bytes), Near4HashOf(bytes), ChainHashOf(bytes, hashBits_)};
}

// Makes position, the one after the last inserted, the latest of its slots.
void Compressor::Insert(uint64_t position, const Slots& slots)
{
    previous_[position & (windowSize_ - 1)] = head_[slots.chain];
    head_[slots.chain] = uint32_t(position + 1);
    near3_[slots.near3] = uint32_t(position + 1);
    near4_[slots.near4] = uint32_t(position + 1);
    inserted_ = position + 1;
}

// Every position below position with five bytes of data behind it.
QUANTUM_HOT void Compressor::InsertUpTo(uint64_t position)
{
    const uint64_t end = DataEnd();
    for (; inserted_ < position && inserted_ + 5 <= end;) {
        if (prefetch_ && inserted_ + kPrefetchAhead + 5 <= end) {
            // The chain head of a position a little further on, fetched from
            // memory by the time that position is inserted or looked up.
            __builtin_prefetch(&head_[ChainHashOf(Load8(At(inserted_ + kPrefetchAhead)), hashBits_)]);
        }
        Insert(inserted_, SlotsOf(inserted_));
    }
}

// The positions before position go into the tables first (those that a
// match went over), position itself once its candidates are read.
QUANTUM_HOT Compressor::Match Compressor::FindMatch(uint64_t position, uint64_t blockEnd)
{
    if (inserted_ < position)
        InsertUpTo(position);
    Match best;
    // A match ends by the end of the block and by the end of the decoder's
    // window: a reader that empties its window member by member (cabextract)
    // cannot finish one that goes on over the window's end.
    const uint64_t windowEnd = (position | (windowSize_ - 1)) + 1;
    const uint32_t maxLength =
        uint32_t(std::min<uint64_t>({kQuantumMaxMatchLength, blockEnd - position, windowEnd - position}));
    if (maxLength < 3)
        return best;
    const uint8_t* here = At(position);
    if (maxLength < 5) {
        // Too near an end for the chain, or to be hashed.
        const uint64_t bytes = Load8(here);
        if (Consider(position, near3_[Near3HashOf(bytes)], maxLength, best) || maxLength < 4)
            return best;
        Consider(position, near4_[Near4HashOf(bytes)], maxLength, best);
        return best;
    }
    if (prefetch_ && maxLength > 6) {
        // The next bytes are searched too after a literal or a match put
        // off: the chain head of the byte after next and the first link of
        // the next byte's chain (its head fetched by the previous search)
        // are brought into memory by then.
        __builtin_prefetch(&head_[ChainHashOf(Load8(here + 2), hashBits_)]);
        const uint32_t nextHead = head_[ChainHashOf(Load8(here + 1), hashBits_)];
        __builtin_prefetch(&previous_[(nextHead - 1) & (windowSize_ - 1)]);
    }
    const Slots slots = SlotsOf(position);
    const uint32_t near3 = near3_[slots.near3];
    const uint32_t near4 = near4_[slots.near4];
    uint32_t candidate = head_[slots.chain];
    // With five bytes left, InsertUpTo has reached position.
    assert(inserted_ == position);
    Insert(position, slots);
    // Matches of three and four bytes pay only when near (CanEncode,
    // WorthIt): the latest position that starts with the same three and the
    // same four bytes is the nearest such match. Longer ones come from the
    // chain.
    if (Consider(position, near3, maxLength, best) || (near4 != near3 && Consider(position, near4, maxLength, best)))
        return best;
    for (int depth = chainDepth_; depth > 0 && InWindow(position, candidate); --depth) {
        if (best.length >= kGoodLength)
            depth = std::min(depth, kGoodDepth);
        const uint64_t from = candidate - 1;
        // The next link is read first: its load and the candidate's bytes
        // then come from memory at the same time.
        const uint32_t next = NextCandidate(from, candidate);
        // Most candidates differ from here at best's length, which settles
        // them without a call.
        if (At(from)[best.length] == here[best.length] && Consider(position, candidate, maxLength, best))
            break;
        candidate = next;
    }
    return best;
}

// Takes the match at candidate (a position + 1) when it is longer than best,
// worth more and can be encoded; true once best is long enough to stop looking.
// Inlined into the search, so that best stays in registers.
[[gnu::always_inline]] inline bool Compressor::Consider(uint64_t position, uint32_t candidate, uint32_t maxLength,
                                                        Match& best) const
{
    if (best.length >= maxLength)
        return true;
    if (!InWindow(position, candidate))
        return false;
    const uint64_t from = candidate - 1;
    const uint8_t* here = At(position);
    const uint8_t* there = At(from);
    // Only a longer match counts: one that differs at the best length's end,
    // or at its first bytes, is not.
    if (there[best.length] != here[best.length] || there[0] != here[0] || there[1] != here[1])
        return false;
    const uint32_t length = CommonLength(here, there, maxLength);
    const uint32_t offset = uint32_t(position - from);
    if (length > best.length && encoder_.CanEncode(length, offset) && WorthIt({length, offset}) &&
        (best.length == 0 || Worth(length, offset) > Worth(best.length, best.offset))) {
        best = {length, offset};
        return length >= std::min(kNiceLength, maxLength);
    }
    return false;
}

// Whether candidate (a position + 1, 0 for none) lies before position and
// at most a window behind it.
bool Compressor::InWindow(uint64_t position, uint32_t candidate) const
{
    const uint64_t from = uint64_t(candidate) - 1;
    return candidate != 0 && from < position && position - from <= windowSize_;
}

// The chain's next candidate behind from, or 0 when the chain ends (a slot
// overwritten by a newer position holds a later one).
uint32_t Compressor::NextCandidate(uint64_t from, uint32_t candidate) const
{
    const uint32_t next = previous_[from & (windowSize_ - 1)];
    return next < candidate ? next : 0;
}

// Matches of four bytes far back cost more than the literals they replace.
// Those of three bytes reach back at most 4096 bytes (CanEncode), where
// they still pay.
bool Compressor::WorthIt(const Match& match) const
{
    return match.length != 4 || match.offset <= 65536;
}

bool Compressor::CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    if (size > cabwriter::kBlockSize)
        return false;
    Append(data, size);
    const uint64_t blockEnd = DataEnd();
    EncodeBlock(blockEnd - size, blockEnd);
    out.clear();
    encoder_.FinishBlock(out);
    return out.size() <= kMaxCompressedBlock;
}

// Chooses and encodes the literals and matches from position to blockEnd.
QUANTUM_HOT void Compressor::EncodeBlock(uint64_t position, uint64_t blockEnd)
{
    // The match found one byte further when a match was put off for it.
    bool haveNext = false;
    Match next;
    while (position < blockEnd) {
        Match match = haveNext ? next : FindMatch(position, blockEnd);
        haveNext = false;
        if (match.length >= 3 && match.length < kLazyLimit && position + 1 < blockEnd) {
            next = FindMatch(position + 1, blockEnd);
            if (Worth(next.length, next.offset) > Worth(match.length, match.offset) + kLazyMargin) {
                match = Match{};
                haveNext = true;
            }
        }
        if (match.length >= 3) {
            encoder_.Match(match.length, match.offset);
            position += match.length;
        } else {
            encoder_.Literal(*At(position));
            ++position;
        }
    }
}

}  // namespace quantum

#include "tools/quantum/quantum_compressor.h"

#include <algorithm>
#include <cstring>

namespace quantum {

namespace {

constexpr int kHashBits = 17;
constexpr uint32_t kNiceLength = 160;
constexpr uint32_t kLazyLimit = 48;                    // a match this long is taken without looking one byte further
constexpr size_t kMaxCompressedBlock = 32768 + 10240;  // the reader's buffer

uint32_t HashOf(const uint8_t* p)
{
    const uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

Compressor::Compressor(int windowBits, int level)
    : encoder_(windowBits),
      windowSize_(uint32_t(1) << windowBits),
      chainDepth_(1 << (std::clamp(level, 1, 7) + 2)),
      head_(size_t(1) << kHashBits, 0),
      previous_(windowSize_, 0)
{
}

// Keeps only the last window of history in front of the new data.
void Compressor::Append(const uint8_t* data, size_t size)
{
    if (buffer_.size() + size > 2 * size_t(windowSize_) + cabwriter::kBlockSize && buffer_.size() > windowSize_) {
        const size_t drop = buffer_.size() - windowSize_;
        buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(drop));
        bufferStart_ += drop;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

void Compressor::InsertUpTo(uint64_t position)
{
    const uint64_t end = bufferStart_ + buffer_.size();
    for (; inserted_ < position && inserted_ + 3 <= end; ++inserted_) {
        const uint32_t h = HashOf(At(inserted_));
        previous_[inserted_ & (windowSize_ - 1)] = head_[h];
        head_[h] = uint32_t(inserted_ + 1);
    }
}

Compressor::Match Compressor::FindMatch(uint64_t position, uint64_t blockEnd) const
{
    Match best;
    const uint32_t maxLength = uint32_t(std::min<uint64_t>(kQuantumMaxMatchLength, blockEnd - position));
    if (maxLength < 3)
        return best;
    const uint8_t* here = At(position);
    uint32_t candidate = head_[HashOf(here)];
    for (int depth = chainDepth_; candidate != 0 && depth > 0; --depth) {
        const uint64_t from = candidate - 1;
        if (from >= position || position - from > windowSize_)
            break;
        const uint32_t offset = uint32_t(position - from);
        const uint8_t* there = At(from);
        uint32_t length = 0;
        while (length < maxLength && there[length] == here[length])
            ++length;
        if (length > best.length && encoder_.CanEncode(length, offset) && WorthIt({length, offset})) {
            best = {length, offset};
            if (length >= std::min(kNiceLength, maxLength))
                break;
        }
        const uint32_t next = previous_[from & (windowSize_ - 1)];
        if (next >= candidate)
            break;
        candidate = next;
    }
    return best;
}

// Short matches far back cost more than the literals they replace.
bool Compressor::WorthIt(const Match& match) const
{
    if (match.length == 3)
        return match.offset <= 1024;
    if (match.length == 4)
        return match.offset <= 65536;
    return true;
}

bool Compressor::CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    if (size > cabwriter::kBlockSize)
        return false;
    Append(data, size);
    const uint64_t blockEnd = bufferStart_ + buffer_.size();
    uint64_t position = blockEnd - size;
    while (position < blockEnd) {
        InsertUpTo(position);
        Match match = FindMatch(position, blockEnd);
        if (match.length >= 3 && match.length < kLazyLimit && position + 1 < blockEnd) {
            InsertUpTo(position + 1);
            const Match next = FindMatch(position + 1, blockEnd);
            if (next.length > match.length)
                match = Match{};
        }
        if (match.length >= 3) {
            encoder_.Match(match.length, match.offset);
            position += match.length;
        } else {
            encoder_.Literal(*At(position));
            ++position;
        }
    }
    out.clear();
    encoder_.FinishBlock(out);
    return out.size() <= kMaxCompressedBlock;
}

}  // namespace quantum

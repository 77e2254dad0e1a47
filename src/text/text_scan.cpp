#include "text/text_scan.h"

#include <cstdint>
#include <cstring>

namespace {

struct ByteRange {
    uint8_t low, high;
};

// Lead and trail byte ranges of the double-byte code pages of Windows.
struct DoubleByteCodePage {
    unsigned codePage;
    ByteRange lead[2];
    ByteRange trail[3];
};

constexpr DoubleByteCodePage kDoubleByteCodePages[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}, {0, 0}}},  // Japanese
    {936, {{0x81, 0xFE}, {0, 0}}, {{0x40, 0x7E}, {0x80, 0xFE}, {0, 0}}},        // Simplified Chinese
    {949, {{0x81, 0xFE}, {0, 0}}, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}}},  // Korean
    {950, {{0x81, 0xFE}, {0, 0}}, {{0x40, 0x7E}, {0xA1, 0xFE}, {0, 0}}},        // Traditional Chinese
};

// Until a code page is chosen, text is Shift-JIS (932). All zero at the start,
// so that the state needs no initialised data.
struct ChosenCodePage {
    bool chosen;
    unsigned number;
    const DoubleByteCodePage* doubleByte;  // null for a single-byte code page
};

ChosenCodePage gCodePage;

const DoubleByteCodePage* DoubleByteRanges()
{
    return gCodePage.chosen ? gCodePage.doubleByte : &kDoubleByteCodePages[0];
}

template <size_t N>
bool InRanges(const ByteRange (&ranges)[N], uint8_t byte)
{
    for (const ByteRange& range : ranges) {
        if (range.high != 0 && byte >= range.low && byte <= range.high)
            return true;
    }
    return false;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=' || c == ',';
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

// True when text[i], text[i + 1] is a pair that lies inside [0, length).
bool PairAt(const char* text, int i, int length)
{
    return i + 1 < length && IsDoubleBytePair(text + i);
}

}  // namespace

void UseCodePage(unsigned codePage)
{
    gCodePage = {true, codePage, nullptr};
    for (const DoubleByteCodePage& entry : kDoubleByteCodePages) {
        if (entry.codePage == codePage)
            gCodePage.doubleByte = &entry;
    }
}

unsigned CurrentCodePage()
{
    return gCodePage.chosen ? gCodePage.number : kDoubleByteCodePages[0].codePage;
}

bool IsDoubleBytePair(const char* text)
{
    const DoubleByteCodePage* ranges = DoubleByteRanges();
    if (ranges == nullptr)
        return false;
    return InRanges(ranges->lead, static_cast<uint8_t>(text[0])) &&
           InRanges(ranges->trail, static_cast<uint8_t>(text[1]));
}

int FindByte(const char* text, int length, char wanted, int first)
{
    int found = -1;
    int i = 0;
    while (i < length) {
        if (PairAt(text, i, length)) {
            i += 2;
            continue;
        }
        if (text[i] == wanted) {
            if (first)
                return i;
            found = i;
        }
        ++i;
    }
    return found;
}

int NextToken(const char* text, int length, char* token, int* position)
{
    token[0] = '\0';
    int start = 0;
    while (start < length && !PairAt(text, start, length) && IsSeparator(text[start]))
        ++start;
    if (start >= length) {
        *position = length < 0 ? 0 : length;
        return 0;
    }
    const char quote = IsQuote(text[start]) ? text[start] : '\0';
    int end = start + (PairAt(text, start, length) ? 2 : 1);
    while (end < length) {
        if (PairAt(text, end, length)) {
            end += 2;
            continue;
        }
        if (quote ? text[end] == quote : IsSeparator(text[end]))
            break;
        ++end;
    }
    if (end > length)
        end = length;
    const int from = quote ? start + 1 : start;
    const int count = end - from;
    memcpy(token, text + from, static_cast<size_t>(count));
    token[count] = '\0';
    *position = (quote && end < length) ? end + 1 : end;
    return 1;
}

int NextTokenOf(const char* text, char* token, int* position)
{
    return NextToken(text, static_cast<int>(strlen(text)), token, position);
}

bool JoinPath(char* output, size_t size, const char* folder, const char* name)
{
    const size_t folderLength = strlen(folder);
    const size_t nameLength = strlen(name);
    bool needSeparator = false;
    if (folderLength > 0) {
        const int last = FindByte(folder, static_cast<int>(folderLength), '\\', 0);
        needSeparator = last != static_cast<int>(folderLength) - 1;
    }
    const size_t total = folderLength + (needSeparator ? 1 : 0) + nameLength;
    if (size == 0)
        return false;
    if (total >= size) {
        output[0] = '\0';
        return false;
    }
    memmove(output, folder, folderLength);
    size_t at = folderLength;
    if (needSeparator)
        output[at++] = '\\';
    memmove(output + at, name, nameLength);
    output[total] = '\0';
    return true;
}

bool CutLastComponent(char* path)
{
    const int length = static_cast<int>(strlen(path));
    if (length == 0)
        return false;
    const bool hasDrive = length >= 2 && path[1] == ':' && !IsDoubleBytePair(path);
    const int last = FindByte(path, length, '\\', 0);
    int keep;
    if (last < 0)
        keep = hasDrive ? 2 : 0;
    else if (last == 0 || (last == 1 && path[0] == '\\') || (last == 2 && hasDrive))
        keep = last + 1;
    else
        keep = last;
    if (keep >= length)
        return false;
    path[keep] = '\0';
    return true;
}

#include "install/install_dialog_rules.h"

#include <cstring>

#include "text/text_scan.h"

namespace {

char FoldAsciiCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the case of ASCII letters outside double-byte characters:
// the trail byte of a pair is part of its character and never folded.
bool EqualsIgnoringCase(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (i + 1 < length && IsDoubleBytePair(a + i)) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) {
            return false;
        }
    }
    return true;
}

int LastBackslash(const char* text, size_t length)
{
    return FindByte(text, static_cast<int>(length), '\\', 0);
}

}  // namespace

void ProductFolderNameOf(const char* folder, char* name, size_t size)
{
    if (size == 0)
        return;
    name[0] = '\0';
    const size_t length = strlen(folder);
    const int last = LastBackslash(folder, length);
    if (last < 0)
        return;
    const size_t nameLength = length - static_cast<size_t>(last) - 1;
    if (nameLength < size)
        memcpy(name, folder + last + 1, nameLength + 1);
}

bool AppendProductFolderName(char* folder, size_t size, const char* name)
{
    size_t length = strlen(folder);
    const size_t nameLength = strlen(name);
    if (length == 0 || nameLength == 0)
        return false;
    const bool trailingBackslash = LastBackslash(folder, length) == static_cast<int>(length) - 1;
    if (trailingBackslash)
        --length;
    const size_t componentStart = static_cast<size_t>(LastBackslash(folder, length) + 1);
    const size_t componentLength = length - componentStart;
    if (componentLength == nameLength && EqualsIgnoringCase(folder + componentStart, name, nameLength))
        return false;
    if (length + 1 + nameLength >= size)
        return false;
    folder[length] = '\\';
    memcpy(folder + length + 1, name, nameLength + 1);
    return true;
}

int ProgressPosition(uint32_t installed, uint32_t total)
{
    if (total == 0)
        return 0;
    if (installed >= total)
        return kProgressRange;
    // A double holds every 32-bit count exactly, and the quotient stays below
    // kProgressRange here, so nothing overflows or wraps.
    return static_cast<int>(installed * static_cast<double>(kProgressRange) / total + 0.5);
}

uint32_t AddInstalledBytes(uint32_t installed, uint32_t byteCount)
{
    return byteCount > UINT32_MAX - installed ? UINT32_MAX : installed + byteCount;
}

#pragma once
// Bounded copies into fixed buffers. They refuse instead of cutting: a path cut
// short is a different, valid-looking path.
#include <cstddef>
#include <cstring>

// Copies src into dst (size bytes). On overflow dst becomes empty and the
// result is false.
inline bool CopyText(char* dst, size_t size, const char* src)
{
    size_t length = strlen(src);
    if (size == 0)
        return false;
    if (length >= size) {
        dst[0] = '\0';
        return false;
    }
    memcpy(dst, src, length + 1);
    return true;
}

template <size_t N>
bool CopyText(char (&dst)[N], const char* src)
{
    return CopyText(dst, N, src);
}

// Appends src to the text in dst. On overflow dst is left unchanged and the
// result is false.
inline bool AppendText(char* dst, size_t size, const char* src)
{
    size_t used = strlen(dst);
    size_t length = strlen(src);
    if (used + length >= size)
        return false;
    memcpy(dst + used, src, length + 1);
    return true;
}

template <size_t N>
bool AppendText(char (&dst)[N], const char* src)
{
    return AppendText(dst, N, src);
}

// ASCII-only case-insensitive equality: the file-name and option rules ignore
// the case of ASCII letters and nothing else.
inline bool EqualsIgnoringAsciiCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char ca = *a, cb = *b;
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
}

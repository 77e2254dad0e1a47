#pragma once
// Double-byte-aware scanning of ANSI texts. In Shift-JIS the second byte of a
// character may equal '\\' or another ASCII byte, so every byte search over a
// path or command goes through these operations.
#include <cstddef>

// Selects the code page whose lead and trail bytes the scanner honours. Code
// pages without double-byte characters (and unknown ones) scan byte by byte.
void UseCodePage(unsigned codePage);
unsigned CurrentCodePage();

// True when the two bytes at text form a double-byte pair.
bool IsDoubleBytePair(const char* text);

// Index of the first (first != 0) or last (first == 0) single byte equal to
// wanted among the first length bytes of text, or -1.
int FindByte(const char* text, int length, char wanted, int first);

// Finds the next token of text[0..length). The token (zero-terminated) goes to
// token, which must hold length + 1 bytes; position receives the index just
// behind it. Returns 0 when only separators remain.
int NextToken(const char* text, int length, char* token, int* position);

// NextToken over the whole zero-terminated text.
int NextTokenOf(const char* text, char* token, int* position);

// Joins folder and name with exactly one backslash into output (size bytes).
// Refuses (false, output empty) when the result would not fit.
bool JoinPath(char* output, size_t size, const char* folder, const char* name);

// Cuts the path's last component and the backslash before it, keeping a
// root's backslash: "C:\a\b" becomes "C:\a", "C:\a" becomes "C:\", "\a"
// becomes "\", a name without a folder becomes empty ("X:" stays for
// "X:name"). Returns false when the path had nothing to cut.
bool CutLastComponent(char* path);

template <size_t N>
bool JoinPath(char (&output)[N], const char* folder, const char* name)
{
    return JoinPath(output, N, folder, name);
}

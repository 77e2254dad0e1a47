#pragma once
// The install dialog's decisions on texts and numbers: the product's folder
// name, the folder picked in the browser, the progress bar's position.
#include <cstddef>
#include <cstdint>

// The progress bar runs from 0 to this.
constexpr int kProgressRange = 10000;

// The last component of folder (the text behind its last backslash) into
// name (size bytes); empty when folder holds no backslash.
void ProductFolderNameOf(const char* folder, char* name, size_t size);

// Appends a backslash and name to folder (size bytes) unless its last
// component already is name (letter case ignored); a trailing backslash of
// folder does not count. True when folder changed. An empty name or folder,
// or a result that would not fit, leaves folder unchanged.
bool AppendProductFolderName(char* folder, size_t size, const char* name);

template <size_t N>
bool AppendProductFolderName(char (&folder)[N], const char* name)
{
    return AppendProductFolderName(folder, N, name);
}

// The bar position for installed of total bytes, rounded to nearest: 0 for a
// total of 0, never above kProgressRange. Both counts are unsigned, so a
// product of up to 4 GiB - 1 moves the bar steadily to its end.
int ProgressPosition(uint32_t installed, uint32_t total);

// installed plus a member's byteCount, held at 4 GiB - 1 instead of wrapping
// round to a small count (members of a hostile package may sum to more).
uint32_t AddInstalledBytes(uint32_t installed, uint32_t byteCount);

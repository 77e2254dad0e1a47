#pragma once
// Splitting the paths the extraction works with. All searches are double-byte
// aware: a trail byte 0x5C inside a Shift-JIS character is no backslash.
#include <cstddef>

// Splits an installation folder into the root that its folders are made from
// and the rest, the chain of folders below it:
//   "X:\a\b"           -> "X:\"             and "a\b"
//   "\\server\share\a" -> "\\server\share\" and "a"
//   "\a\b"             -> "\"               and "a\b"
//   "a\b" (relative)   -> ""                and "a\b"
// A folder that is a root itself ("X:\", "\\server\share") leaves the rest
// empty: there is no folder to make. False, both empty, when a part would not
// fit its buffer.
bool SplitInstallFolder(const char* folder, char* root, size_t rootSize, char* rest, size_t restSize);

// Splits a file path after its last backslash into the folder (backslash
// included) and the file name; a path without backslash is all name. False,
// both empty, when a part would not fit its buffer.
bool SplitFilePath(const char* path, char* folder, size_t folderSize, char* name, size_t nameSize);

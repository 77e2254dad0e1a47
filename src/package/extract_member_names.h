#pragma once
// What the extraction makes of a member's name: the members that belong to
// the installer itself, and the names that may be written below a folder.
// Member names come from the package, that is from outside: a name that could
// reach beyond the destination folder is refused, never repaired.
#include <cstddef>

// "$", "$bmp" and "$mask" in any letter case: the installer's own members.
bool IsInstallerMember(const char* name);

// "$bmp" and "$mask" in any letter case: the splash picture and its mask.
bool IsSplashMember(const char* name);

// True for a relative path that stays below the folder it is joined to: not
// empty; no leading backslash or slash; no ':' (drive letters, streams); no
// control byte; every component, between backslashes or slashes, non-empty,
// not made of dots and spaces only (".", "..", ".. ") and no device name
// ("CON", "NUL", "COM1.txt", ...). Trail bytes of double-byte characters are
// no separators.
bool IsSafeMemberName(const char* name);

// The member's target path, destination folder joined with the name, into
// target (size bytes). False, target empty, for an unsafe name or a path that
// would not fit.
bool MemberTargetPath(char* target, size_t size, const char* destinationFolder, const char* name);

// Index of the backslash that ends the name's folder part, or -1 when the
// name has no folder part (no backslash, or only one at its start).
int MemberFolderEnd(const char* name);

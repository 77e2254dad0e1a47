#pragma once
// What the uninstaller may remove, decided from values alone. The recorded
// file names come from the registry, which other programs can write, and the
// installation folder from wherever the uninstaller file happens to lie: both
// are checked before anything is deleted.
#include <cstddef>

// The recorded file's path: the installation folder, a backslash and the
// recorded name. False (out empty) for a name that could reach beyond the
// folder (empty, absolute, with a drive, a leading backslash or slash, a ".."
// component; the rule the extraction checks member names by, so every name an
// installation recorded passes) and for a path that would not fit: such an
// entry is never touched.
bool RecordedFilePath(char* out, size_t size, const char* installFolder, const char* recordedName);

// True for an empty folder and for a root: "X:", "X:\", "\", "\\server\share"
// (with or without a trailing backslash).
bool IsRootFolder(const char* folder);

// The same folder: equal without regard to ASCII letter case, a trailing
// backslash on either side ignored. Double-byte characters compare byte for byte.
bool IsSameFolder(const char* a, const char* b);

// True when an installation folder must not be emptied: a root, or one of the
// system's own folders (the Windows and system folders, the Programs folders,
// user profiles; the shell gathers them, empty ones are skipped).
bool IsProtectedInstallFolder(const char* folder, const char* const* systemFolders, size_t count);

// "Do you want to Uninstall ?" and "Uninstalled properly." in the interface language.
const char* UninstallQuestionText(bool japanese);
const char* UninstalledProperlyText(bool japanese);

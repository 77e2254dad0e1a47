#pragma once
// The placeholders a package's default installation folder may begin with,
// and the text work of their expansion. The system folders themselves are
// read by folder_placeholders.cpp.
#include <cstddef>

#include "text/path_size.h"

constexpr size_t kUserNameSize = 1024;  // the logon name of the "temp" rewrite

enum class FolderPlaceholder { None, ProgramFiles, ProgramFilesOrUser, UserTmp };

// Their texts, matched in exactly this letter case.
inline constexpr char kProgramFilesPlaceholder[] = "%ProgramFiles%";
inline constexpr char kProgramFilesOrUserPlaceholder[] = "%ProgramFilesOrUser%";
inline constexpr char kUserTmpPlaceholder[] = "%UserTmp%";

// The placeholder at the very start of folder (case-sensitive), or None;
// length receives the placeholder's length (0 for None).
FolderPlaceholder MatchFolderPlaceholder(const char* folder, size_t* length);

// Which folder "%ProgramFilesOrUser%" stands for: the programs folder with
// "-ForceAdmin", the user's application data with "-ForceUser", else the
// programs folder for an administrator only. isAdmin is asked for only when
// neither option decides.
bool ProgramFilesOrUserIsMachineWide(bool forceAdmin, bool forceUser, bool (*isAdmin)());

// Rewrites folder (size bytes), which begins with a placeholder of
// placeholderLength bytes, into expansion joined with the rest: the text
// behind the placeholder, with one backslash skipped. A result that would
// not fit leaves folder unchanged, placeholder and all, and returns false.
bool ReplacePlaceholder(char* folder, size_t size, size_t placeholderLength, const char* expansion);

// Removes leading and trailing spaces of a Shell Folders value in place; the
// end is found double-byte aware. False, value empty, when nothing remains.
bool TrimShellFolderValue(char* value);

// "Program Files" beside the Windows folder: "X:\WINDOWS" gives
// "X:\Program Files". False, out empty, when it would not fit.
bool ProgramFilesBesideWindows(char* out, size_t size, const char* windowsFolder);

// The expansion of "%UserTmp%": "tteemmpp" beside the installer's temporary
// folder. False, out empty, without a temporary folder or when it would not
// fit.
bool UserTempBaseBeside(char* out, size_t size, const char* installerTempFolder);

// Replaces every "temp" or "tmp" folder component behind the first level by
// "tteemmpp" and the user name, and has createFolder make each folder from
// the first replaced one down to the whole path. A result that would not fit
// size bytes leaves the path unchanged and creates nothing. Returns 1 when a
// component was rewritten.
int RewriteTempComponents(char* path, size_t size, const char* userName, void (*createFolder)(const char* path));

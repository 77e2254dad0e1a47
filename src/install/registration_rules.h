#pragma once
// What registration writes, as values: the key paths of the product's entry,
// the uninstall command line, the names of the installed-file list and the
// success message. A value that does not fit its buffer is refused, never cut.
#include <cstddef>
#include <cstdint>

#include "text/path_size.h"

constexpr size_t kEntryTextSize = 1024;    // uninstaller path, command lines, key paths
constexpr size_t kFileValueNameSize = 16;  // "file" and up to ten digits

inline constexpr char kUninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kInstalledFilesKeyName[] = "installFiles";
inline constexpr char kUninstallerFileName[] = "unquilbex.exe";

// The Start-menu folders shortcuts go to: the machine's or the user's.
constexpr int kCommonProgramsFolderId = 23;  // CSIDL_COMMON_PROGRAMS
constexpr int kUserProgramsFolderId = 2;     // CSIDL_PROGRAMS

// True when name can be one folder, file or registry key name: not empty, no
// '\\', '/' or ':' (trail bytes of double-byte characters are no separators),
// not made of dots and blanks only. A product name that is not is never put
// into a path or key path; neither is such a shortcut name.
bool IsOneFolderName(const char* name);

// "SOFTWARE\...\Uninstall\<productName>" and its "installFiles" subkey, into
// out (size bytes). False, out empty, when the path would not fit.
bool FormatProductKeyPath(char* out, size_t size, const char* productName);
bool FormatInstalledFilesKeyPath(char* out, size_t size, const char* productName);

// The uninstaller's path: the install folder, a backslash and "unquilbex.exe".
bool FormatUninstallerPath(char* out, size_t size, const char* installFolder);

// "\"<uninstaller>\" -u", then " \"-ForceAdmin\"" and " \"-ForceUser\"" for
// the options the installing run had, in this order.
bool FormatUninstallCommand(char* out, size_t size, const char* uninstallerPath, bool forceAdmin, bool forceUser);

// The same command for unattended removal: the uninstall command and
// " -Silent" (no window, no box, the outcome as exit code).
bool FormatQuietUninstallCommand(char* out, size_t size, const char* uninstallerPath, bool forceAdmin, bool forceUser);

// "file" and the number, at least five digits, zero-padded ("file00000",
// "file99999", "file100000").
void FormatFileValueName(char (&out)[kFileValueNameSize], uint32_t number);

// The size of the product's files for the list of installed programs, in
// KiB, rounded up.
uint32_t EstimatedSizeKiB(uint32_t bytes);

// "Installed properly." in the interface language.
const char* InstalledProperlyText(bool japanese);

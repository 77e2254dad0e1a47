#pragma once
// Resolves a placeholder at the start of the default installation folder, and
// reads the system folders the placeholders stand for.
#include <windows.h>

#include "install/folder_placeholder_rules.h"

// Rewrites folder (512 bytes) in place; "%ProgramFilesOrUser%" follows the
// run's force options. An expansion that would not fit leaves the
// placeholder in place; such a folder is refused by the install.
void ExpandInstallFolder(char* folder, int forceAdmin, int forceUser);

// The system folders, each into out (512 bytes).
void GetProgramFilesFolder(char* out);
void GetUserAppDataFolder(char* out);  // empty when the registry does not tell
void GetUserTempBase(char* out);       // empty without a temporary folder

// Reads a registry value of any type into out (512 bytes, terminated). 1 on
// success; a value that does not fit is a failure.
int ReadRegistryString(HKEY root, const char* keyPath, const char* valueName, char* out);

// A value of the user's or the machine's Shell Folders key, without leading
// and trailing spaces. 1 when something other than spaces was read.
int ReadShellFolder(HKEY root, const char* valueName, char* out);

// Replaces "temp" and "tmp" components of path (512 bytes) by "tteemmpp" and
// the user's logon name, creating the renamed folders.
void RewriteTempFolders(char* path);

// The user's logon name, or "user" when the system does not tell.
void QueryUserName(char (&name)[kUserNameSize]);

// Makes the folder; a folder that cannot be made shows up later.
void CreateFolderIgnoringFailure(const char* path);

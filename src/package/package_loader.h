#pragma once
// Reads the package resource (RCDATA 104) of the module that carries it.
#include <cstddef>

#include "package/package_settings.h"

// Writes the installer's temporary folder (created when missing) to folder;
// returns its length, or 0 with folder empty on failure. A folder that would
// not fit maxLength bytes is not written, and its length is returned.
size_t GetInstallerTempFolder(size_t maxLength, char* folder);

// Makes a new, empty, uniquely named file with the prefix "It" in the
// installer's temporary folder; path receives its name (512 bytes).
int CreatePackageTempFile(char* path);

// Writes the package bytes of modulePath to destination. 1 on success.
int CopyPackageResource(const char* destination, const char* modulePath);

// Fills settings from both settings blocks of the package. 1 on success.
int LoadPackageSettings(PackageSettings& settings, const char* modulePath);

// Writes the unscrambled cabinet of the package to destination. 1 on success.
int ExtractPackageCabinet(const char* destination, const char* modulePath);

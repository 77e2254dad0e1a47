#pragma once
// Registration of the installed product for its later removal: the list of
// installed files, the Start-menu folder with its shortcuts, the uninstaller
// beside the product and the entry under the system's Uninstall key.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "install/run_context.h"

// Required files, Uninstall entry, uninstaller copy, shortcuts, success
// message and install commands. 1 on success.
// Boxes are owned by the run's window; quiet shows no success message, a
// silent run no message at all.
int FinishInstallation(const RunContext& run, int quiet, int packageJustExec, const char* packagePath);

// The uninstaller beside the product, then the Start-menu folder, the
// shortcuts and the Uninstall entry. Failures never fail the installation:
// always 1. A product name that cannot be one folder name registers nothing;
// an uninstaller that cannot be put in place registers nothing either and
// takes back the run's installed-file list.
int RegisterProduct(const RunContext& run, SetupInfo& info, const char* packagePath);

// The product's Start-menu folder inside the Programs folder programsFolderId
// (CSIDL_...) into out (size bytes). False, out empty, when the system names
// no Programs folder or the path would not fit.
bool GetProductProgramsFolder(char* out, size_t size, int programsFolderId, const SetupInfo& info);

// The path of a shell folder (CSIDL_...) into out (size bytes), or empty.
void GetSpecialFolderPath(int folderId, char* out, size_t size);

// One shortcut per entry of the settings; entries whose paths would not fit,
// or whose name is not one file name, are skipped. Always 1.
int CreateProductShortcuts(const SetupInfo& info, const char* installFolder, const char* startMenuFolder, RunLog* log);

// Saves a shell link at linkPath to target, with the working folder and the
// arguments when they are given. 1 when the file was saved; otherwise 0, and
// the last error says why (the shell's result when the shell refused).
int CreateShortcut(const char* linkPath, const char* target, const char* workingFolder,
                   const char* arguments = nullptr);

// Copies the package carrier to the uninstaller's path; a failed copy is
// deleted. True when the whole carrier is there.
bool CopyUninstaller(const char* packagePath, const char* uninstaller);

// Writes the product's values under its Uninstall key, below the run's
// registry root; the uninstall command repeats the run's force options. Always 1.
int WriteUninstallEntry(const RunContext& run, const char* productName, const char* productVersion,
                        const char* installFolder, uint32_t productBytes);

// Notes one installed member for the uninstaller.
void RecordInstalledFile(const RunContext& run, const char* memberName);

// Takes back what this run recorded, for a run whose files could not all be
// installed: the names it appended to the list, and the list and product
// keys when the run made them and they are empty again. What earlier runs
// recorded stays.
void WithdrawRecordedFiles(const RunContext& run);

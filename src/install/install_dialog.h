#pragma once
// The install dialog: takes or asks for the folder and unpacks the product there.
#include <windows.h>

#include <cstdint>

#include "package/package_settings.h"

// Control ids of the dialog templates "InstallDlgJ" and "InstallDlgE".
constexpr int kBrowseButtonId = 1000;
constexpr int kProgressBarId = 1001;
constexpr int kFolderEditId = 1002;
constexpr int kPromptTextId = 1003;

// Non-zero when the folder was ready and the extraction succeeded.
int RunInstallDialog(HWND owner, HINSTANCE instance, const char* setDir, int justExec);

// Makes sure installFolder of the interface language exists, asking before
// it is created, and unpacks the product there. Non-zero on success. A folder
// that is empty or still begins with a placeholder is refused.
int InstallIntoFolder(HWND owner, PackageSettings& settings);

// True when path names a folder.
bool FolderExists(const char* path);

// Creates the folder and any missing parents; a drive root is never created.
bool CreateFolderTree(const char* path);

// Asks whether to create the folder; true for Yes. A folder too long for the
// question is not asked about and counts as No.
bool AskCreateFolder(HWND owner, const char* path);

// Makes a new, empty "IG" folder in the installer's temporary folder; out
// (512 bytes) receives its path. False, out empty, on failure.
bool CreateRunOnlyFolder(char* out);

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Lets the user pick a folder; folder (512 bytes) and the text box receive it.
void BrowseForInstallFolder(HWND dialog, char* folder);

// The extraction's file-start callback: counts the bytes and moves the bar.
void AdvanceInstallProgress(int32_t byteCount);

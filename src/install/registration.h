#pragma once
// Registration of the installed product for its later removal.
#include <windows.h>

// Required files, Uninstall entry, uninstaller copy, shortcuts, success
// message and install commands. 1 on success.
int FinishInstallation(HWND owner, int quiet, int packageJustExec, const char* packagePath, int forceAdmin,
                       int forceUser);

// Notes one installed member for the uninstaller.
void RecordInstalledFile(const char* memberName);

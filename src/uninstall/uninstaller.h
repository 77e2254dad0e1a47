#pragma once
// Removes what an installation recorded: the uninstall commands run, the
// recorded files go, then the installation folder as far as it is empty, the
// Start-menu folder and the product's Uninstall key.
#include <windows.h>

#include "install/run_context.h"

// 1 when everything was removed; 0 otherwise, also when the user declines.
// Boxes are owned by the run's window, keys and the Start-menu folder are
// those of the run's registry root and Programs folder; the steps go into
// the run's log. The installation folder is the folder of packagePath (the
// uninstaller itself); quiet asks nothing and shows no success message. A
// product name that is not one folder name, and an installation folder that
// is a root or one of the system's own folders, remove nothing and give 0.
int RunUninstall(const RunContext& run, SetupInfo& info, int quiet, const char* packagePath);

// Runs the commands in list order with folder as the current folder, window
// disabled meanwhile. 1 (or the last command's result); 0 at the first
// failing command, which ends the list.
int RunUninstallCommands(HWND window, const char* folder, const CommandEntry* commands, int count, RunLog* log);

// Removes every file listed under the product's "installFiles" key (below
// registryRoot), then the installation folder tree where it is empty. 1 when every listed file is
// gone; a name that could reach beyond the folder, would not fit, or leads
// through a folder link is left alone and gives 0.
int RemoveRecordedFiles(HKEY registryRoot, const SetupInfo& info, RunLog* log);

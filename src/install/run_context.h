#pragma once
// The choices of one run that the install and uninstall operations work with.
// The setup driver fills the one instance once the options, the package and
// the rights are known, and hands it down; nothing below the driver keeps it.
#include <windows.h>

#include "package/package_settings.h"
#include "system/run_log.h"

struct RunContext {
    HWND owner;                   // the splash window; kept after the window is gone
    PackageSettings* settings;    // both languages; ActiveSetupInfo picks one at each use
    const char* packageTempFile;  // the work file the cabinet is unpacked from
    int recordInstalledFiles;     // product files go into the list for the uninstaller
    int forceAdmin;
    int forceUser;
    HKEY registryRoot;     // where the product's keys live
    int programsFolderId;  // the Start-menu folder of its shortcuts (CSIDL_...)
    int silent;            // "-Silent": no dialog, question or box
    RunLog* log;           // "-Log": null when the run keeps none
};

#pragma once
// Removes what an installation recorded.
#include <windows.h>

#include "package/package_settings.h"

// 1 when everything was removed; 0 otherwise, also when the user declines.
int RunUninstall(HWND window, SetupInfo& info, int quiet, const char* packagePath);

#pragma once
// Asks running copies of the product, named by window class, to close.
#include <windows.h>

#include "package/package_settings.h"
#include "system/run_log.h"

// Asks about the applications info's checks name, in boxes owned by window.
// 1 when no listed application runs any more, 0 as soon as the user says No.
// A silent run asks nothing: a listed application that runs ends the check
// with 0, as a No would. log may be null.
int CheckRunningApplications(HWND window, const SetupInfo& info, const char* caption, int silent, RunLog* log);

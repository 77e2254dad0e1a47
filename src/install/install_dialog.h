#pragma once
// The install dialog: takes or asks for the folder and unpacks the product there.
#include <windows.h>

// Non-zero when the folder was ready and the extraction succeeded.
int RunInstallDialog(HWND owner, HINSTANCE instance, const char* setDir, int justExec);

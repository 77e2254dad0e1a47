#pragma once
// Asks running copies of the product, named by window class, to close.
#include <windows.h>

// 1 when no listed application runs any more, 0 as soon as the user says No.
int CheckRunningApplications(HWND window, const char* caption);

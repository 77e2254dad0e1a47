#pragma once
// The full-screen splash window that owns every dialog and message box.
#include <windows.h>

ATOM RegisterSplashClass(HINSTANCE instance);

// Creates the window (its procedure stores it in the run's mainWindow), shows
// it hidden in run-only mode and with showCommand otherwise. Returns 1.
int CreateSplashWindow(HINSTANCE instance, int showCommand);

// A packed device-independent bitmap read from a file, or null.
void* LoadSplashDib(const char* path);
void FreeSplashDib(void* dib);

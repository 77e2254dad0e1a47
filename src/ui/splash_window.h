#pragma once
// The full-screen splash window that owns every dialog and message box.
#include <windows.h>

constexpr char kSplashClassName[] = "JovInstLangClass";
constexpr char kSplashCaption[] = "The Installer";

// Registers the window class "JovInstLangClass" with the icon "INSTLANG_ICON"
// of the program's resources. The class atom, 0 on failure.
ATOM RegisterSplashClass(HINSTANCE instance);

// Creates the window over the whole primary screen (its procedure stores it
// in the run's mainWindow), shows it hidden in run-only mode and with
// showCommand otherwise, and paints it at once. Returns 1.
int CreateSplashWindow(HINSTANCE instance, int showCommand);

// Creation, painting, closing and the quit request when the window goes.
LRESULT CALLBACK SplashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A packed device-independent bitmap read from a bitmap file, locked in
// movable global memory, or null when the file is missing, cannot be read in
// full or holds no bitmap that can be drawn.
void* LoadSplashDib(const char* path);

// Releases a DIB from LoadSplashDib; null is ignored.
void FreeSplashDib(void* dib);

#pragma once
// The full-screen splash window that owns every dialog and message box.
#include <windows.h>

#include "package/package_settings.h"

inline constexpr char kSplashClassName[] = "JovInstLangClass";
inline constexpr char kSplashCaption[] = "The Installer";

// Registers the window class "JovInstLangClass" with the icon "INSTLANG_ICON"
// of the program's resources. The class atom, 0 on failure.
ATOM RegisterSplashClass(HINSTANCE instance);

// What the window shows over its gradient once the bitmap step is over
// (ready): the picture when both bitmaps are there, else the texts of the
// interface language. The run owns it; the window reads it at every paint.
struct SplashContent {
    int ready;
    void* bitmap;
    void* mask;
    PackageSettings* settings;
};

// Creates the window over the whole primary screen, shows it hidden when
// hidden is non-zero (run-only mode) and with showCommand otherwise, and
// paints it at once. The window, or null when it could not be made.
HWND CreateSplashWindow(HINSTANCE instance, int showCommand, int hidden, SplashContent& content);

// Creation, painting, closing and the quit request when the window goes.
LRESULT CALLBACK SplashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A packed device-independent bitmap read from a bitmap file, locked in
// movable global memory, or null when the file is missing, cannot be read in
// full or holds no bitmap that can be drawn.
void* LoadSplashDib(const char* path);

// Releases a DIB from LoadSplashDib; null is ignored.
void FreeSplashDib(void* dib);

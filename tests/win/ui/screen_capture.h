#pragma once
// Screenshots of the whole screen through GDI, for checks of what the splash
// window shows, and small bitmap files for its picture and mask.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgb {
    uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

class Screenshot {
public:
    // The primary screen as it is now.
    static Screenshot Capture();
    // A rectangle of the screen (a window's frame, say) at its full size.
    static Screenshot CaptureArea(const RECT& area);

    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb Pixel(int x, int y) const;
    // Pixels of exactly this colour inside the rectangle [left, right) x [top, bottom).
    int CountColour(Rgb colour, int left, int top, int right, int bottom) const;
    // Writes a 24-bit bitmap file; false on failure.
    bool SaveBmp(const std::string& path) const;
    bool operator==(const Screenshot&) const = default;

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;  // top-down rows, 0x00RRGGBB
};

// Captures until the screenshot satisfies the check or the time is up, and
// returns the last one: painting reaches the screen a little after it is done.
Screenshot CaptureWhen(const std::function<bool(const Screenshot&)>& check, DWORD timeoutMs = 5000);

// The client rectangle of a window in screen coordinates.
RECT ClientRectOnScreen(HWND window);

// Writes a bottom-up 24-bit bitmap file of width x height from a pixel function.
bool WriteBitmapFile(const std::string& path, int width, int height, const std::function<Rgb(int x, int y)>& pixel);

// Folder for the screenshots a test keeps (Windows path), created when missing.
std::string ScreenshotFolder();

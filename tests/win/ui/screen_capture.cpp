#include "tests/win/ui/screen_capture.h"

#include "tests/e2e/harness/scenario.h"

#include <algorithm>

namespace {

void Put16(std::string& bytes, uint16_t value)
{
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A bitmap file: file header, 40-byte information header, bottom-up 24-bit rows.
std::string BitmapFileBytes(int width, int height, const std::function<Rgb(int, int)>& pixel)
{
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
    std::string bytes = "BM";
    Put32(bytes, 14 + 40 + imageBytes);
    Put32(bytes, 0);
    Put32(bytes, 14 + 40);
    Put32(bytes, 40);
    Put32(bytes, static_cast<uint32_t>(width));
    Put32(bytes, static_cast<uint32_t>(height));
    Put16(bytes, 1);
    Put16(bytes, 24);
    Put32(bytes, 0);
    Put32(bytes, imageBytes);
    Put32(bytes, 2835);
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    for (int y = height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            row += static_cast<char>(c.blue);
            row += static_cast<char>(c.green);
            row += static_cast<char>(c.red);
        }
        row.resize(rowBytes, '\0');
        bytes += row;
    }
    return bytes;
}

}  // namespace

Screenshot Screenshot::Capture()
{
    return CaptureArea({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
}

Screenshot Screenshot::CaptureArea(const RECT& area)
{
    Screenshot shot;
    shot.width_ = std::max(0L, area.right - area.left);
    shot.height_ = std::max(0L, area.bottom - area.top);
    if (shot.width_ == 0 || shot.height_ == 0)
        return shot;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.width_;
    info.bmiHeader.biHeight = -shot.height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, section);
    BitBlt(memory, 0, 0, shot.width_, shot.height_, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    shot.pixels_.assign(pixels, pixels + static_cast<size_t>(shot.width_) * shot.height_);
    for (uint32_t& p : shot.pixels_)
        p &= 0xFFFFFF;
    SelectObject(memory, previous);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

Rgb Screenshot::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return {0, 0, 0};
    const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
    return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
}

int Screenshot::CountColour(Rgb colour, int left, int top, int right, int bottom) const
{
    int count = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, width_); ++x)
            count += Pixel(x, y) == colour;
    }
    return count;
}

bool Screenshot::SaveBmp(const std::string& path) const
{
    return WriteFileBytes(path, BitmapFileBytes(width_, height_, [this](int x, int y) { return Pixel(x, y); }));
}

Screenshot CaptureWhen(const std::function<bool(const Screenshot&)>& check, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Screenshot shot = Screenshot::Capture();
        if (check(shot) || GetTickCount() - start > timeoutMs)
            return shot;
        Sleep(50);
    }
}

RECT ClientRectOnScreen(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&client, origin.x, origin.y);
    return client;
}

bool WriteBitmapFile(const std::string& path, int width, int height, const std::function<Rgb(int x, int y)>& pixel)
{
    return WriteFileBytes(path, BitmapFileBytes(width, height, pixel));
}

std::string ScreenshotFolder()
{
    std::string folder = "Z:" + std::string(ENGINE_BINARY_DIR) + "/e2e-work";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

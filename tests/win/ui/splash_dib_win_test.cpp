// Loading the splash bitmaps from files into locked global memory.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/win/ui/screen_capture.h"
#include "ui/splash_window.h"

namespace {

std::string FileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Folder()
{
    const std::string folder = ScreenshotFolder() + "\\dibs";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string GoodBitmap()
{
    const std::string path = Folder() + "\\good.bmp";
    WriteBitmapFile(path, 7, 5, [](int x, int y) { return Rgb{uint8_t(x * 30), uint8_t(y * 40), 99}; });
    return FileBytes(path);
}

TEST(LoadSplashDib, ReadsTheFileBehindItsFileHeader)
{
    const std::string path = Folder() + "\\good.bmp";
    const std::string bytes = GoodBitmap();
    void* dib = LoadSplashDib(path.c_str());
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(dib), bytes.size() - 14), bytes.substr(14));
    HGLOBAL handle = GlobalHandle(dib);
    ASSERT_NE(handle, nullptr) << "a block of movable global memory";
    EXPECT_EQ(GlobalFlags(handle) & GMEM_LOCKCOUNT, 1u) << "kept locked while in use";
    EXPECT_GE(GlobalSize(handle), bytes.size() - 14);
    FreeSplashDib(dib);
    FreeSplashDib(nullptr);
}

struct BadFileCase {
    const char* name;
    std::string (*bytes)();
};

const BadFileCase kBadFileCases[] = {
    {"empty", [] { return std::string(); }},
    {"file header only", [] { return GoodBitmap().substr(0, 14); }},
    {"cut in the information header", [] { return GoodBitmap().substr(0, 30); }},
    {"one pixel byte short", [] { return GoodBitmap().substr(0, GoodBitmap().size() - 1); }},
    {"header of 108 bytes",
     [] {
         std::string b = GoodBitmap();
         b[14] = 108;
         return b;
     }},
    {"top-down rows",
     [] {
         std::string b = GoodBitmap();
         b[22] = static_cast<char>(0xFB), b[23] = b[24] = b[25] = static_cast<char>(0xFF);  // height -5
         return b;
     }},
    {"run-length encoded",
     [] {
         std::string b = GoodBitmap();
         b[30] = 1;
         return b;
     }},
};

TEST(LoadSplashDib, MissingOrUndrawableFilesGiveNull)
{
    EXPECT_EQ(LoadSplashDib((Folder() + "\\no-such.bmp").c_str()), nullptr);
    EXPECT_EQ(LoadSplashDib(Folder().c_str()), nullptr) << "a folder is no bitmap";
    for (const BadFileCase& c : kBadFileCases) {
        const std::string path = Folder() + "\\bad.bmp";
        WriteBytes(path, c.bytes());
        EXPECT_EQ(LoadSplashDib(path.c_str()), nullptr) << c.name;
    }
}

}  // namespace

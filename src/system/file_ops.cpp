#include "system/file_ops.h"

namespace {

DWORD PieceSize(DWORD remaining)
{
    return remaining < kFilePieceSize ? remaining : kFilePieceSize;
}

}  // namespace

HANDLE OpenForReading(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file;
}

HANDLE CreateForWriting(const char* path)
{
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int ReadFully(HANDLE file, void* buffer, DWORD count, DWORD* moved)
{
    *moved = 0;
    auto* bytes = static_cast<BYTE*>(buffer);
    while (*moved < count) {
        DWORD piece = PieceSize(count - *moved);
        DWORD done = 0;
        if (!ReadFile(file, bytes + *moved, piece, &done, nullptr))
            return 0;
        *moved += done;
        if (done != piece)
            return 0;
    }
    return 1;
}

int WriteFully(HANDLE file, const void* buffer, DWORD count, DWORD* moved)
{
    *moved = 0;
    const auto* bytes = static_cast<const BYTE*>(buffer);
    while (*moved < count) {
        DWORD piece = PieceSize(count - *moved);
        DWORD done = 0;
        if (!WriteFile(file, bytes + *moved, piece, &done, nullptr))
            return 0;
        *moved += done;
        if (done != piece)
            return 0;
    }
    return 1;
}

int SeekTo(HANDLE file, DWORD position)
{
    if (position >= 0x80000000u)
        return 0;
    return SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

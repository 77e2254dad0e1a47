#include "system/file_ops.h"

namespace {

DWORD PieceSize(DWORD remaining)
{
    return remaining < kFilePieceSize ? remaining : kFilePieceSize;
}

// Moves count bytes through transfer(offset, piece, &done) in pieces of at
// most kFilePieceSize; 1 only when every piece moved completely.
template <typename Transfer>
int MoveInPieces(DWORD count, DWORD* moved, Transfer transfer)
{
    *moved = 0;
    while (*moved < count) {
        const DWORD piece = PieceSize(count - *moved);
        DWORD done = 0;
        if (!transfer(*moved, piece, &done))
            return 0;
        *moved += done;
        if (done != piece)
            return 0;
    }
    return 1;
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
    auto* bytes = static_cast<BYTE*>(buffer);
    return MoveInPieces(count, moved, [&](DWORD at, DWORD piece, DWORD* done) {
        return ReadFile(file, bytes + at, piece, done, nullptr);
    });
}

int WriteFully(HANDLE file, const void* buffer, DWORD count, DWORD* moved)
{
    const auto* bytes = static_cast<const BYTE*>(buffer);
    return MoveInPieces(count, moved, [&](DWORD at, DWORD piece, DWORD* done) {
        return WriteFile(file, bytes + at, piece, done, nullptr);
    });
}

int SeekTo(HANDLE file, DWORD position)
{
    if (position >= 0x80000000u)
        return 0;
    return SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

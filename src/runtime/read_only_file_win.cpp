#include "runtime/read_only_file.h"

#include <windows.h>

// Others may read and write the file meanwhile, as with the C runtime's files.
ReadOnlyFile::ReadOnlyFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    file_ = file == INVALID_HANDLE_VALUE ? nullptr : file;
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (file_ != nullptr)
        CloseHandle(file_);
}

size_t ReadOnlyFile::Read(void* buffer, size_t size)
{
    DWORD got = 0;
    if (file_ == nullptr || !ReadFile(file_, buffer, static_cast<DWORD>(size), &got, nullptr))
        return 0;
    return got;
}

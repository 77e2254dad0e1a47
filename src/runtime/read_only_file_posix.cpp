#include "runtime/read_only_file.h"

#include <cstdio>

ReadOnlyFile::ReadOnlyFile(const char* path) : file_(fopen(path, "rb")) {}

ReadOnlyFile::~ReadOnlyFile()
{
    if (file_ != nullptr)
        fclose(static_cast<FILE*>(file_));
}

size_t ReadOnlyFile::Read(void* buffer, size_t size)
{
    return file_ != nullptr ? fread(buffer, 1, size, static_cast<FILE*>(file_)) : 0;
}

#pragma once
// A file read front to back, for the portable code that reads files: the C
// library's files on the host, the system's own on Windows, where the engine
// links no C runtime.
#include <cstddef>

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const char* path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Reads up to size bytes; 0 at the end of the file or on a failure.
    size_t Read(void* buffer, size_t size);

private:
    void* file_;
};

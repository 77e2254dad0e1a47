#include "uninstall/file_removal.h"

#include <windows.h>

#include "text/bounded_text.h"
#include "text/path_size.h"
#include "text/text_scan.h"

namespace {

constexpr size_t kCurrentFolderSize = 2048;  // 2047 bytes and a terminator
constexpr DWORD kReparsePoint = 0x400;       // FILE_ATTRIBUTE_REPARSE_POINT

// Ends a file search on every way out.
class FileSearch {
public:
    FileSearch(const char* pattern, WIN32_FIND_DATAA& entry) : handle_(FindFirstFileA(pattern, &entry)) {}
    ~FileSearch()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;
    bool started() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& entry) { return FindNextFileA(handle_, &entry) != 0; }

private:
    HANDLE handle_;
};

bool IsDotEntry(const char* name)
{
    return lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0;
}

// Read-only and hidden go, so that the entry can be deleted; the other bits stay.
void ClearReadOnlyAndHidden(const char* path, DWORD attributes)
{
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
        SetFileAttributesA(path, attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
}

bool IsFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(DWORD attributes)
{
    return (attributes & kReparsePoint) != 0;
}

// Runs remove on every entry of the folder but "." and "..", and returns how
// many of those calls gave 0. An entry whose path would not fit counts as one
// that stayed and is not touched. A search that cannot start visits nothing.
int RemoveEachEntry(const char* folder, int (*remove)(const char*))
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "*.*"))
        return 1;
    WIN32_FIND_DATAA entry;
    FileSearch search(pattern, entry);
    if (!search.started())
        return 0;
    int failures = 0;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        char path[kPathSize];
        if (!JoinPath(path, folder, entry.cFileName) || !remove(path))
            ++failures;
    } while (search.Next(entry));
    return failures;
}

}  // namespace

int RemovePath(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 1;
    ClearReadOnlyAndHidden(path, attributes);
    if (!IsFolder(attributes))
        return DeleteFileA(path) ? 1 : 0;
    int result = 1;
    if (!IsLink(attributes) && RemoveEachEntry(path, RemovePath) > 0)
        result = 0;
    return RemoveFolder(path) ? result : 0;
}

int RemoveEmptyFolderTree(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 1;
    ClearReadOnlyAndHidden(path, attributes);
    if (!IsFolder(attributes))
        return 0;
    if (!IsLink(attributes) && RemoveEachEntry(path, RemoveEmptyFolderTree) > 0)
        return 0;
    return RemoveFolder(path);
}

int RemoveFolder(const char* path)
{
    StepOutOfFolder(path);
    return RemoveDirectoryA(path) ? 1 : 0;
}

void StepOutOfFolder(const char* path)
{
    char saved[kCurrentFolderSize];
    char inside[kCurrentFolderSize];
    const DWORD savedLength = GetCurrentDirectoryA(sizeof saved, saved);
    if (savedLength == 0 || savedLength >= sizeof saved)
        return;
    if (!SetCurrentDirectoryA(path))
        return;
    const DWORD insideLength = GetCurrentDirectoryA(sizeof inside, inside);
    SetCurrentDirectoryA(saved);
    if (insideLength == 0 || insideLength >= sizeof inside || lstrcmpiA(saved, inside) != 0)
        return;
    CutLastComponent(saved);
    SetCurrentDirectoryA(saved);
}

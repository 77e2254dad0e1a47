#include "package/extract_paths.h"

#include <cstring>

#include "text/text_scan.h"

namespace {

// Index of the first backslash at or after from, or -1.
int NextBackslash(const char* text, int from)
{
    const int length = static_cast<int>(strlen(text));
    if (from > length)
        return -1;
    const int found = FindByte(text + from, length - from, '\\', 1);
    return found < 0 ? -1 : from + found;
}

// Length of the root of folder: the bytes that name no folder to be made.
size_t RootLength(const char* folder)
{
    const int first = NextBackslash(folder, 0);
    if (first == 2)
        return 3;
    if (first != 0)
        return 0;
    if (folder[1] != '\\')
        return 1;
    // Two backslashes, a server name, a backslash, a share name, a backslash;
    // anything short of that is all root, with nothing below it to make.
    const size_t whole = strlen(folder);
    const int serverEnd = NextBackslash(folder, 2);
    if (serverEnd <= 2)
        return whole;
    const int shareEnd = NextBackslash(folder, serverEnd + 1);
    return shareEnd > serverEnd + 1 ? static_cast<size_t>(shareEnd) + 1 : whole;
}

bool CopyPart(char* out, size_t size, const char* from, size_t length)
{
    if (length >= size)
        return false;
    memcpy(out, from, length);
    out[length] = '\0';
    return true;
}

bool SplitAt(const char* text, size_t at, char* head, size_t headSize, char* tail, size_t tailSize)
{
    const size_t length = strlen(text);
    if (CopyPart(head, headSize, text, at) && CopyPart(tail, tailSize, text + at, length - at))
        return true;
    if (headSize > 0)
        head[0] = '\0';
    if (tailSize > 0)
        tail[0] = '\0';
    return false;
}

}  // namespace

bool SplitInstallFolder(const char* folder, char* root, size_t rootSize, char* rest, size_t restSize)
{
    return SplitAt(folder, RootLength(folder), root, rootSize, rest, restSize);
}

bool SplitFilePath(const char* path, char* folder, size_t folderSize, char* name, size_t nameSize)
{
    const int last = FindByte(path, static_cast<int>(strlen(path)), '\\', 0);
    return SplitAt(path, static_cast<size_t>(last + 1), folder, folderSize, name, nameSize);
}

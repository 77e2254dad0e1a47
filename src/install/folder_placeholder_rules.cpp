#include "install/folder_placeholder_rules.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/path_size.h"
#include "text/text_scan.h"

namespace {

// Tested in this order; "%ProgramFilesOrUser%" differs from "%ProgramFiles%"
// in its fourteenth byte, so the order only has to be fixed, not clever.
constexpr struct {
    const char* text;
    FolderPlaceholder placeholder;
} kPlaceholders[] = {
    {kProgramFilesPlaceholder, FolderPlaceholder::ProgramFiles},
    {kProgramFilesOrUserPlaceholder, FolderPlaceholder::ProgramFilesOrUser},
    {kUserTmpPlaceholder, FolderPlaceholder::UserTmp},
};

constexpr char kProgramFilesName[] = "Program Files";
constexpr char kUserTempName[] = "tteemmpp";

// Keeps the text of folder up to and including its last backslash; a text
// without one is kept whole.
void CutAfterLastBackslash(char* folder)
{
    const int last = FindByte(folder, static_cast<int>(strlen(folder)), '\\', 0);
    if (last >= 0)
        folder[last + 1] = '\0';
}

bool JoinBeside(char* out, size_t size, const char* folder, const char* name)
{
    char parent[kPathSize];
    if (!CopyText(parent, folder)) {
        if (size > 0)
            out[0] = '\0';
        return false;
    }
    CutAfterLastBackslash(parent);
    return JoinPath(out, size, parent, name);
}

bool IsTempName(const char* component, size_t length)
{
    char name[5];
    if (length != 3 && length != 4)
        return false;
    memcpy(name, component, length);
    name[length] = '\0';
    return EqualsIgnoringAsciiCase(name, "temp") || EqualsIgnoringAsciiCase(name, "tmp");
}

}  // namespace

FolderPlaceholder MatchFolderPlaceholder(const char* folder, size_t* length)
{
    for (const auto& entry : kPlaceholders) {
        const size_t n = strlen(entry.text);
        if (strncmp(folder, entry.text, n) == 0) {
            *length = n;
            return entry.placeholder;
        }
    }
    *length = 0;
    return FolderPlaceholder::None;
}

bool ProgramFilesOrUserIsMachineWide(bool forceAdmin, bool forceUser, bool (*isAdmin)())
{
    if (forceAdmin)
        return true;
    if (forceUser)
        return false;
    return isAdmin();
}

bool ReplacePlaceholder(char* folder, size_t size, size_t placeholderLength, const char* expansion)
{
    const char* rest = folder + placeholderLength;
    if (*rest == '\\')
        ++rest;
    char joined[kPathSize];
    if (!JoinPath(joined, expansion, rest))
        return false;
    const size_t length = strlen(joined);
    if (length >= size)
        return false;
    memcpy(folder, joined, length + 1);
    return true;
}

bool TrimShellFolderValue(char* value)
{
    const char* start = value;
    while (*start == ' ')
        ++start;
    int end = static_cast<int>(strlen(start));
    while (end > 0 && FindByte(start, end, ' ', 0) == end - 1)
        --end;
    memmove(value, start, static_cast<size_t>(end));
    value[end] = '\0';
    return end > 0;
}

bool ProgramFilesBesideWindows(char* out, size_t size, const char* windowsFolder)
{
    return JoinBeside(out, size, windowsFolder, kProgramFilesName);
}

bool UserTempBaseBeside(char* out, size_t size, const char* installerTempFolder)
{
    if (installerTempFolder[0] == '\0') {
        if (size > 0)
            out[0] = '\0';
        return false;
    }
    return JoinBeside(out, size, installerTempFolder, kUserTempName);
}

int RewriteTempComponents(char* path, size_t size, const char* userName, void (*createFolder)(const char* path))
{
    // The components that are examined, from the last one backwards: each
    // behind a backslash that stands at index 4 or later, as long as what
    // remains before it is longer than 3 bytes.
    int starts[kPathSize];
    int examined = 0;
    int remaining = static_cast<int>(strlen(path));
    while (remaining > 3 && examined < static_cast<int>(kPathSize)) {
        const int slash = FindByte(path, remaining, '\\', 0);
        if (slash <= 3)
            break;
        starts[examined++] = slash;
        remaining = slash;
    }

    char replacement[kUserNameSize + 8];
    memcpy(replacement, kUserTempName, sizeof kUserTempName);
    if (!AppendText(replacement, userName))
        return 0;

    // Build the result, remembering where each examined component ends.
    char result[kUserNameSize * 2];
    int ends[kPathSize];
    int firstRewritten = -1;
    memcpy(result, path, static_cast<size_t>(remaining));
    size_t length = static_cast<size_t>(remaining);
    const size_t pathLength = strlen(path);
    for (int k = examined - 1; k >= 0; --k) {
        const size_t from = static_cast<size_t>(starts[k]) + 1;
        const size_t to = k > 0 ? static_cast<size_t>(starts[k - 1]) : pathLength;
        const bool rewrite = IsTempName(path + from, to - from);
        const char* text = rewrite ? replacement : path + from;
        const size_t textLength = rewrite ? strlen(replacement) : to - from;
        if (length + 1 + textLength >= sizeof result)
            return 0;
        result[length++] = '\\';
        memcpy(result + length, text, textLength);
        length += textLength;
        ends[k] = static_cast<int>(length);
        if (rewrite && firstRewritten < 0)
            firstRewritten = k;
    }
    if (firstRewritten < 0 || length >= size)
        return 0;
    result[length] = '\0';
    for (int k = firstRewritten; k >= 0; --k) {
        char folder[sizeof result];
        memcpy(folder, result, static_cast<size_t>(ends[k]));
        folder[ends[k]] = '\0';
        createFolder(folder);
    }
    memcpy(path, result, length + 1);
    return 1;
}

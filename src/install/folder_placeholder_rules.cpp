#include "install/folder_placeholder_rules.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

// Tested in this order; "%ProgramFilesOrUser%" differs from "%ProgramFiles%"
// in its fourteenth byte, so the order only has to be fixed, not clever.
constexpr struct {
    const char* text;
    FolderPlaceholder placeholder;
} kPlaceholders[] = {
    {"%ProgramFiles%", FolderPlaceholder::ProgramFiles},
    {"%ProgramFilesOrUser%", FolderPlaceholder::ProgramFilesOrUser},
    {"%UserTmp%", FolderPlaceholder::UserTmp},
};

constexpr char kProgramFilesName[] = "Program Files";
constexpr char kUserTempName[] = "tteemmpp";
constexpr size_t kWorkSize = 512;

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
    char parent[kWorkSize];
    if (!CopyText(parent, folder)) {
        if (size > 0)
            out[0] = '\0';
        return false;
    }
    CutAfterLastBackslash(parent);
    return JoinPath(out, size, parent, name);
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
    char joined[kWorkSize];
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

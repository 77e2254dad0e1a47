#include "uninstall/uninstall_rules.h"

#include <cstring>

#include "package/extract_member_names.h"
#include "text/text_scan.h"

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length without one trailing backslash (a trail byte 0x5C is no backslash).
size_t LengthWithoutTrailingSeparator(const char* folder)
{
    const size_t length = strlen(folder);
    if (length == 0)
        return 0;
    const int last = FindByte(folder, static_cast<int>(length), '\\', 0);
    return last == static_cast<int>(length) - 1 ? length - 1 : length;
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "\\server\share": at most one separator after the server's name, a
// trailing one not counted.
bool IsNetworkShareRoot(const char* folder, size_t length)
{
    if (IsSeparator(folder[length - 1]))
        --length;
    int separators = 0;
    for (size_t i = 2; i < length; ++i) {
        if (IsDoubleBytePair(folder + i)) {
            ++i;
            continue;
        }
        if (IsSeparator(folder[i]))
            ++separators;
    }
    return separators <= 1;
}

}  // namespace

bool RecordedFilePath(char* out, size_t size, const char* installFolder, const char* recordedName)
{
    return MemberTargetPath(out, size, installFolder, recordedName);
}

bool IsRootFolder(const char* folder)
{
    const size_t length = strlen(folder);
    if (length == 0)
        return true;
    if (IsDriveLetter(folder[0]) && length >= 2 && folder[1] == ':')
        return length == 2 || (length == 3 && IsSeparator(folder[2]));
    if (length >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1]))
        return IsNetworkShareRoot(folder, length);
    if (IsSeparator(folder[0]))
        return length == 1;
    return false;
}

bool IsSameFolder(const char* a, const char* b)
{
    const size_t length = LengthWithoutTrailingSeparator(a);
    if (length != LengthWithoutTrailingSeparator(b))
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (IsDoubleBytePair(a + i) || IsDoubleBytePair(b + i)) {
            if (i + 1 >= length || a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsProtectedInstallFolder(const char* folder, const char* const* systemFolders, size_t count)
{
    if (IsRootFolder(folder))
        return true;
    for (size_t i = 0; i < count; ++i) {
        if (systemFolders[i][0] != '\0' && IsSameFolder(folder, systemFolders[i]))
            return true;
    }
    return false;
}

const char* UninstallQuestionText(bool japanese)
{
    return japanese ? "\x83"
                      "A\x83\x93\x83"
                      "C\x83\x93\x83X\x83g\x81\x5B\x83\x8B\x82\xF0\x8A"
                      "J\x8E"
                      "n\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81H"
                    : "Do you want to Uninstall ?";
}

const char* UninstalledProperlyText(bool japanese)
{
    return japanese ? "\x90\xB3\x82\xB5\x82\xAD\x83"
                      "A\x83\x93\x83"
                      "C\x83\x93\x83X\x83g\x81\x5B\x83\x8B\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81"
                      "B"
                    : "Uninstalled properly.";
}

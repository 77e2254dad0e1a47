#include "package/extract_member_names.h"

#include <cstring>

#include "package/package_format.h"
#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

constexpr const char* kSplashMembers[] = {kSplashPictureMember, kSplashMaskMember};

// Names that Windows opens as devices in every folder, with any extension:
// one after the other, each ended by its NUL, the list by an empty name.
constexpr char kDeviceNames[] = "CON\0PRN\0AUX\0NUL\0"
                                "COM1\0COM2\0COM3\0COM4\0COM5\0COM6\0COM7\0COM8\0COM9\0"
                                "LPT1\0LPT2\0LPT3\0LPT4\0LPT5\0LPT6\0LPT7\0LPT8\0LPT9\0"
                                "CONIN$\0CONOUT$\0CLOCK$\0";

constexpr size_t kLongestDeviceName = 7;

template <size_t N>
bool IsOneOf(const char* const (&names)[N], const char* name)
{
    for (const char* candidate : names) {
        if (EqualsIgnoringAsciiCase(candidate, name))
            return true;
    }
    return false;
}

bool IsInNameList(const char* list, const char* name)
{
    for (; *list != '\0'; list += strlen(list) + 1) {
        if (EqualsIgnoringAsciiCase(list, name))
            return true;
    }
    return false;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsControlByte(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Windows drops trailing dots and spaces from a component, so ".. " is "..".
bool IsDotsAndSpacesOnly(const char* component, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (component[i] != '.' && component[i] != ' ')
            return false;
    }
    return true;
}

// The part before the first dot, trailing spaces dropped, names a device.
bool IsDeviceName(const char* component, size_t length)
{
    size_t base = 0;
    while (base < length && component[base] != '.')
        ++base;
    while (base > 0 && component[base - 1] == ' ')
        --base;
    if (base == 0 || base > kLongestDeviceName)
        return false;
    char text[kLongestDeviceName + 1];
    memcpy(text, component, base);
    text[base] = '\0';
    return IsInNameList(kDeviceNames, text);
}

bool IsSafeComponent(const char* component, size_t length)
{
    return length > 0 && !IsDotsAndSpacesOnly(component, length) && !IsDeviceName(component, length);
}

}  // namespace

bool IsInstallerMember(const char* name)
{
    return IsOneOf(kInstallerMembers, name);
}

bool IsSplashMember(const char* name)
{
    return IsOneOf(kSplashMembers, name);
}

bool IsSafeMemberName(const char* name)
{
    if (name[0] == '\0' || IsSeparator(name[0]))
        return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (IsDoubleBytePair(p)) {
            ++p;
            continue;
        }
        if (*p == '\0' || IsSeparator(*p)) {
            if (!IsSafeComponent(component, static_cast<size_t>(p - component)))
                return false;
            if (*p == '\0')
                return true;
            component = p + 1;
        } else if (*p == ':' || IsControlByte(*p)) {
            return false;
        }
    }
}

bool MemberTargetPath(char* target, size_t size, const char* destinationFolder, const char* name)
{
    if (!IsSafeMemberName(name)) {
        if (size > 0)
            target[0] = '\0';
        return false;
    }
    return JoinPath(target, size, destinationFolder, name);
}

int MemberFolderEnd(const char* name)
{
    const int last = FindByte(name, static_cast<int>(strlen(name)), '\\', 0);
    return last > 0 ? last : -1;
}

#include "tools/cabtool/member_name.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <sys/stat.h>
#endif

#include "package/extract_member_names.h"
#include "text/text_scan.h"

namespace {

constexpr char kRefusedName[] =
    "the installer refuses this name (absolute, a drive, '..' or an empty part, a device name such as CON, "
    "':' or a control byte)";

std::string Hex(unsigned char byte)
{
    char text[8];
    snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';

unsigned gNameCodePage = 1252;

// The converter's name of a code page: "CP037", "CP932", "CP1252".
std::string IconvName(unsigned codePage)
{
    char name[16];
    snprintf(name, sizeof name, "CP%03u", codePage);
    return name;
}

// The name in UTF-8; false when its bytes are no text of the code page.
bool ToUtf8(const char* raw, std::string& utf8)
{
    iconv_t converter = iconv_open("UTF-8", IconvName(gNameCodePage).c_str());
    if (converter == iconv_t(-1)) {
        return false;
    }
    std::string in = raw;
    std::string out(in.size() * 4 + 4, '\0');
    char* from = in.data();
    size_t fromLeft = in.size();
    char* to = out.data();
    size_t toLeft = out.size();
    const size_t result = iconv(converter, &from, &fromLeft, &to, &toLeft);
    iconv_close(converter);
    if (result == size_t(-1) || fromLeft != 0) {
        return false;
    }
    out.resize(out.size() - toLeft);
    utf8 = out;
    return true;
}

constexpr size_t kLongestLocalName = 255;

size_t LongestPart(const std::string& local)
{
    size_t longest = 0;
    size_t start = 0;
    for (size_t end; start <= local.size(); start = end + 1) {
        end = local.find('/', start);
        if (end == std::string::npos) {
            end = local.size();
        }
        longest = std::max(longest, end - start);
    }
    return longest;
}

// Every byte from 0x80 on as \xNN: for names that are no text of the code page.
std::string EscapedBytes(const std::string& raw)
{
    std::string shown;
    for (char c : raw) {
        const unsigned char byte = static_cast<unsigned char>(c);
        shown += byte >= 0x80 ? Hex(byte) : std::string(1, c);
    }
    return EscapedText(shown);
}
#endif

std::string Replaced(std::string text, char from, char to)
{
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
    return text;
}

bool MakeFolder(const std::string& path)
{
#ifdef _WIN32
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        return true;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    if (mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    struct stat status;
    return errno == EEXIST && lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

}  // namespace

bool UseNameCodePage(unsigned codePage)
{
#ifdef _WIN32
    UseCodePage(codePage);
    return true;
#else
    iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (converter == iconv_t(-1)) {
        return false;
    }
    iconv_close(converter);
    gNameCodePage = codePage;
    UseCodePage(codePage);
    return true;
#endif
}

unsigned ArgumentCodePage()
{
#ifdef _WIN32
    return GetACP();
#else
    return 65001;
#endif
}

std::string EscapedText(const std::string& text)
{
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            shown += Hex(byte);
#ifndef _WIN32
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {  // U+0080 to U+009F in UTF-8
            shown += Hex(byte) + Hex(static_cast<unsigned char>(text[i + 1]));
            ++i;
#endif
        } else {
            shown += text[i];
        }
    }
    return shown;
}

LocalMemberName DecodeMemberName(const char* raw)
{
    LocalMemberName name;
    if (!IsSafeMemberName(raw)) {
        name.refusal = kRefusedName;
    }
#ifdef _WIN32
    name.shown = EscapedText(raw);
    name.local = Replaced(raw, '/', '\\');  // '/' is never a trail byte
    name.key = name.local;
#else
    std::string utf8;
    if (!ToUtf8(raw, utf8)) {
        name.shown = EscapedBytes(raw);
        name.key = Replaced(raw, '/', '\\');
        if (name.refusal.empty()) {
            name.refusal = "the name is no text of code page " + std::to_string(gNameCodePage) + " (see --codepage)";
        }
        return name;
    }
    name.shown = EscapedText(utf8);
    name.key = Replaced(utf8, '/', '\\');
    name.local = Replaced(utf8, '\\', '/');
    if (name.refusal.empty() && LongestPart(name.local) > kLongestLocalName) {
        name.refusal = "a part of the name is longer in UTF-8 than the " + std::to_string(kLongestLocalName) +
                       " bytes a Linux file name holds";
    }
#endif
    return name;
}

std::string MemberKey(std::string argument)
{
    return Replaced(argument, '/', '\\');
}

std::string CabinetFileNamePart(const char* name)
{
    size_t start = 0;
    for (size_t i = 0; name[i] != '\0'; ++i) {
        if (IsDoubleBytePair(name + i)) {
            ++i;
        } else if (name[i] == '\\' || name[i] == '/' || name[i] == ':') {
            start = i + 1;
        }
    }
    return name + start;
}

bool MakeMemberFolders(const std::string& destination, const std::string& local, std::string& failed)
{
    for (size_t i = 0; i < local.size(); ++i) {
#ifdef _WIN32
        if (IsDoubleBytePair(local.c_str() + i)) {
            ++i;
            continue;
        }
#endif
        if (local[i] == kSeparator && !MakeFolder(JoinLocal(destination, local.substr(0, i)))) {
            failed = JoinLocal(destination, local.substr(0, i));
            return false;
        }
    }
    return true;
}

std::string JoinLocal(const std::string& destination, const std::string& local)
{
    if (destination.empty()) {
        return local;
    }
    const char last = destination.back();
    return last == '/' || last == kSeparator ? destination + local : destination + kSeparator + local;
}

#include "install/registration_rules.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

// 正しくインストールしました。
constexpr char kInstalledProperlyJapanese[] = "\x90\xB3\x82\xB5\x82\xAD\x83"
                                              "C\x83\x93\x83X\x83g\x81[\x83\x8B\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81"
                                              "B";

bool OnlyDotsAndBlanks(const char* name)
{
    for (; *name != '\0'; ++name) {
        if (*name != '.' && *name != ' ')
            return false;
    }
    return true;
}

// Joins the pieces one after another into out; all or nothing.
bool Compose(char* out, size_t size, const char* const* pieces, size_t count)
{
    if (size == 0)
        return false;
    out[0] = '\0';
    for (size_t i = 0; i < count; ++i) {
        if (!AppendText(out, size, pieces[i])) {
            out[0] = '\0';
            return false;
        }
    }
    return true;
}

template <size_t N>
bool Compose(char* out, size_t size, const char* const (&pieces)[N])
{
    return Compose(out, size, pieces, N);
}

}  // namespace

bool IsOneFolderName(const char* name)
{
    const int length = static_cast<int>(strlen(name));
    if (length == 0 || OnlyDotsAndBlanks(name))
        return false;
    static constexpr char kSeparators[] = {'\\', '/', ':'};
    for (char separator : kSeparators) {
        if (FindByte(name, length, separator, 1) >= 0)
            return false;
    }
    return true;
}

bool FormatProductKeyPath(char* out, size_t size, const char* productName)
{
    return Compose(out, size, {kUninstallKeyPath, "\\", productName});
}

bool FormatInstalledFilesKeyPath(char* out, size_t size, const char* productName)
{
    return Compose(out, size, {kUninstallKeyPath, "\\", productName, "\\", kInstalledFilesKeyName});
}

bool FormatUninstallerPath(char* out, size_t size, const char* installFolder)
{
    return Compose(out, size, {installFolder, "\\", kUninstallerFileName});
}

bool FormatUninstallCommand(char* out, size_t size, const char* uninstallerPath, bool forceAdmin, bool forceUser)
{
    return Compose(
        out, size,
        {"\"", uninstallerPath, "\" -u", forceAdmin ? " \"-ForceAdmin\"" : "", forceUser ? " \"-ForceUser\"" : ""});
}

bool FormatQuietUninstallCommand(char* out, size_t size, const char* uninstallerPath, bool forceAdmin, bool forceUser)
{
    if (FormatUninstallCommand(out, size, uninstallerPath, forceAdmin, forceUser) && AppendText(out, size, " -Silent"))
        return true;
    if (size != 0)
        out[0] = '\0';
    return false;
}

void FormatFileValueName(char (&out)[kFileValueNameSize], uint32_t number)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count < 5)
        digits[count++] = '0';
    memcpy(out, "file", 4);
    for (int i = 0; i < count; ++i)
        out[4 + i] = digits[count - 1 - i];
    out[4 + count] = '\0';
}

uint32_t EstimatedSizeKiB(uint32_t bytes)
{
    return bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
}

const char* InstalledProperlyText(bool japanese)
{
    return japanese ? kInstalledProperlyJapanese : "Installed properly.";
}

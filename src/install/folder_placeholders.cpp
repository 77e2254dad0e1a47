#include "install/folder_placeholders.h"

#include "env/privileges.h"
#include "install/folder_placeholder_rules.h"
#include "package/package_loader.h"
#include "system/owned_handle.h"
#include "text/bounded_text.h"
#include "text/path_size.h"

namespace {

constexpr DWORD kValueSize = 512;
constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool IsAdministrator()
{
    return IsUserAdmin() != 0;
}

// The expansion of the placeholder into out (512 bytes); false when there
// is none to be had, so that the placeholder stays.
bool ExpandPlaceholder(FolderPlaceholder placeholder, int forceAdmin, int forceUser, char* out)
{
    switch (placeholder) {
    case FolderPlaceholder::ProgramFiles: GetProgramFilesFolder(out); return true;
    case FolderPlaceholder::ProgramFilesOrUser:
        if (ProgramFilesOrUserIsMachineWide(forceAdmin != 0, forceUser != 0, IsAdministrator))
            GetProgramFilesFolder(out);
        else
            GetUserAppDataFolder(out);
        return true;
    case FolderPlaceholder::UserTmp: GetUserTempBase(out); return out[0] != '\0';
    case FolderPlaceholder::None: break;
    }
    return false;
}

}  // namespace

void ExpandInstallFolder(char* folder, int forceAdmin, int forceUser)
{
    if (folder[0] == '\0')
        return;
    size_t length = 0;
    const FolderPlaceholder placeholder = MatchFolderPlaceholder(folder, &length);
    char expansion[kPathSize];
    if (placeholder != FolderPlaceholder::None && ExpandPlaceholder(placeholder, forceAdmin, forceUser, expansion))
        ReplacePlaceholder(folder, kPathSize, length, expansion);
    RewriteTempFolders(folder);
}

void GetProgramFilesFolder(char* out)
{
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProgramFilesDir", out))
        return;
    char windowsFolder[kPathSize];
    const UINT length = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    if (length == 0 || length >= sizeof windowsFolder)
        windowsFolder[0] = '\0';
    ProgramFilesBesideWindows(out, kPathSize, windowsFolder);
}

void GetUserAppDataFolder(char* out)
{
    out[0] = '\0';
    if (ReadRegistryString(HKEY_CURRENT_USER, kShellFoldersKey, "AppData", out))
        TrimShellFolderValue(out);
}

void GetUserTempBase(char* out)
{
    char tempFolder[kPathSize];
    GetInstallerTempFolder(sizeof tempFolder, tempFolder);  // empty on failure
    UserTempBaseBeside(out, kPathSize, tempFolder);
}

int ReadRegistryString(HKEY root, const char* keyPath, const char* valueName, char* out)
{
    out[0] = '\0';
    RegKey key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return 0;
    DWORD size = kValueSize;
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size) !=
        ERROR_SUCCESS) {
        out[0] = '\0';
        return 0;
    }
    // A value stored without its terminator gets one, if there is room.
    if (size > 0 && out[size - 1] == '\0')
        return 1;
    if (size < kValueSize) {
        out[size] = '\0';
        return 1;
    }
    out[0] = '\0';
    return 0;
}

int ReadShellFolder(HKEY root, const char* valueName, char* out)
{
    if (!ReadRegistryString(root, kShellFoldersKey, valueName, out) || out[0] == '\0')
        return 0;
    return TrimShellFolderValue(out) ? 1 : 0;
}

void QueryUserName(char (&name)[kUserNameSize])
{
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size) || name[0] == '\0')
        CopyText(name, "user");
}

void CreateFolderIgnoringFailure(const char* path)
{
    CreateDirectoryA(path, nullptr);
}

void RewriteTempFolders(char* path)
{
    char userName[kUserNameSize];
    QueryUserName(userName);
    RewriteTempComponents(path, kPathSize, userName, CreateFolderIgnoringFailure);
}

#include "uninstall/uninstaller.h"

#include "install/current_folder.h"
#include "install/launch.h"
#include "install/registration.h"
#include "install/registration_rules.h"
#include "setup/run_decisions.h"
#include "setup/setup_state.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "text/text_scan.h"
#include "uninstall/file_removal.h"
#include "uninstall/registry_removal.h"
#include "uninstall/registry_tree.h"
#include "uninstall/uninstall_rules.h"

namespace {

constexpr size_t kFolderSize = 512;
constexpr int kProgramFilesFolderId = 0x26;  // CSIDL_PROGRAM_FILES
constexpr int kProfileFolderId = 0x28;       // CSIDL_PROFILE
constexpr DWORD kReparsePoint = 0x400;       // FILE_ATTRIBUTE_REPARSE_POINT

// Closes the key on every way out.
class RegKey {
public:
    RegKey() = default;
    ~RegKey()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool AskToUninstall(HWND window, const SetupInfo& info)
{
    MessageBeep(MB_ICONHAND);
    return MessageBoxA(window, UninstallQuestionText(IsJapaneseUi()), info.productName, MB_YESNO) == IDYES;
}

void ShowUninstalled(HWND window, const SetupInfo& info)
{
    MessageBeep(MB_ICONHAND);
    MessageBoxA(window, UninstalledProperlyText(IsJapaneseUi()), info.productName, MB_OK);
}

// The installation folder: the folder that holds the uninstaller, as a full
// path. False when it would not fit.
bool TakeInstallFolder(SetupInfo& info, const char* packagePath)
{
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(packagePath, sizeof info.installFolder, info.installFolder, &name);
    if (length == 0 || length >= sizeof info.installFolder) {
        info.installFolder[0] = '\0';
        return false;
    }
    CutLastComponent(info.installFolder);
    return true;
}

// A system folder into out, or empty when the system names none that fits.
void SystemFolder(UINT(WINAPI* query)(LPSTR, UINT), char (&out)[kFolderSize])
{
    const UINT length = query(out, sizeof out);
    if (length == 0 || length >= sizeof out)
        out[0] = '\0';
}

// Folders that an uninstaller placed there by mistake must not empty: both
// Programs folders, Program Files, the user's profile and the folder of the
// profiles, the Windows and system folders. One the system does not name is
// left empty and skipped.
bool IsSystemOwnFolder(const char* folder)
{
    enum { kUserPrograms, kCommonPrograms, kProgramFiles, kProfile, kProfiles, kWindows, kSystem, kCount };
    static char folders[kCount][kFolderSize];
    GetSpecialFolderPath(kUserProgramsFolderId, folders[kUserPrograms], kFolderSize);
    GetSpecialFolderPath(kCommonProgramsFolderId, folders[kCommonPrograms], kFolderSize);
    GetSpecialFolderPath(kProgramFilesFolderId, folders[kProgramFiles], kFolderSize);
    GetSpecialFolderPath(kProfileFolderId, folders[kProfile], kFolderSize);
    CopyText(folders[kProfiles], folders[kProfile]);
    if (folders[kProfiles][0] != '\0')
        CutLastComponent(folders[kProfiles]);
    SystemFolder(GetWindowsDirectoryA, folders[kWindows]);
    SystemFolder(GetSystemDirectoryA, folders[kSystem]);
    const char* list[kCount];
    for (int i = 0; i < kCount; ++i)
        list[i] = folders[i];
    return IsProtectedInstallFolder(folder, list, kCount);
}

// True when a folder on the way from the installation folder to the recorded
// file is a link (a reparse point): the file behind it is not the product's.
bool PassesThroughLink(char* path, size_t folderLength)
{
    for (size_t i = folderLength + 1; path[i] != '\0'; ++i) {
        if (IsDoubleBytePair(path + i)) {
            ++i;
            continue;
        }
        if (path[i] != '\\' && path[i] != '/')
            continue;
        const char separator = path[i];
        path[i] = '\0';
        const DWORD attributes = GetFileAttributesA(path);
        path[i] = separator;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kReparsePoint) != 0)
            return true;
    }
    return false;
}

// One value of the installed-file list: REG_SZ data that names a file
// inside the installation folder. Anything else is left alone and fails.
int RemoveRecordedFile(const SetupInfo& info, DWORD type, char* data, DWORD dataLength)
{
    if (type != REG_SZ || dataLength == 0 || dataLength > kRegistryNameSize)
        return 0;
    data[dataLength] = '\0';
    char path[kFolderSize];
    if (!RecordedFilePath(path, sizeof path, info.installFolder, data) ||
        PassesThroughLink(path, strlen(info.installFolder)))
        return 0;
    return RemovePath(path);
}

// The Start-menu folder of the product; an unknown Programs folder is a
// failure, never a folder at the root of the drive.
int RemoveStartMenuFolder(const SetupInfo& info)
{
    char folder[kFolderSize];
    if (!GetProductProgramsFolder(folder, sizeof folder, info))
        return 0;
    return RemovePath(folder);
}

}  // namespace

int RunUninstallCommands(HWND window, const char* folder, const CommandEntry* commands, int count)
{
    int result = 1;
    for (int i = 0; i < count; ++i) {
        const CommandEntry& entry = commands[i];
        if (entry.commandLine == nullptr || entry.commandLine[0] == '\0')
            continue;
        {
            CurrentFolderScope inFolder(folder);
            SetForegroundWindow(window);
            EnableWindow(window, FALSE);
            result = RunCommand(folder, entry.commandLine, entry.wait);
            EnableWindow(window, TRUE);
            SetForegroundWindow(window);
        }
        if (!result)
            return 0;
    }
    return result;
}

int RemoveRecordedFiles(const SetupInfo& info)
{
    int result = 1;
    char keyPath[kKeyPathSize];
    RegKey list;
    if (FormatInstalledFilesKeyPath(keyPath, sizeof keyPath, info.productName) &&
        RegOpenKeyExA(ProductRegistryRoot(), keyPath, 0, KEY_ALL_ACCESS, list.out()) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char name[kRegistryNameSize];
            char data[kRegistryNameSize + 1];
            DWORD nameLength = sizeof name;
            DWORD dataLength = kRegistryNameSize;
            DWORD type = 0;
            const LONG status = RegEnumValueA(list.get(), index, name, &nameLength, nullptr, &type,
                                              reinterpret_cast<BYTE*>(data), &dataLength);
            // A name or path too long for the buffers is no file of ours to
            // delete; the entries after it still are.
            if (status == ERROR_MORE_DATA) {
                result = 0;
                continue;
            }
            if (status != ERROR_SUCCESS)
                break;
            if (!RemoveRecordedFile(info, type, data, dataLength))
                result = 0;
        }
    }
    RemoveEmptyFolderTree(info.installFolder);
    return result;
}

int RunUninstall(HWND window, SetupInfo& info, int quiet, const char* packagePath)
{
    const bool folderTaken = TakeInstallFolder(info, packagePath);
    if (!quiet && !AskToUninstall(window, info))
        return 0;
    // Nothing is touched for a name that could turn the key or folder paths
    // into the Uninstall key or the Programs folder themselves, nor in a
    // folder that is not the product's own.
    if (!IsOneFolderName(info.productName) || !folderTaken || IsSystemOwnFolder(info.installFolder))
        return 0;
    int result = RunUninstallCommands(window, info.installFolder, info.uninstallCommands, info.uninstallCommandCount);
    if (!RemoveRecordedFiles(info))
        result = 0;
    if (!RemoveStartMenuFolder(info))
        result = 0;
    if (!DeleteRegistryTree(kUninstallKeyPath, info.productName))
        return 0;
    if (!result)
        return 0;
    StepOutOfFolder(info.installFolder);
    if (!quiet)
        ShowUninstalled(window, info);
    return result;
}

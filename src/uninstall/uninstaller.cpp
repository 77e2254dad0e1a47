#include "uninstall/uninstaller.h"

#include "install/launch.h"
#include "install/registration.h"
#include "install/registration_rules.h"
#include "system/owned_handle.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "text/path_size.h"
#include "text/text_scan.h"
#include "uninstall/file_removal.h"
#include "uninstall/registry_removal.h"
#include "uninstall/registry_tree.h"
#include "uninstall/uninstall_rules.h"

namespace {

constexpr int kProgramFilesFolderId = 0x26;  // CSIDL_PROGRAM_FILES
constexpr int kProfileFolderId = 0x28;       // CSIDL_PROFILE
constexpr DWORD kReparsePoint = 0x400;       // FILE_ATTRIBUTE_REPARSE_POINT

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
void SystemFolder(UINT(WINAPI* query)(LPSTR, UINT), char (&out)[kPathSize])
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
    static char folders[kCount][kPathSize];
    GetSpecialFolderPath(kUserProgramsFolderId, folders[kUserPrograms], kPathSize);
    GetSpecialFolderPath(kCommonProgramsFolderId, folders[kCommonPrograms], kPathSize);
    GetSpecialFolderPath(kProgramFilesFolderId, folders[kProgramFiles], kPathSize);
    GetSpecialFolderPath(kProfileFolderId, folders[kProfile], kPathSize);
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
int RemoveRecordedFile(const SetupInfo& info, DWORD type, char* data, DWORD dataLength, RunLog* log)
{
    if (type != REG_SZ || dataLength == 0 || dataLength > kRegistryNameSize) {
        LogStep(log, "remove", "a list value that is no file name", "left alone");
        return 0;
    }
    data[dataLength] = '\0';
    char path[kPathSize];
    if (!RecordedFilePath(path, sizeof path, info.installFolder, data) ||
        PassesThroughLink(path, strlen(info.installFolder))) {
        LogStep(log, "remove", data, "left alone: not a file inside the installation folder");
        return 0;
    }
    if (RemovePath(path)) {
        LogStep(log, "remove", path);
        return 1;
    }
    LogFailure(log, "remove", path, GetLastError());
    return 0;
}

// The Start-menu folder of the product; an unknown Programs folder is a
// failure, never a folder at the root of the drive.
int RemoveStartMenuFolder(int programsFolderId, const SetupInfo& info, RunLog* log)
{
    char folder[kPathSize];
    if (!GetProductProgramsFolder(folder, sizeof folder, programsFolderId, info)) {
        LogStep(log, "remove", "the Start-menu folder", "the system names no Programs folder");
        return 0;
    }
    if (RemovePath(folder)) {
        LogStep(log, "remove", folder);
        return 1;
    }
    LogFailure(log, "remove", folder, GetLastError());
    return 0;
}

}  // namespace

int RunUninstallCommands(HWND window, const char* folder, const CommandEntry* commands, int count, RunLog* log)
{
    return RunCommandList({commands, count, folder, window, 1, "command", log, RunCommandInFolder, nullptr});
}

int RemoveRecordedFiles(HKEY registryRoot, const SetupInfo& info, RunLog* log)
{
    int result = 1;
    char keyPath[kKeyPathSize];
    RegKey list;
    if (FormatInstalledFilesKeyPath(keyPath, sizeof keyPath, info.productName) &&
        RegOpenKeyExA(registryRoot, keyPath, 0, KEY_ALL_ACCESS, list.receive()) == ERROR_SUCCESS) {
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
                LogStep(log, "remove", "a list value too long for its buffer", "left alone");
                result = 0;
                continue;
            }
            if (status != ERROR_SUCCESS)
                break;
            if (!RemoveRecordedFile(info, type, data, dataLength, log))
                result = 0;
        }
    }
    RemoveEmptyFolderTree(info.installFolder);
    return result;
}

int RunUninstall(const RunContext& run, SetupInfo& info, int quiet, const char* packagePath)
{
    const HWND window = run.owner;
    RunLog* log = run.log;
    const bool folderTaken = TakeInstallFolder(info, packagePath);
    if (!quiet && !AskToUninstall(window, info)) {
        LogStep(log, "remove", info.productName, "the user did not agree");
        return 0;
    }
    // Nothing is touched for a name that could turn the key or folder paths
    // into the Uninstall key or the Programs folder themselves, nor in a
    // folder that is not the product's own.
    if (!IsOneFolderName(info.productName) || !folderTaken || IsSystemOwnFolder(info.installFolder)) {
        LogStep(log, "remove", packagePath, "nothing removed: not a product's own folder and name");
        return 0;
    }
    LogStep(log, "folder", info.installFolder);
    int result =
        RunUninstallCommands(window, info.installFolder, info.uninstallCommands, info.uninstallCommandCount, log);
    if (!RemoveRecordedFiles(run.registryRoot, info, log))
        result = 0;
    if (!RemoveStartMenuFolder(run.programsFolderId, info, log))
        result = 0;
    if (!DeleteRegistryTree(run.registryRoot, kUninstallKeyPath, info.productName)) {
        LogStep(log, "registry", info.productName, "the Uninstall entry could not be removed whole");
        return 0;
    }
    LogStep(log, "registry", info.productName, "Uninstall entry removed");
    if (!result)
        return 0;
    StepOutOfFolder(info.installFolder);
    if (!quiet)
        ShowUninstalled(window, info);
    return result;
}

#include "install/registration.h"

#include <objbase.h>
#include <shlobj.h>

#include "install/current_folder.h"
#include "install/installed_file_list.h"
#include "install/launch.h"
#include "install/registration_rules.h"
#include "install/shell_memory.h"
#include "system/owned_handle.h"
#include "text/bounded_text.h"
#include "text/language.h"

namespace {

constexpr int kLinkNameWideSize = 1024;

// Creates the key, or opens it when it exists; made tells which.
bool CreateKey(HKEY root, const char* path, RegKey& key, bool* made = nullptr)
{
    char noClass[] = "";
    DWORD disposition = 0;
    const LONG status = RegCreateKeyExA(root, path, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                        key.receive(), &disposition);
    // The registry returns its error code; the log reads it as the system's.
    const bool opened = status == ERROR_SUCCESS;
    if (!opened)
        SetLastError(static_cast<DWORD>(status));
    if (made != nullptr)
        *made = opened && disposition == REG_CREATED_NEW_KEY;
    return opened;
}

// Deletes the key when it holds neither values nor subkeys (a key with
// subkeys would go whole on the 9x family).
void DeleteKeyIfEmpty(HKEY root, const char* path)
{
    DWORD subkeys = 1, values = 1;
    {
        RegKey key;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS ||
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
    }
    if (subkeys == 0 && values == 0)
        RegDeleteKeyA(root, path);
}

// Texts are stored with their terminating zero counted.
LONG StoreText(HKEY key, const char* name, const char* text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text) + 1));
}

bool SetText(HKEY key, const char* name, const char* text)
{
    return StoreText(key, name, text) == ERROR_SUCCESS;
}

// A value of the Uninstall entry, and its line in the log: "name = data".
// The registry functions return their error code instead of setting it.
bool LogValue(RunLog* log, const char* name, const char* data, LONG status)
{
    char text[kEntryTextSize + 64];
    if (!CopyText(text, name) || !AppendText(text, " = ") || !AppendText(text, data))
        CopyText(text, name);
    if (status == ERROR_SUCCESS)
        LogStep(log, "registry", text);
    else
        LogFailure(log, "registry", text, static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool SetLoggedText(HKEY key, const char* name, const char* text, RunLog* log)
{
    return LogValue(log, name, text, StoreText(key, name, text));
}

bool SetLoggedNumber(HKEY key, const char* name, DWORD number, RunLog* log)
{
    char digits[16];
    wsprintfA(digits, "%lu", static_cast<unsigned long>(number));
    return LogValue(log, name, digits,
                    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number));
}

template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer()
    {
        if (pointer_ != nullptr)
            pointer_->Release();
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    Interface* operator->() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

// One COM initialisation per shortcut: the interfaces are released before it ends.
// A thread that has COM in another mode refuses the initialisation, which
// must then not be undone.
class ComSession {
public:
    ComSession() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComSession()
    {
        if (initialised_)
            CoUninitialize();
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;

private:
    bool initialised_;
};

HRESULT SaveShellLink(const wchar_t* linkPath, const char* target, const char* workingFolder, const char* arguments)
{
    ComPointer<IShellLinkA> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out());
    if (FAILED(result))
        return result;
    link->SetPath(target);
    if (workingFolder != nullptr)
        link->SetWorkingDirectory(workingFolder);
    if (arguments != nullptr && arguments[0] != '\0')
        link->SetArguments(arguments);
    ComPointer<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, file.out());
    return FAILED(result) ? result : file->Save(linkPath, TRUE);
}

// A required file of the package that is missing: its own message, with the
// file as caption.
bool RequiredFilesPresent(HWND owner, const SetupInfo& info, int silent, RunLog* log)
{
    for (int i = 0; i < info.checkCount; ++i) {
        const CheckEntry& check = info.checks[i];
        if (check.kind != 0 || check.subject == nullptr || check.subject[0] == '\0')
            continue;
        bool present;
        {
            CurrentFolderScope inFolder(info.installFolder);
            present = GetFileAttributesA(check.subject) != INVALID_FILE_ATTRIBUTES;
        }
        if (!present) {
            LogStep(log, "check", check.subject, "required file missing");
            if (!silent) {
                MessageBeep(MB_ICONHAND);
                MessageBoxA(owner, check.message != nullptr ? check.message : "", check.subject, MB_OK);
            }
            return false;
        }
    }
    return true;
}

// 1, or 0 at the first command that fails; later ones are not run.
int RunInstallCommands(HWND owner, const SetupInfo& info, RunLog* log)
{
    return RunCommandList({info.installCommands, info.installCommandCount, info.installFolder, owner, 0, "command", log,
                           RunCommandInFolder, nullptr});
}

// The installed-file list of the run, read from the registry at the first
// file and kept on the process heap.
void* HeapAllocate(void*, size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* HeapResize(void*, void* block, size_t size)
{
    return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void HeapRelease(void*, void* block)
{
    HeapFree(GetProcessHeap(), 0, block);
}

constexpr NameSetMemory kProcessHeap = {HeapAllocate, HeapResize, HeapRelease, nullptr};

InstalledFileList gInstalledFiles;

// What this run added to the installed-file list, so that a run whose files
// could not all be installed can take it back.
struct RunRecording {
    bool started;         // the first file of the run has been recorded
    bool madeProductKey;  // the keys did not exist before the run
    bool madeListKey;
    DWORD firstValue;  // the number of values the list held before the run
};

RunRecording gRunRecording;

void NoteRunStart(HKEY list, bool madeProductKey, bool madeListKey)
{
    DWORD values = 0;
    if (RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return;
    gRunRecording = {true, madeProductKey, madeListKey, values};
}

// The list's key stays open from the first file to the end of the run: one
// registry call per file instead of five. The system closes it with the
// process (the engine has no runtime to run destructors of globals).
HKEY gInstalledFilesKey;

// Makes sure the product key exists and opens its list, noting at the run's
// first file what the list held before. False when either key cannot be
// created; the next file tries again.
bool OpenInstalledFilesKey(const RunContext& run)
{
    if (gInstalledFilesKey != nullptr)
        return true;
    const char* productName = ActiveSetupInfo(*run.settings).productName;
    char productKeyPath[kEntryTextSize];
    char listKeyPath[kEntryTextSize];
    if (!IsOneFolderName(productName) || !FormatProductKeyPath(productKeyPath, sizeof productKeyPath, productName) ||
        !FormatInstalledFilesKeyPath(listKeyPath, sizeof listKeyPath, productName))
        return false;
    RegKey product, list;
    bool madeProductKey = false, madeListKey = false;
    if (!CreateKey(run.registryRoot, productKeyPath, product, &madeProductKey) ||
        !CreateKey(run.registryRoot, listKeyPath, list, &madeListKey))
        return false;
    if (!gRunRecording.started)
        NoteRunStart(list.get(), madeProductKey, madeListKey);
    gInstalledFilesKey = list.Release();
    return true;
}

ListedValue ReadListedValue(void* context, uint32_t index, char* data, size_t size)
{
    char name[kStoredDataSize];
    DWORD nameSize = sizeof name;
    DWORD dataSize = static_cast<DWORD>(size - 1);
    const LONG status = RegEnumValueA(static_cast<HKEY>(context), index, name, &nameSize, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(data), &dataSize);
    if (status == ERROR_MORE_DATA)
        return ListedValue::Other;
    if (status != ERROR_SUCCESS)
        return ListedValue::End;
    data[dataSize] = '\0';
    return ListedValue::Text;
}

bool WriteListedValue(void* context, const char* valueName, const char* data)
{
    return SetText(static_cast<HKEY>(context), valueName, data);
}

}  // namespace

bool CopyUninstaller(const char* packagePath, const char* uninstaller)
{
    if (CopyFileA(packagePath, uninstaller, FALSE))
        return true;
    // A copy cut short (a full disk) could not run; it goes. The copy's
    // error is the one that counts.
    const DWORD error = GetLastError();
    DeleteFileA(uninstaller);
    SetLastError(error);
    return false;
}

int FinishInstallation(const RunContext& run, int quiet, int packageJustExec, const char* packagePath)
{
    SetupInfo& info = ActiveSetupInfo(*run.settings);
    if (!RequiredFilesPresent(run.owner, info, run.silent, run.log))
        return 0;
    if (!packageJustExec)
        RegisterProduct(run, info, packagePath);
    if (!quiet && !run.silent) {
        MessageBeep(MB_ICONHAND);
        MessageBoxA(run.owner, InstalledProperlyText(IsJapaneseUi()), info.productName, MB_OK);
    }
    return RunInstallCommands(run.owner, info, run.log);
}

int RegisterProduct(const RunContext& run, SetupInfo& info, const char* packagePath)
{
    if (!IsOneFolderName(info.productName)) {
        LogStep(run.log, "register", info.productName, "nothing registered: the name is no folder name");
        return 1;
    }
    // Nothing is registered that no uninstaller could remove.
    char uninstaller[kEntryTextSize];
    if (!FormatUninstallerPath(uninstaller, sizeof uninstaller, info.installFolder)) {
        LogStep(run.log, "register", info.installFolder, "nothing registered: the uninstaller's path is too long");
        WithdrawRecordedFiles(run);
        return 1;
    }
    if (!CopyUninstaller(packagePath, uninstaller)) {
        LogFailure(run.log, "register", uninstaller, GetLastError());
        WithdrawRecordedFiles(run);
        return 1;
    }
    LogStep(run.log, "register", uninstaller);
    char startMenuFolder[kPathSize];
    if (GetProductProgramsFolder(startMenuFolder, sizeof startMenuFolder, run.programsFolderId, info)) {
        CreateDirectoryA(startMenuFolder, nullptr);
        CreateProductShortcuts(info, info.installFolder, startMenuFolder, run.log);
    }
    WriteUninstallEntry(run, info.productName, info.productVersion, info.installFolder,
                        run.settings->totalInstallBytes);
    return 1;
}

bool GetProductProgramsFolder(char* out, size_t size, int programsFolderId, const SetupInfo& info)
{
    // Without the system's Programs folder the path would start at the root
    // of the current drive.
    char programs[kPathSize];
    GetSpecialFolderPath(programsFolderId, programs, sizeof programs);
    if (programs[0] == '\0' || !IsOneFolderName(info.productName)) {
        out[0] = '\0';
        return false;
    }
    if (CopyText(out, size, programs) && AppendText(out, size, "\\") && AppendText(out, size, info.productName))
        return true;
    out[0] = '\0';
    return false;
}

void GetSpecialFolderPath(int folderId, char* out, size_t size)
{
    out[0] = '\0';
    LPITEMIDLIST folder = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, &folder)))
        return;
    char path[MAX_PATH];
    if (SHGetPathFromIDListA(folder, path))
        CopyText(out, size, path);
    FreeShellMemory(folder);
}

int CreateProductShortcuts(const SetupInfo& info, const char* installFolder, const char* startMenuFolder, RunLog* log)
{
    for (int i = 0; i < info.shortcutCount; ++i) {
        const ShortcutEntry& entry = info.shortcuts[i];
        // A link name with a folder in it would put the link outside the Start-menu folder.
        if (entry.linkName == nullptr || entry.target == nullptr || !IsOneFolderName(entry.linkName))
            continue;
        char target[kPathSize] = "";
        char link[kPathSize] = "";
        if (!AppendText(target, installFolder) || !AppendText(target, "\\") || !AppendText(target, entry.target) ||
            !AppendText(link, startMenuFolder) || !AppendText(link, "\\") || !AppendText(link, entry.linkName) ||
            !AppendText(link, ".lnk"))
            continue;
        if (CreateShortcut(link, target, installFolder))
            LogStep(log, "shortcut", link);
        else
            LogFailure(log, "shortcut", link, GetLastError());
    }
    return 1;
}

int CreateShortcut(const char* linkPath, const char* target, const char* workingFolder, const char* arguments)
{
    ComSession session;
    wchar_t wideLink[kLinkNameWideSize];
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, linkPath, -1, wideLink, kLinkNameWideSize) == 0)
        return 0;
    // The shell reports through its result, not the thread's last error:
    // the result becomes the last error, for the log.
    const HRESULT result = SaveShellLink(wideLink, target, workingFolder, arguments);
    if (result == S_OK)
        return 1;
    SetLastError(static_cast<DWORD>(FAILED(result) ? result : E_FAIL));
    return 0;
}

int WriteUninstallEntry(const RunContext& run, const char* productName, const char* productVersion,
                        const char* installFolder, uint32_t productBytes)
{
    char uninstaller[kEntryTextSize];
    char command[kEntryTextSize];  // the command, then the quiet one
    char keyPath[kEntryTextSize];
    if (!FormatUninstallerPath(uninstaller, sizeof uninstaller, installFolder) ||
        !FormatUninstallCommand(command, sizeof command, uninstaller, run.forceAdmin, run.forceUser))
        return 1;
    RegKey key;
    if (!FormatProductKeyPath(keyPath, sizeof keyPath, productName))
        return 1;
    if (!CreateKey(run.registryRoot, keyPath, key)) {
        LogFailure(run.log, "registry", keyPath, GetLastError());
        return 1;
    }
    LogStep(run.log, "registry", keyPath,
            run.registryRoot == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
    // The first value that cannot be written ends the entry; the quiet
    // command, too long for its buffer, is left out alone.
    RunLog* log = run.log;
    if (!SetLoggedText(key.get(), "DisplayName", productName, log) ||
        !SetLoggedText(key.get(), "DisplayVersion", productVersion, log) ||
        !SetLoggedText(key.get(), "UninstallString", command, log) ||
        !SetLoggedText(key.get(), "InstallLocation", installFolder, log) ||
        !SetLoggedNumber(key.get(), "EstimatedSize", EstimatedSizeKiB(productBytes), log) ||
        !SetLoggedText(key.get(), "DisplayIcon", uninstaller, log) || !SetLoggedNumber(key.get(), "NoModify", 1, log) ||
        !SetLoggedNumber(key.get(), "NoRepair", 1, log))
        return 1;
    if (FormatQuietUninstallCommand(command, sizeof command, uninstaller, run.forceAdmin, run.forceUser))
        SetLoggedText(key.get(), "QuietUninstallString", command, run.log);
    return 1;
}

void RecordInstalledFile(const RunContext& run, const char* memberName)
{
    if (!OpenInstalledFilesKey(run))
        return;
    const FileListStore store = {ReadListedValue, WriteListedValue, gInstalledFilesKey};
    gInstalledFiles.memory = kProcessHeap;
    RecordListedFile(gInstalledFiles, store, memberName);
}

void WithdrawRecordedFiles(const RunContext& run)
{
    const char* productName = ActiveSetupInfo(*run.settings).productName;
    char productKeyPath[kEntryTextSize];
    char listKeyPath[kEntryTextSize];
    if (!gRunRecording.started || !FormatProductKeyPath(productKeyPath, sizeof productKeyPath, productName) ||
        !FormatInstalledFilesKeyPath(listKeyPath, sizeof listKeyPath, productName))
        return;
    gRunRecording.started = false;
    FreeInstalledFileList(gInstalledFiles);
    if (gInstalledFilesKey != nullptr)
        RegCloseKey(gInstalledFilesKey);
    gInstalledFilesKey = nullptr;
    {
        // The run's names were appended behind the earlier ones, numbered on.
        RegKey list;
        if (RegOpenKeyExA(run.registryRoot, listKeyPath, 0, KEY_ALL_ACCESS, list.receive()) != ERROR_SUCCESS)
            return;
        for (uint32_t number = gRunRecording.firstValue;; ++number) {
            char valueName[kFileValueNameSize];
            FormatFileValueName(valueName, number);
            if (RegDeleteValueA(list.get(), valueName) != ERROR_SUCCESS)
                break;
        }
    }
    if (gRunRecording.madeListKey)
        DeleteKeyIfEmpty(run.registryRoot, listKeyPath);
    if (gRunRecording.madeProductKey)
        DeleteKeyIfEmpty(run.registryRoot, productKeyPath);
}

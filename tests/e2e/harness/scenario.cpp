#include "tests/e2e/harness/scenario.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

namespace {

std::string QuoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The current environment with the scenario's variables set or replaced.
std::vector<char> BuildEnvironment(const RunSpec& spec)
{
    std::vector<std::pair<std::string, std::string>> extra = spec.environment;
    std::vector<char> block;
    char* current = GetEnvironmentStringsA();
    for (const char* p = current; *p != '\0'; p += strlen(p) + 1) {
        std::string entry = p;
        const std::string name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const auto& e) { return _stricmp(e.first.c_str(), name.c_str()) == 0; });
        if (!replaced)
            block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    FreeEnvironmentStringsA(current);
    for (const auto& [name, value] : extra) {
        const std::string entry = name + "=" + value;
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    block.push_back('\0');
    return block;
}

std::string BuildTreeRoot()
{
    return WindowsPath(ENGINE_BINARY_DIR);
}

void TerminateProcessId(DWORD processId)
{
    HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (handle == nullptr)
        return;
    TerminateProcess(handle, 259);
    WaitForSingleObject(handle, 10000);
    CloseHandle(handle);
}

}  // namespace

HelperProcess::~HelperProcess()
{
    if (process_.hProcess == nullptr)
        return;
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 10000);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
}

bool HelperProcess::Start(std::string commandLine, DWORD creationFlags)
{
    STARTUPINFOA startup = {sizeof startup};
    return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                          &startup, &process_) != 0;
}

std::string WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string BuildTreePath(const std::string& relative)
{
    std::string tail = relative;
    std::replace(tail.begin(), tail.end(), '/', '\\');
    return BuildTreeRoot() + "\\" + tail;
}

std::string EnginePath()
{
    return BuildTreePath("installer.exe");
}

std::string FreshFolder(const std::string& name)
{
    const std::string root = BuildTreePath("e2e-work");
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string folder = root + "\\" + name;
    // Remove an older run's folder, whatever it holds.
    std::string command = "cmd /c rmdir /s /q \"" + folder + "\"";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

RunResult RunProgram(const RunSpec& spec)
{
    RunResult result;
    // The child inherits this process's locale; the test runner starts tests
    // named "Japanese" under a Japanese one.
    if (spec.japanese != (GetACP() == kJapaneseCodePage)) {
        result.failures.push_back(spec.japanese ? "a Japanese run needs a test named Japanese (code page 932)"
                                                : "an English run started under code page 932");
        return result;
    }
    std::string commandLine = spec.commandLine.empty() ? QuoteArgument(spec.program) : spec.commandLine;
    if (spec.commandLine.empty()) {
        for (const std::string& argument : spec.arguments)
            commandLine += " " + QuoteArgument(argument);
    }
    std::vector<char> environment = BuildEnvironment(spec);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    // A command line of its own is parsed by the system, as the list of
    // installed programs has it parsed.
    const char* program = spec.commandLine.empty() ? spec.program.c_str() : nullptr;
    if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                        spec.currentFolder.empty() ? nullptr : spec.currentFolder.c_str(), &startup, &process))
        return result;
    result.started = true;

    // The program may start others (setup.exe starts the engine): their boxes
    // are answered too, and a time-out ends them all, the youngest first.
    UiRobot robot(spec.script);
    const DWORD start = GetTickCount();
    for (;;) {
        for (DWORD processId : ProcessTree(process.dwProcessId))
            robot.Poll(processId);
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start > spec.timeoutMs) {
            result.timedOut = true;
            std::vector<DWORD> tree = ProcessTree(process.dwProcessId);
            for (auto it = tree.rbegin(); it != tree.rend(); ++it)
                TerminateProcessId(*it);
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.boxes = robot.Boxes();
    result.failures = robot.Failures();
    result.otherWindowClasses = robot.OtherWindowClasses();
    return result;
}

std::vector<DWORD> ProcessTree(DWORD root)
{
    std::vector<DWORD> tree = {root};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return tree;
    std::vector<PROCESSENTRY32> processes;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        processes.push_back(entry);
    CloseHandle(snapshot);
    // Parents come before their children; a process id is taken once.
    for (size_t i = 0; i < tree.size(); ++i) {
        for (const PROCESSENTRY32& process : processes) {
            if (process.th32ParentProcessID == tree[i] && process.th32ProcessID != root &&
                std::find(tree.begin(), tree.end(), process.th32ProcessID) == tree.end())
                tree.push_back(process.th32ProcessID);
        }
    }
    return tree;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::string& path, DWORD share)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::string UnixPath(const std::string& windowsPath)
{
    std::string path =
        windowsPath.size() > 2 && (windowsPath[0] == 'Z' || windowsPath[0] == 'z') && windowsPath[1] == ':'
            ? windowsPath.substr(2)
            : std::string();
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Runs a shell command line of the host and waits for it: Wine's handle of
// a host process does not wait, so the command leaves a marker file when done.
bool RunHostShell(const std::string& script)
{
    static int count = 0;
    const std::string marker = BuildTreePath("e2e-work") + "\\host-shell-" + std::to_string(GetCurrentProcessId()) +
                               "-" + std::to_string(++count);
    DeleteFileA(marker.c_str());
    std::string command = "/bin/sh -c \"" + script + "; : > '" + UnixPath(marker) + "'\"";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int i = 0; i < 200 && !FileExists(marker); ++i)
        Sleep(50);
    return DeleteFileA(marker.c_str()) != 0;
}

}  // namespace

bool MakeFolderLink(const std::string& link, const std::string& target)
{
    const std::string unixLink = UnixPath(link), unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty() || !RunHostShell("ln -sfn '" + unixTarget + "' '" + unixLink + "'"))
        return false;
    const DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & 0x400) != 0;
}

void RemoveFolderLinks(const std::string& folder)
{
    const std::string unixFolder = UnixPath(folder);
    if (!unixFolder.empty() && FileExists(folder))
        RunHostShell("find '" + unixFolder + "' -type l -delete");
}

bool ReadRegistryString(HKEY root, const std::string& key, const std::string& name, std::string& value)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    char buffer[4096];
    DWORD size = sizeof buffer, type = 0;
    const LONG status = RegQueryValueExA(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    value.assign(buffer, size > 0 && buffer[size - 1] == '\0' ? size - 1 : size);
    return true;
}

bool RegistryKeyExists(HKEY root, const std::string& key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

WineVersionSetting::WineVersionSetting(const std::string& programName, const std::string& version)
    : key_("Software\\Wine\\AppDefaults\\" + programName)
{
    HKEY key;
    if (!version.empty() && RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                            &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>(version.size() + 1));
        RegCloseKey(key);
    }
}

WineVersionSetting::~WineVersionSetting()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
}

std::vector<ListedFile> InstalledFileList(HKEY root, const std::string& product)
{
    std::vector<ListedFile> listed;
    const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product + "\\installFiles";
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return listed;
    for (DWORD i = 0;; ++i) {
        char name[2048], data[2048];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
            ERROR_SUCCESS)
            break;
        const bool terminated = dataSize > 0 && data[dataSize - 1] == '\0';
        listed.push_back({name, type, std::string(data, dataSize > 0 ? dataSize - 1 : 0), terminated});
    }
    RegCloseKey(key);
    return listed;
}

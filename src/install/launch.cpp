#include "install/launch.h"

#include <windows.h>
#include <shellapi.h>

#include "env/os_version.h"
#include "install/launch_rules.h"
#include "setup/setup_state.h"
#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

// From Windows Vista on, a machine-wide run starts its launch commands
// through the desktop.
constexpr int kFirstDesktopLaunchOs = 40;

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle()
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Sleeps until the process ends or a message arrives, and drains the queue,
// so that the installer's windows keep painting without spending the
// processor on polling.
void WaitForProcess(HANDLE process)
{
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1)
            return;
        PumpMessages();
    }
}

}  // namespace

int RunCommand(const char* folder, const char* commandLine, int wait)
{
    if (IsHelpFileCommand(commandLine)) {
        const HINSTANCE opened = ShellExecuteA(nullptr, nullptr, commandLine, nullptr, nullptr, SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(opened) > 32 ? 1 : 0;
    }
    return StartProgram(folder, commandLine, wait);
}

int LaunchCommand(const char* commandLine, int wait, SetupInfo& info, int, int forceAdmin)
{
    char folder[kCommandTextSize];
    const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return 0;
    if (forceAdmin && QueryOsVersionCode() >= kFirstDesktopLaunchOs)
        return LaunchThroughDesktop(folder, commandLine, info.productName);
    return StartProgram(folder, commandLine, wait);
}

int StartProgram(const char* folder, const char* commandLine, int wait)
{
    char token[kCommandTextSize];
    int rest = 0;
    if (!TakeFirstToken(commandLine, token, &rest))
        return 0;
    if (token[0] != '\0' && IsCopyKeyword(token))
        return CopyCommand(commandLine + rest);
    char quoted[kCommandTextSize];
    char text[kCommandTextSize];
    if (!QuoteProgramPath(quoted, folder, token) || !CopyText(text, quoted) || !AppendText(text, commandLine + rest))
        return 0;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    const char* workingFolder = folder != nullptr && folder[0] != '\0' ? folder : nullptr;
    if (!CreateProcessA(nullptr, text, nullptr, nullptr, FALSE, 0, nullptr, workingFolder, &startup, &started))
        return 0;
    OwnedHandle process(started.hProcess);
    OwnedHandle thread(started.hThread);
    if (wait)
        WaitForProcess(process.get());
    return 1;
}

int CopyCommand(const char* arguments)
{
    char source[kCommandTextSize];
    char destination[kCommandTextSize];
    const CopyArguments split = SplitCopyArguments(arguments, source, destination);
    if (split != CopyArguments::Copy)
        return split == CopyArguments::NothingToCopy ? 1 : 0;
    const DWORD attributes = GetFileAttributesA(destination);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesA(destination, attributes & ~FILE_ATTRIBUTE_READONLY);
        DeleteFileA(destination);
    }
    CopyFileA(source, destination, FALSE);
    return 1;
}

bool QuoteProgramPath(char (&out)[kCommandTextSize], const char* folder, const char* program)
{
    const char* chosen = program;
    char joined[kCommandTextSize];
    if (folder != nullptr && folder[0] != '\0') {
        // A program path cut short could name another program.
        if (!JoinPath(joined, folder, program)) {
            out[0] = '\0';
            return false;
        }
        if (Exists(joined))
            chosen = joined;
    }
    return BuildCommandText(out, chosen, "");
}

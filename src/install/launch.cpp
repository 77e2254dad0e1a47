#include "install/launch.h"

#include <windows.h>
#include <shellapi.h>

#include "env/desktop_icon.h"
#include "env/os_version.h"
#include "install/current_folder.h"
#include "install/folder_placeholders.h"
#include "install/launch_rules.h"
#include "install/registration.h"
#include "system/message_pump.h"
#include "system/owned_handle.h"
#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

// From Windows Vista on, a machine-wide run starts its launch commands
// through the desktop.
constexpr int kFirstDesktopLaunchOs = 40;

// The desktop shows a new icon within this time, and takes a moved one in.
constexpr DWORD kDesktopSettleMs = 2000;
constexpr int kOpenAttempts = 3;
constexpr DWORD kBetweenAttemptsMs = 50;
// What the shell opened has read its shortcut by then.
constexpr DWORD kBeforeShortcutDeletedMs = 2000;

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

// The program, taken from folder when it exists there, else as given, into out.
// False, out empty, when the joined path would not fit.
bool ResolveProgramPath(char (&out)[kCommandTextSize], const char* folder, const char* program)
{
    if (folder != nullptr && folder[0] != '\0') {
        // A program path cut short could name another program.
        if (!JoinPath(out, folder, program)) {
            out[0] = '\0';
            return false;
        }
        if (Exists(out))
            return true;
    }
    return CopyText(out, program);
}

// The program of the command line, resolved against folder, and the command
// text it is started with: the program in quotes and the rest of the line.
// rest receives the index of the rest. False when a text would not fit.
bool BuildProgramCommand(const char* folder, const char* commandLine, char (&program)[kCommandTextSize],
                         char (&text)[kCommandTextSize], int* rest)
{
    char token[kCommandTextSize];
    return TakeFirstToken(commandLine, token, rest) && ResolveProgramPath(program, folder, token) &&
           BuildCommandText(text, program, commandLine + *rest);
}

// A command whose first token is the keyword "copy" is carried out here, and
// one without a first token fails: true for both, result their outcome.
bool HandledAsCopy(const char* commandLine, int* result)
{
    char token[kCommandTextSize];
    int rest = 0;
    if (!TakeFirstToken(commandLine, token, &rest)) {
        *result = 0;
        return true;
    }
    if (token[0] == '\0' || !IsCopyKeyword(token))
        return false;
    *result = CopyCommand(commandLine + rest);
    return true;
}

void PauseWithMessages(DWORD milliseconds)
{
    PumpMessages();
    Sleep(milliseconds);
    PumpMessages();
}

// Opens the icon of the shortcut just placed on the desktop. False when the
// icon was not found or not opened: the shortcut then stays.
bool OpenThroughDesktop(const char* productName)
{
    int x = 0, y = 0;
    if (!FindDesktopIcon(productName, &x, &y))
        return false;
    PumpMessages();
    // A desktop that arranges its icons would move the one about to be
    // clicked; it arranges again once the click is done.
    const bool arranging = IsDesktopAutoArrange() != 0;
    if (arranging)
        SetDesktopAutoArrange(0);
    if (!SetDesktopIconPosition(productName, x, y)) {
        if (arranging)
            SetDesktopAutoArrange(1);
        return false;
    }
    PauseWithMessages(kDesktopSettleMs);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (OpenDesktopIcon(productName)) {
            if (arranging)
                SetDesktopAutoArrange(1);
            SetDesktopIconPosition(productName, x, y);
            return true;
        }
        Sleep(kBetweenAttemptsMs);
    }
    if (arranging)
        SetDesktopAutoArrange(1);
    return false;
}

}  // namespace

int RunCommandList(const CommandList& list)
{
    int result = 1;
    for (int i = 0; i < list.count; ++i) {
        const CommandEntry& command = list.commands[i];
        if (command.commandLine == nullptr || command.commandLine[0] == '\0')
            continue;
        CurrentFolderScope inFolder(list.folder);
        if (list.foreground)
            SetForegroundWindow(list.owner);
        EnableWindow(list.owner, FALSE);
        result = list.run(list, command);
        const DWORD error = GetLastError();
        EnableWindow(list.owner, TRUE);
        LogCommandResult(list.log, list.tag, command.commandLine, result, error);
        if (list.foreground)
            SetForegroundWindow(list.owner);
        if (!result)
            return 0;
    }
    return result;
}

int RunCommandInFolder(const CommandList& list, const CommandEntry& command)
{
    return RunCommand(list.folder, command.commandLine, command.wait);
}

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
    int copied = 0;
    if (HandledAsCopy(commandLine, &copied))
        return copied;
    char program[kCommandTextSize];
    char text[kCommandTextSize];
    int rest = 0;
    if (!BuildProgramCommand(folder, commandLine, program, text, &rest))
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
    char chosen[kCommandTextSize];
    if (!ResolveProgramPath(chosen, folder, program)) {
        out[0] = '\0';
        return false;
    }
    return BuildCommandText(out, chosen, "");
}

int LaunchThroughDesktop(const char* folder, const char* commandLine, const char* productName)
{
    int copied = 0;
    if (HandledAsCopy(commandLine, &copied))
        return copied;
    int rest = 0;
    char desktop[kCommandTextSize];
    if (!ReadShellFolder(HKEY_CURRENT_USER, "Desktop", desktop))
        return 0;
    // The shortcut holds the program and its arguments apart: a link whose
    // path held the whole quoted command line would start nothing.
    char program[kCommandTextSize];
    char text[kCommandTextSize];
    char shortcut[kCommandTextSize];
    if (!BuildProgramCommand(folder, commandLine, program, text, &rest) ||
        !FormatDesktopShortcutPath(shortcut, desktop, productName) ||
        !CreateShortcut(shortcut, program, folder, commandLine + rest))
        return 0;
    PauseWithMessages(kDesktopSettleMs);
    if (OpenThroughDesktop(productName)) {
        Sleep(kBeforeShortcutDeletedMs);
        PumpMessages();
        DeleteFileA(shortcut);
    }
    return 1;
}

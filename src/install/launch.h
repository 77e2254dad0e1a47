#pragma once
// Running the package's commands: the install and uninstall commands, and the
// launch commands after the installer's window has closed.
#include <windows.h>

#include "install/launch_rules.h"
#include "package/package_settings.h"
#include "system/run_log.h"

// How one list of commands is run: each from folder as the current folder,
// owner disabled meanwhile (and brought to the front before and after when
// foreground is set), each result logged under tag. run carries a command
// out and gives 1 on success; context is for it.
struct CommandList {
    const CommandEntry* commands;
    int count;
    const char* folder;
    HWND owner;
    int foreground;
    const char* tag;
    RunLog* log;
    int (*run)(const CommandList& list, const CommandEntry& command);
    const void* context;
};

// A runner of CommandList: RunCommand from the list's folder.
int RunCommandInFolder(const CommandList& list, const CommandEntry& command);

// Runs the non-empty commands in list order. 1 (or the last command's
// result); 0 at the first failing command, which ends the list.
int RunCommandList(const CommandList& list);

// A help file (".chm") is opened by the shell, anything else goes to
// StartProgram. 1 when the command was carried out or started.
int RunCommand(const char* folder, const char* commandLine, int wait);

// A launch command, with the current folder as working folder (waiting for
// it when wait is non-zero). A machine-wide run on Windows Vista and later
// goes through the desktop. 1 on success.
int LaunchCommand(const char* commandLine, int wait, SetupInfo& info, int reserved, int forceAdmin);

// "copy", or a new process started in folder and waited for when wait is
// non-zero, the message queue drained meanwhile. 1 on success.
int StartProgram(const char* folder, const char* commandLine, int wait);

// "copy SOURCE DESTINATION": replaces a read-only destination. 0 only when
// the two tokens cannot be taken; a copy that fails is not reported.
int CopyCommand(const char* arguments);

// out = the program, taken from folder when it exists there, in double
// quotes. False, out empty, when a path would not fit.
bool QuoteProgramPath(char (&out)[kCommandTextSize], const char* folder, const char* program);

// Starts a launch command through a shortcut on the user's desktop.
int LaunchThroughDesktop(const char* folder, const char* commandLine, const char* productName);

// The entry point of the Windows programs that link no C runtime: it hands
// WinMain what the runtime's start-up code would (the module, the command
// line behind the program's name, the show state the starter asked for) and
// ends the process with WinMain's result.
#include <windows.h>

#include "runtime/command_line.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Named to the linker only, so visible beyond the whole-program step.
extern "C" __attribute__((force_align_arg_pointer, noreturn, externally_visible)) void ProcessEntry()
{
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    char* tail = const_cast<char*>(CommandLineTail(GetCommandLineA()));
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, tail, showCommand)));
}

#include <windows.h>

#include <cstdlib>

#include "runtime/command_line.h"
#include "setup/arguments.h"
#include "setup/setup_driver.h"
#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

char gModulePath[kPathSize];

// Without arguments and without a readable argument file the run still needs
// its own path as entry 0: the module's own file name stands in.
int UseModulePath(char** entries)
{
    DWORD length = GetModuleFileNameA(nullptr, gModulePath, sizeof gModulePath);
    if (length == 0 || length >= sizeof gModulePath)
        gModulePath[0] = '\0';
    entries[0] = gModulePath;
    return 1;
}

// The command line split into arguments; the split texts live until the
// process ends. Returns how many there are, or 0 when there is no memory.
int SplitOwnCommandLine(char** entries)
{
    const char* line = GetCommandLineA();
    char* storage = static_cast<char*>(malloc(strlen(line) + 2));
    return storage != nullptr ? SplitCommandLine(line, storage, entries, kMaxArguments) : 0;
}

}  // namespace

int InstallerMain(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine, int showCommand)
{
    UseCodePage(GetACP());
    static char* entries[kMaxArguments];
    const int argumentCount = SplitOwnCommandLine(entries);
    int count = 0;

    // The argument file is argument 0 followed by ".param"; a name that does
    // not fit is no name at all, so no other file is read or deleted.
    char fileName[kArgumentLineSize];
    const bool haveFileName = argumentCount > 0 && CopyText(fileName, entries[0]) && AppendText(fileName, ".param");

    if (argumentCount == 1) {
        if (haveFileName)
            ReadArgumentFile(&count, entries, kMaxArguments, fileName);
    } else if (argumentCount > 1) {
        count = argumentCount < kMaxArguments ? argumentCount : kMaxArguments;
    }
    if (count == 0)
        count = UseModulePath(entries);

    const int exitCode = RunSetup(instance, previousInstance, commandLine, showCommand, count, entries);

    if (haveFileName)
        DeleteFileA(fileName);
    return exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    return InstallerMain(instance, previousInstance, commandLine, showCommand);
}

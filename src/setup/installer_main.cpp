#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "setup/arguments.h"
#include "setup/setup_state.h"
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

}  // namespace

int InstallerMain(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine, int showCommand)
{
    UseCodePage(GetACP());
    static char* entries[kMaxArguments];
    int count = 0;

    // The argument file is argument 0 followed by ".param"; a name that does
    // not fit is no name at all, so no other file is read or deleted.
    char fileName[kArgumentLineSize];
    const int needed = snprintf(fileName, sizeof fileName, "%s%s", __argc > 0 ? __argv[0] : "", ".param");
    const bool haveFileName = __argc > 0 && needed > 0 && static_cast<size_t>(needed) < sizeof fileName;

    if (__argc == 1) {
        if (haveFileName)
            ReadArgumentFile(&count, entries, kMaxArguments, fileName);
    } else {
        count = __argc < kMaxArguments ? __argc : kMaxArguments;
        for (int i = 0; i < count; ++i)
            entries[i] = __argv[i];
    }
    if (count == 0)
        count = UseModulePath(entries);

    RunSetup(instance, previousInstance, commandLine, showCommand, count, entries);

    if (haveFileName)
        DeleteFileA(fileName);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    return InstallerMain(instance, previousInstance, commandLine, showCommand);
}

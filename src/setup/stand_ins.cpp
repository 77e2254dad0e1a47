// Operations of steps that are not built yet. Each reports failure, does
// nothing or takes the plain way, so that every step of a run builds and runs;
// each goes away when its real operation lands.
#include <windows.h>

#include "env/os_version.h"
#include "env/privileges.h"
#include "install/folder_placeholders.h"
#include "install/install_dialog.h"
#include "install/launch.h"
#include "package/cabinet_extraction.h"
#include "ui/splash_window.h"
#include "uninstall/uninstaller.h"

// The desktop route of a machine-wide launch on newer systems: starts the
// program directly, as on older systems, without waiting.
int LaunchThroughDesktop(const char* folder, const char* commandLine, const char*)
{
    return StartProgram(folder, commandLine, 0);
}

int RunUninstall(HWND, SetupInfo&, int, const char*)
{
    return 0;
}

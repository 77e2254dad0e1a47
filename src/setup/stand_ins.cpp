// Operations of steps that are not built yet. Each reports failure or does
// nothing, so that every step of a run builds and runs; each goes away when
// its real operation lands.
#include <windows.h>

#include "env/os_version.h"
#include "env/privileges.h"
#include "install/folder_placeholders.h"
#include "install/install_dialog.h"
#include "install/launch.h"
#include "install/registration.h"
#include "package/cabinet_extraction.h"
#include "ui/splash_window.h"
#include "uninstall/uninstaller.h"

int FinishInstallation(HWND, int, int, const char*, int, int)
{
    return 0;
}

void RecordInstalledFile(const char*) {}

int LaunchCommand(const char*, int, SetupInfo&, int, int)
{
    return 0;
}

int RunUninstall(HWND, SetupInfo&, int, const char*)
{
    return 0;
}

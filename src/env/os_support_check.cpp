// The version check of a run: the package's mask against the running system.
#include <windows.h>

#include "env/os_version.h"
#include "env/os_version_table.h"
#include "text/language.h"

uint32_t CheckOsSupported(HWND owner, uint32_t packageMask, const char* caption, int silent)
{
    const uint32_t supported = packageMask & RunningOsMask();
    if (supported != 0 || silent)
        return supported;
    MessageBeep(MB_ICONHAND);
    MessageBoxA(owner, OsRefusalText(IsJapaneseUi()), caption, MB_OK);
    return 0;
}

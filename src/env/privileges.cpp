#include "env/privileges.h"

#include <windows.h>

#include "env/os_version.h"
#include "env/privileges_list.h"
#include "system/owned_handle.h"

namespace {

using AdminQueryFunction = BOOL(WINAPI*)();

// Asks for the privilege without looking at the answer: one the account does
// not hold stays off.
void EnablePrivilege(HANDLE token, const char* name)
{
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid))
        return;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

}  // namespace

int AskAdministratorQuery(const char* libraryName, const char* functionName)
{
    LoadedModule library(LoadLibraryA(libraryName));
    if (library.get() == nullptr)
        return 0;
    auto query =
        reinterpret_cast<AdminQueryFunction>(reinterpret_cast<void*>(GetProcAddress(library.get(), functionName)));
    // A shell without the query predates the distinction: everyone is administrator.
    if (query == nullptr)
        return 1;
    return query();
}

int IsUserAdmin()
{
    return AskAdministratorQuery("shell32.dll", "IsUserAnAdmin");
}

void EnableProcessPrivileges(int extended)
{
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.receive()))
        return;
    const char* names[kMaxProcessPrivileges];
    const int count = PrivilegesToEnable(extended, QueryOsVersionCode(), names);
    for (int i = 0; i < count; ++i)
        EnablePrivilege(token.get(), names[i]);
}

#include "env/privileges.h"

#include <windows.h>

#include "env/os_version.h"
#include "env/privileges_list.h"

namespace {

using AdminQueryFunction = BOOL(WINAPI*)();

// A library loaded for one question, freed on every path out.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
    ~LoadedLibrary()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

class TokenHandle {
public:
    TokenHandle() = default;
    ~TokenHandle()
    {
        if (token_ != nullptr)
            CloseHandle(token_);
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE* receive() { return &token_; }
    HANDLE get() const { return token_; }

private:
    HANDLE token_ = nullptr;
};

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
    LoadedLibrary library(libraryName);
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
    TokenHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.receive()))
        return;
    const char* names[kMaxProcessPrivileges];
    const int count = PrivilegesToEnable(extended, QueryOsVersionCode(), names);
    for (int i = 0; i < count; ++i)
        EnablePrivilege(token.get(), names[i]);
}

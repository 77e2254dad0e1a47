// A small program that reports what the environment operations see, so that
// a test can run it under other names (Wine's per-program Windows version)
// and in a fresh process (privileges stay on once enabled).
//
//   env_probe OUTPUT version
//       "platform major minor productType extendedQueryOk 64bit code mask"
//   env_probe OUTPUT privileges EXTENDED
//       for each privilege of the list: "name held-before enabled-before held enabled"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "env/os_version.h"
#include "env/privileges.h"

namespace {

const char* const kPrivilegeNames[] = {"SeTakeOwnershipPrivilege", "SeRestorePrivilege", "SeBackupPrivilege",
                                       "SeCreateGlobalPrivilege", "SeChangeNotifyPrivilege"};

std::string VersionLine()
{
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    const BOOL extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
    char line[256];
    snprintf(line, sizeof line, "%lu %lu %lu %u %d %d %d %lu\n", info.dwPlatformId, info.dwMajorVersion,
             info.dwMinorVersion, info.wProductType, extended ? 1 : 0, IsSystem64Bit(extended ? 1 : 0),
             QueryOsVersionCode(), static_cast<unsigned long>(RunningOsMask()));
    return line;
}

// Whether the process token holds the privilege, and whether it is enabled.
void PrivilegeState(const char* name, bool& held, bool& enabled)
{
    held = enabled = false;
    LUID luid;
    HANDLE token;
    if (!LookupPrivilegeValueA(nullptr, name, &luid) || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
            if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart) {
                held = true;
                enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            }
        }
    }
    CloseHandle(token);
}

std::string PrivilegeLines(int extended)
{
    bool heldBefore[5], enabledBefore[5];
    for (int i = 0; i < 5; ++i)
        PrivilegeState(kPrivilegeNames[i], heldBefore[i], enabledBefore[i]);
    EnableProcessPrivileges(extended);
    std::string lines;
    for (int i = 0; i < 5; ++i) {
        bool held, enabled;
        PrivilegeState(kPrivilegeNames[i], held, enabled);
        char line[256];
        snprintf(line, sizeof line, "%s %d %d %d %d\n", kPrivilegeNames[i], heldBefore[i], enabledBefore[i], held,
                 enabled);
        lines += line;
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::string report;
    if (strcmp(argv[2], "version") == 0)
        report = VersionLine();
    else if (strcmp(argv[2], "privileges") == 0 && argc == 4)
        report = PrivilegeLines(atoi(argv[3]));
    else
        return 2;
    FILE* out = fopen(argv[1], "wb");
    if (out == nullptr)
        return 3;
    fputs(report.c_str(), out);
    fclose(out);
    return 0;
}

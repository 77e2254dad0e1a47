#include "env/privileges_list.h"

#include "env/os_version_table.h"

namespace {

enum class When { kAlways, kExtended, kExtendedOnVista };

constexpr struct {
    const char* name;
    When when;
} kPrivileges[kMaxProcessPrivileges] = {
    {"SeTakeOwnershipPrivilege", When::kAlways}, {"SeRestorePrivilege", When::kExtended},
    {"SeBackupPrivilege", When::kExtended},      {"SeCreateGlobalPrivilege", When::kExtendedOnVista},
    {"SeChangeNotifyPrivilege", When::kAlways},
};

bool Applies(When when, int extended, int osVersionCode)
{
    switch (when) {
    case When::kAlways: return true;
    case When::kExtended: return extended != 0;
    case When::kExtendedOnVista: return extended != 0 && osVersionCode >= kFirstVistaOsVersion;
    }
    return false;
}

}  // namespace

int PrivilegesToEnable(int extended, int osVersionCode, const char* (&names)[kMaxProcessPrivileges])
{
    int count = 0;
    for (const auto& privilege : kPrivileges) {
        if (Applies(privilege.when, extended, osVersionCode))
            names[count++] = privilege.name;
    }
    return count;
}

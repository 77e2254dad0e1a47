#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "env/privileges_list.h"

namespace {

struct PrivilegeCase {
    int extended;
    int osVersionCode;
    std::vector<std::string> names;
};

const std::string kOwnership = "SeTakeOwnershipPrivilege", kRestore = "SeRestorePrivilege",
                  kBackup = "SeBackupPrivilege", kGlobal = "SeCreateGlobalPrivilege",
                  kNotify = "SeChangeNotifyPrivilege";

const PrivilegeCase kPrivilegeCases[] = {
    {0, 45, {kOwnership, kNotify}},
    {0, 36, {kOwnership, kNotify}},
    {1, 35, {kOwnership, kRestore, kBackup, kNotify}},  // 2000: no create-global
    {1, 39, {kOwnership, kRestore, kBackup, kNotify}},
    {1, 40, {kOwnership, kRestore, kBackup, kGlobal, kNotify}},
    {1, 46, {kOwnership, kRestore, kBackup, kGlobal, kNotify}},  // "later 5.x" counts as newer by its number
    {1, 47, {kOwnership, kRestore, kBackup, kGlobal, kNotify}},
    {1, 0, {kOwnership, kRestore, kBackup, kNotify}},
    {2, 44, {kOwnership, kRestore, kBackup, kGlobal, kNotify}},  // any non-zero flag is extended
};

TEST(PrivilegesToEnable, ConditionsAndOrder)
{
    for (const PrivilegeCase& c : kPrivilegeCases) {
        const char* names[kMaxProcessPrivileges] = {};
        const int count = PrivilegesToEnable(c.extended, c.osVersionCode, names);
        EXPECT_EQ(std::vector<std::string>(names, names + count), c.names)
            << "extended " << c.extended << ", version " << c.osVersionCode;
    }
}

}  // namespace

// The administrator test and the process privileges, asked of Wine for real.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "env/privileges.h"
#include "tests/win/env/env_probe_runner.h"

namespace {

struct PrivilegeState {
    bool heldBefore, enabledBefore, held, enabled;
};

std::map<std::string, PrivilegeState> PrivilegesAfter(const std::string& setting, int extended)
{
    std::istringstream report(RunEnvProbe(setting, "privileges " + std::to_string(extended)));
    std::map<std::string, PrivilegeState> states;
    std::string name;
    PrivilegeState s;
    while (report >> name >> s.heldBefore >> s.enabledBefore >> s.held >> s.enabled)
        states[name] = s;
    return states;
}

TEST(IsUserAdmin, WineAnswersAdministrator)
{
    EXPECT_NE(IsUserAdmin(), 0);
    EXPECT_NE(IsUserAdmin(), 0) << "asked again, the library is loaded afresh";
}

TEST(AskAdministratorQuery, Fallbacks)
{
    EXPECT_EQ(AskAdministratorQuery("no-such-shell-library.dll", "IsUserAnAdmin"), 0)
        << "a shell that cannot be loaded: no administrator";
    EXPECT_EQ(AskAdministratorQuery("kernel32.dll", "IsUserAnAdmin"), 1) << "a shell without the query: administrator";
}

struct EnableCase {
    int extended;
    std::set<std::string> attempted;  // on Wine's default version, Windows 7
};

const EnableCase kEnableCases[] = {
    {0, {"SeTakeOwnershipPrivilege", "SeChangeNotifyPrivilege"}},
    {1,
     {"SeTakeOwnershipPrivilege", "SeRestorePrivilege", "SeBackupPrivilege", "SeCreateGlobalPrivilege",
      "SeChangeNotifyPrivilege"}},
};

// Each case runs in a fresh probe process, since enabled privileges stay on.
TEST(EnableProcessPrivileges, EnablesTheHeldPrivilegesOfItsSet)
{
    for (const EnableCase& c : kEnableCases) {
        SCOPED_TRACE(c.extended);
        const auto states = PrivilegesAfter("", c.extended);
        ASSERT_EQ(states.size(), 5u);
        int switchedOn = 0;
        for (const auto& [name, state] : states) {
            EXPECT_TRUE(state.held) << name << ": Wine's administrator holds every privilege of the list";
            const bool attempted = c.attempted.count(name) != 0;
            EXPECT_EQ(state.enabled, state.enabledBefore || (attempted && state.held)) << name;
            switchedOn += state.enabled && !state.enabledBefore;
        }
        EXPECT_GT(switchedOn, 0) << "some privilege of the set was off before";
    }
}

}  // namespace

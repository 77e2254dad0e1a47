#include "setup/run_decisions.h"

#include <cstring>

#include "install/folder_placeholder_rules.h"

bool DecidePerUserInstall(bool forceAdmin, bool isAdmin, const char* installFolder)
{
    return !forceAdmin && !isAdmin &&
           strncmp(installFolder, kProgramFilesOrUserPlaceholder, sizeof kProgramFilesOrUserPlaceholder - 1) == 0;
}

RegistryRoot ChooseRegistryRoot(bool forceAdmin, bool forceUser, bool perUserInstall)
{
    if (forceAdmin)
        return RegistryRoot::LocalMachine;
    if (forceUser || perUserInstall)
        return RegistryRoot::CurrentUser;
    return RegistryRoot::LocalMachine;
}

int ChooseProgramsFolderId(bool forceAdmin, bool forceUser, bool perUserInstall)
{
    return ChooseRegistryRoot(forceAdmin, forceUser, perUserInstall) == RegistryRoot::LocalMachine
               ? kCommonProgramsFolderId
               : kUserProgramsFolderId;
}

namespace {

constexpr struct {
    RunOutcome outcome;
    int exitCode;
    const char* text;
} kOutcomes[] = {
    {RunOutcome::Done, 0, "done"},
    {RunOutcome::Failed, 1, "failed"},
    {RunOutcome::Blocked, 2, "declined or blocked by a running application"},
    {RunOutcome::Refused, 3, "refused by the Windows version or the user's rights"},
    {RunOutcome::BadCommandLine, 4, "bad command line"},
};

}  // namespace

int ExitCodeOf(RunOutcome outcome, bool silent)
{
    for (const auto& entry : kOutcomes) {
        if (entry.outcome == outcome)
            return silent ? entry.exitCode : 0;
    }
    return silent ? 1 : 0;
}

const char* OutcomeText(RunOutcome outcome)
{
    for (const auto& entry : kOutcomes) {
        if (entry.outcome == outcome)
            return entry.text;
    }
    return "failed";
}

#include "setup/run_decisions.h"

#include <cstring>

bool DecidePerUserInstall(bool forceAdmin, bool isAdmin, const char* installFolder)
{
    static constexpr char kPlaceholder[] = "%ProgramFilesOrUser%";
    return !forceAdmin && !isAdmin && strncmp(installFolder, kPlaceholder, sizeof kPlaceholder - 1) == 0;
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

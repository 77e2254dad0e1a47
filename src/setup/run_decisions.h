#pragma once
// Decisions of a run that follow from values alone.
#include "install/registration_rules.h"

// Per-user installation: the user is no administrator, machine-wide is not
// forced, and the default folder starts with "%ProgramFilesOrUser%" exactly.
bool DecidePerUserInstall(bool forceAdmin, bool isAdmin, const char* installFolder);

enum class RegistryRoot { LocalMachine, CurrentUser };

// Where the product's registry entries live; "-ForceAdmin" wins over "-ForceUser".
RegistryRoot ChooseRegistryRoot(bool forceAdmin, bool forceUser, bool perUserInstall);

// The Start-menu folder of the product's shortcuts, by the same rule.
int ChooseProgramsFolderId(bool forceAdmin, bool forceUser, bool perUserInstall);

// How a run ended, for the exit code of a silent run and the log.
enum class RunOutcome {
    Done,            // installed, run or removed
    Failed,          // the package, the install, a command, the removal or a launch failed
    Blocked,         // declined, or a listed application was running
    Refused,         // the Windows version or the user's rights do not allow the run
    BadCommandLine,  // an option's value is missing or too long
};

// The process exit code: the outcome's number in a silent run, 0 in every
// other run, as the user has seen the outcome.
int ExitCodeOf(RunOutcome outcome, bool silent);

// A few words on the outcome, for the log.
const char* OutcomeText(RunOutcome outcome);

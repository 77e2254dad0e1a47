#pragma once
// Decisions of a run that follow from values alone.

// Per-user installation: the user is no administrator, machine-wide is not
// forced, and the default folder starts with "%ProgramFilesOrUser%" exactly.
bool DecidePerUserInstall(bool forceAdmin, bool isAdmin, const char* installFolder);

enum class RegistryRoot { LocalMachine, CurrentUser };

// Where the product's registry entries live; "-ForceAdmin" wins over "-ForceUser".
RegistryRoot ChooseRegistryRoot(bool forceAdmin, bool forceUser, bool perUserInstall);

constexpr int kCommonProgramsFolderId = 23;  // CSIDL_COMMON_PROGRAMS
constexpr int kUserProgramsFolderId = 2;     // CSIDL_PROGRAMS

// The Start-menu folder of the product's shortcuts, by the same rule.
int ChooseProgramsFolderId(bool forceAdmin, bool forceUser, bool perUserInstall);

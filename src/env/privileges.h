#pragma once
// Administrator test and process privileges.

// Non-zero when the user is an administrator: the shell's own answer, asked
// at every call.
int IsUserAdmin();

// Calls the parameterless administrator query functionName of the library
// libraryName and returns its answer. A library that cannot be loaded gives 0;
// one without the function counts as administrator and gives 1.
int AskAdministratorQuery(const char* libraryName, const char* functionName);

// Enables the take-ownership and change-notify privileges, and with extended
// also restore, backup and (Vista and later) create-global. Privileges the
// account does not hold are skipped without notice.
void EnableProcessPrivileges(int extended);

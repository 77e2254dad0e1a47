#pragma once
// Administrator test and process privileges.

// 1 when the user is an administrator (the shell is asked at every call).
int IsUserAdmin();

// Enables the take-ownership and change-notify privileges, and with extended
// also restore, backup and (Vista and later) create-global.
void EnableProcessPrivileges(int extended);

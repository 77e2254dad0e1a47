#pragma once
// Which process privileges the uninstaller's preparation switches on.

constexpr int kMaxProcessPrivileges = 5;

// Writes the names of the privileges to enable, in the order they are
// enabled, to names and returns their count: take-ownership and change-notify
// always; with extended also restore and backup, and create-global on Vista
// and later (osVersionCode 40 or more).
int PrivilegesToEnable(int extended, int osVersionCode, const char* (&names)[kMaxProcessPrivileges]);

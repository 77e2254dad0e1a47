#pragma once
// Registry removal below a root key (the run's registry root): keys are
// opened by path, with full access, at each step.
#include <windows.h>

// Removes parentPath\name with all its subkeys and values; 1 on success, also
// when the parent key does not exist.
int DeleteRegistryTree(HKEY root, const char* parentPath, const char* name);

// Removes every subkey of the key; 1 on success or when the key is missing.
int DeleteSubkeys(HKEY root, const char* path);

// Deletes every value of the key; 1 on success or when the key is missing.
int DeleteValues(HKEY root, const char* path);

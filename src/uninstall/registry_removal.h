#pragma once
// Registry removal under the product's registry root (ProductRegistryRoot):
// keys are opened by path, with full access, at each step.

// Removes parentPath\name with all its subkeys and values; 1 on success, also
// when the parent key does not exist.
int DeleteRegistryTree(const char* parentPath, const char* name);

// Removes every subkey of the key; 1 on success or when the key is missing.
int DeleteSubkeys(const char* path);

// Deletes every value of the key; 1 on success or when the key is missing.
int DeleteValues(const char* path);

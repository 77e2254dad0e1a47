#pragma once
// Removing a registry key with everything below it: subkeys first (depth
// first), then the key's values, then the key itself. The order is decided
// here; the keys are reached through a RegistryEditor, which the uninstaller
// backs with the system's registry.
#include <cstddef>
#include <cstdint>

constexpr size_t kKeyPathSize = 1024;       // key paths formed here
constexpr size_t kRegistryNameSize = 2048;  // capacity for names and data read back
constexpr int kDeepestKeyLevel = 64;        // subkeys below that are refused, not visited

// What a removal needs of a registry: keys opened by path below one root,
// read by index, deleted by name. Reads report false for any error, so a
// name or data longer than its capacity ends the visit of that key.
class RegistryEditor {
public:
    virtual void* OpenKey(const char* path) = 0;  // null when the key cannot be opened
    virtual void CloseKey(void* key) = 0;
    virtual bool ReadSubkeyName(void* key, uint32_t index, char* name, uint32_t nameSize) = 0;
    virtual bool ReadValueName(void* key, uint32_t index, char* name, uint32_t nameSize, uint32_t dataSize) = 0;
    virtual bool DeleteValue(void* key, const char* name) = 0;
    // True when the subkey is gone, also when there was none.
    virtual bool DeleteSubkey(void* parent, const char* name) = 0;

protected:
    ~RegistryEditor() = default;
};

// Removes the key parentPath\name with its subkeys and values. 1 on success,
// also when the parent or the key does not exist; 0 when anything stayed, for
// a key path that would not fit kKeyPathSize (never cut into another key's
// path) and for subkeys deeper than kDeepestKeyLevel.
int DeleteRegistryTree(RegistryEditor& editor, const char* parentPath, const char* name);

// Removes every subkey of the key (each as a tree); 1 when the key is missing
// or every subkey went.
int DeleteSubkeys(RegistryEditor& editor, const char* path);

// Deletes every value of the key; 1 when the key is missing or every value
// read went.
int DeleteValues(RegistryEditor& editor, const char* path);

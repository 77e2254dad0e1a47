#include "uninstall/registry_removal.h"

#include <windows.h>

#include "uninstall/registry_tree.h"

namespace {

class SystemRegistry final : public RegistryEditor {
public:
    explicit SystemRegistry(HKEY root) : root_(root) {}

    void* OpenKey(const char* path) override
    {
        HKEY key = nullptr;
        return RegOpenKeyExA(root_, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS ? key : nullptr;
    }

    void CloseKey(void* key) override { RegCloseKey(static_cast<HKEY>(key)); }

    bool ReadSubkeyName(void* key, uint32_t index, char* name, uint32_t nameSize) override
    {
        DWORD length = nameSize;
        char keyClass[kRegistryNameSize];
        DWORD classLength = sizeof keyClass;
        FILETIME lastWrite;
        return RegEnumKeyExA(static_cast<HKEY>(key), index, name, &length, nullptr, keyClass, &classLength,
                             &lastWrite) == ERROR_SUCCESS;
    }

    bool ReadValueName(void* key, uint32_t index, char* name, uint32_t nameSize, uint32_t dataSize) override
    {
        DWORD length = nameSize;
        BYTE data[kRegistryNameSize];
        DWORD dataLength = dataSize < sizeof data ? dataSize : sizeof data;
        return RegEnumValueA(static_cast<HKEY>(key), index, name, &length, nullptr, nullptr, data, &dataLength) ==
               ERROR_SUCCESS;
    }

    bool DeleteValue(void* key, const char* name) override
    {
        return RegDeleteValueA(static_cast<HKEY>(key), name) == ERROR_SUCCESS;
    }

    bool DeleteSubkey(void* parent, const char* name) override
    {
        const LONG status = RegDeleteKeyA(static_cast<HKEY>(parent), name);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }

private:
    HKEY root_;
};

}  // namespace

int DeleteRegistryTree(HKEY root, const char* parentPath, const char* name)
{
    SystemRegistry registry(root);
    return DeleteRegistryTree(registry, parentPath, name);
}

int DeleteSubkeys(HKEY root, const char* path)
{
    SystemRegistry registry(root);
    return DeleteSubkeys(registry, path);
}

int DeleteValues(HKEY root, const char* path)
{
    SystemRegistry registry(root);
    return DeleteValues(registry, path);
}

#include "uninstall/registry_tree.h"

#include <cstring>

#include "text/bounded_text.h"

namespace {

int DeleteTreeAtLevel(RegistryEditor& editor, const char* parentPath, const char* name, int level);

// Closes the key on every way out.
class OpenedKey {
public:
    OpenedKey(RegistryEditor& editor, const char* path) : editor_(editor), key_(editor.OpenKey(path)) {}
    ~OpenedKey()
    {
        if (key_ != nullptr)
            editor_.CloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    void* get() const { return key_; }

private:
    RegistryEditor& editor_;
    void* key_;
};

bool FormKeyPath(char (&path)[kKeyPathSize], const char* parentPath, const char* name)
{
    return CopyText(path, parentPath) && AppendText(path, "\\") && AppendText(path, name);
}

// Removing an entry moves the following ones up, so the same index is read
// again; an entry that stays is stepped over. An entry that is still there
// under the same name after a removal that reported success stays as well:
// reading it again and again would never end.
class IndexWalk {
public:
    uint32_t index() const { return index_; }
    bool Stayed(const char* name) const { return hasRemoved_ && strcmp(name, removed_) == 0; }
    void Removed(const char* name) { hasRemoved_ = CopyText(removed_, name); }
    void Kept()
    {
        hasRemoved_ = false;
        ++index_;
    }

private:
    uint32_t index_ = 0;
    bool hasRemoved_ = false;
    char removed_[kRegistryNameSize];
};

int DeleteSubkeysAtLevel(RegistryEditor& editor, const char* path, int level)
{
    OpenedKey key(editor, path);
    if (key.get() == nullptr)
        return 1;
    int result = 1;
    char name[kRegistryNameSize];
    for (IndexWalk walk; editor.ReadSubkeyName(key.get(), walk.index(), name, sizeof name);) {
        if (!walk.Stayed(name) && DeleteTreeAtLevel(editor, path, name, level + 1)) {
            walk.Removed(name);
        } else {
            result = 0;
            walk.Kept();
        }
    }
    return result;
}

int DeleteTreeAtLevel(RegistryEditor& editor, const char* parentPath, const char* name, int level)
{
    OpenedKey parent(editor, parentPath);
    if (parent.get() == nullptr)
        return 1;
    char path[kKeyPathSize];
    if (level > kDeepestKeyLevel || !FormKeyPath(path, parentPath, name))
        return 0;
    int result = DeleteSubkeysAtLevel(editor, path, level);
    if (!DeleteValues(editor, path))
        result = 0;
    if (!editor.DeleteSubkey(parent.get(), name))
        result = 0;
    return result;
}

}  // namespace

int DeleteRegistryTree(RegistryEditor& editor, const char* parentPath, const char* name)
{
    return DeleteTreeAtLevel(editor, parentPath, name, 0);
}

int DeleteSubkeys(RegistryEditor& editor, const char* path)
{
    return DeleteSubkeysAtLevel(editor, path, 0);
}

int DeleteValues(RegistryEditor& editor, const char* path)
{
    OpenedKey key(editor, path);
    if (key.get() == nullptr)
        return 1;
    int result = 1;
    char name[kRegistryNameSize];
    for (IndexWalk walk; editor.ReadValueName(key.get(), walk.index(), name, sizeof name, kRegistryNameSize);) {
        if (!walk.Stayed(name) && editor.DeleteValue(key.get(), name)) {
            walk.Removed(name);
        } else {
            result = 0;
            walk.Kept();
        }
    }
    return result;
}

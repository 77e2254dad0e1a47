// The order in which a registry tree is removed, on a registry kept in memory
// that behaves as the system's does where it matters: reads by index fail
// when a name or data does not fit, a key with subkeys cannot be deleted, a
// deleted key takes its values with it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "uninstall/registry_tree.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct FakeKey {
    std::vector<std::pair<std::string, std::string>> values;  // name, REG_SZ data
    bool undeletable = false;                                 // deleting it fails
    bool stubborn = false;                                    // deleting it reports success and leaves it
};

class FakeRegistry final : public RegistryEditor {
public:
    std::map<std::string, FakeKey> keys;  // by full path
    std::vector<std::string> log;         // what was deleted, in order
    int openKeys = 0;

    void Add(const std::string& path, std::vector<std::pair<std::string, std::string>> values = {})
    {
        for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            keys[path.substr(0, at)];
        keys[path].values = std::move(values);
    }

    bool Has(const std::string& path) const { return keys.count(path) != 0; }

    void* OpenKey(const char* path) override
    {
        if (!Has(path))
            return nullptr;
        ++openKeys;
        handles_.push_back(std::make_unique<std::string>(path));
        return handles_.back().get();
    }

    void CloseKey(void* key) override
    {
        --openKeys;
        EXPECT_NE(key, nullptr);
    }

    bool ReadSubkeyName(void* key, uint32_t index, char* name, uint32_t nameSize) override
    {
        const std::vector<std::string> children = Children(Path(key));
        if (index >= children.size() || children[index].size() + 1 > nameSize)
            return false;
        strcpy(name, children[index].c_str());
        return true;
    }

    bool ReadValueName(void* key, uint32_t index, char* name, uint32_t nameSize, uint32_t dataSize) override
    {
        const auto& values = keys.at(Path(key)).values;
        if (index >= values.size() || values[index].first.size() + 1 > nameSize ||
            values[index].second.size() + 1 > dataSize)
            return false;
        strcpy(name, values[index].first.c_str());
        return true;
    }

    bool DeleteValue(void* key, const char* name) override
    {
        auto& values = keys.at(Path(key)).values;
        for (auto it = values.begin(); it != values.end(); ++it) {
            if (it->first == name) {
                log.push_back("value " + Path(key) + ":" + name);
                values.erase(it);
                return true;
            }
        }
        return false;
    }

    bool DeleteSubkey(void* parent, const char* name) override
    {
        const std::string path = Path(parent) + "\\" + name;
        if (!Has(path))
            return true;
        const FakeKey& key = keys.at(path);
        if (key.undeletable || !Children(path).empty())
            return false;
        if (key.stubborn)
            return true;
        log.push_back("key " + path);
        keys.erase(path);
        return true;
    }

private:
    static const std::string& Path(void* key) { return *static_cast<std::string*>(key); }

    std::vector<std::string> Children(const std::string& path) const
    {
        std::vector<std::string> names;
        const std::string prefix = path + "\\";
        for (const auto& [name, key] : keys) {
            if (name.compare(0, prefix.size(), prefix) == 0 && name.find('\\', prefix.size()) == std::string::npos)
                names.push_back(name.substr(prefix.size()));
        }
        return names;
    }

    std::vector<std::unique_ptr<std::string>> handles_;
};

class RegistryTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry.Add(kUninstall + "\\Other", {{"DisplayName", "Other"}});
        registry.Add(kUninstall + "\\Prod", {{"DisplayName", "Prod"},
                                             {"DisplayVersion", "1.0"},
                                             {"UninstallString", "\"C:\\Prod\\unquilbex.exe\" -u"}});
        registry.Add(kUninstall + "\\Prod\\installFiles", {{"file00000", "readme.txt"}, {"file00001", "bin\\a.exe"}});
    }
    void TearDown() override { EXPECT_EQ(registry.openKeys, 0) << "every key opened is closed"; }

    std::string Product(const std::string& tail = "") const { return kUninstall + "\\Prod" + tail; }

    FakeRegistry registry;
};

TEST_F(RegistryTree, ProductEntryGoesFileListFirstThenItsValuesThenTheKey)
{
    EXPECT_EQ(DeleteRegistryTree(registry, kUninstall.c_str(), "Prod"), 1);

    EXPECT_EQ(registry.log, (std::vector<std::string>{
                                "value " + Product("\\installFiles") + ":file00000",
                                "value " + Product("\\installFiles") + ":file00001",
                                "key " + Product("\\installFiles"),
                                "value " + Product() + ":DisplayName",
                                "value " + Product() + ":DisplayVersion",
                                "value " + Product() + ":UninstallString",
                                "key " + Product(),
                            }));
    EXPECT_TRUE(registry.Has(kUninstall + "\\Other"));
    EXPECT_EQ(registry.keys.at(kUninstall + "\\Other").values.size(), 1u);
}

TEST_F(RegistryTree, KeyWithSeveralSubkeysGoesWholeDepthFirst)
{
    registry.Add(Product("\\a\\x"), {{"v", "1"}});
    registry.Add(Product("\\a\\y"));
    registry.Add(Product("\\b"));

    EXPECT_EQ(DeleteRegistryTree(registry, kUninstall.c_str(), "Prod"), 1);

    EXPECT_FALSE(registry.Has(Product()));
    std::vector<std::string> keysRemoved;
    for (const std::string& entry : registry.log)
        if (entry.rfind("key ", 0) == 0)
            keysRemoved.push_back(entry.substr(4 + Product().size()));
    EXPECT_EQ(keysRemoved, (std::vector<std::string>{"\\a\\x", "\\a\\y", "\\a", "\\b", "\\installFiles", ""}));
    EXPECT_TRUE(registry.Has(kUninstall + "\\Other"));
}

TEST_F(RegistryTree, MissingKeysCountAsRemoved)
{
    EXPECT_EQ(DeleteRegistryTree(registry, kUninstall.c_str(), "Never Installed"), 1);
    EXPECT_EQ(DeleteRegistryTree(registry, "SOFTWARE\\Nowhere", "Prod"), 1);
    EXPECT_EQ(DeleteSubkeys(registry, "SOFTWARE\\Nowhere"), 1);
    EXPECT_EQ(DeleteValues(registry, "SOFTWARE\\Nowhere"), 1);
    EXPECT_TRUE(registry.log.empty());
}

TEST_F(RegistryTree, ValueTooLongForTheBuffersEndsTheVisitOfItsKey)
{
    // Data of 2048 bytes needs 2049 with its terminator; a name of 2048 as well.
    for (const auto& [name, data] : std::vector<std::pair<std::string, std::string>>{
             {"long data", std::string(2048, 'd')}, {std::string(2048, 'n'), "x"}}) {
        SCOPED_TRACE(name.substr(0, 10));
        registry.Add(Product(), {{"first", "1"}, {name, data}, {"after", "2"}});
        registry.log.clear();

        EXPECT_EQ(DeleteValues(registry, Product().c_str()), 1);

        EXPECT_EQ(registry.log, std::vector<std::string>{"value " + Product() + ":first"});
        EXPECT_EQ(registry.keys.at(Product()).values.size(), 2u);
    }
    // The key itself still goes, with the values the visit did not reach.
    EXPECT_EQ(DeleteRegistryTree(registry, kUninstall.c_str(), "Prod"), 1);
    EXPECT_FALSE(registry.Has(Product()));
}

TEST_F(RegistryTree, KeyThatStaysIsSteppedOverAndFailsTheRemoval)
{
    registry.Add(Product("\\a"));
    registry.Add(Product("\\b"));
    registry.Add(Product("\\c"));
    registry.keys.at(Product("\\b")).undeletable = true;

    EXPECT_EQ(DeleteRegistryTree(registry, kUninstall.c_str(), "Prod"), 0);

    EXPECT_TRUE(registry.Has(Product("\\b")));
    EXPECT_FALSE(registry.Has(Product("\\a")));
    EXPECT_FALSE(registry.Has(Product("\\c")));
    EXPECT_FALSE(registry.Has(Product("\\installFiles")));
    EXPECT_TRUE(registry.Has(Product())) << "a key with a subkey left cannot go";
    EXPECT_TRUE(registry.keys.at(Product()).values.empty());
}

TEST_F(RegistryTree, RemovalThatReportsSuccessButLeavesTheKeyEnds)
{
    registry.Add(Product("\\a"));
    registry.Add(Product("\\b"));
    registry.keys.at(Product("\\a")).stubborn = true;

    EXPECT_EQ(DeleteSubkeys(registry, Product().c_str()), 0);

    EXPECT_TRUE(registry.Has(Product("\\a")));
    EXPECT_FALSE(registry.Has(Product("\\b")));
}

TEST_F(RegistryTree, KeyPathThatWouldNotFitIsRefusedNotCut)
{
    // parent + "\" + name = 1023 bytes fits the 1024-byte buffer; one more does not.
    const std::string parent = "SOFTWARE\\" + std::string(1000, 'p');
    const std::string fits(1023 - parent.size() - 1, 'k');
    const std::string tooLong = fits + "k";
    registry.Add(parent + "\\" + fits, {{"v", "1"}});
    registry.Add(parent + "\\" + tooLong, {{"v", "1"}});
    registry.Add(parent + "\\" + tooLong.substr(0, tooLong.size() - 1) + "X");  // what a cut path could name

    EXPECT_EQ(DeleteRegistryTree(registry, parent.c_str(), fits.c_str()), 1);
    EXPECT_EQ(DeleteRegistryTree(registry, parent.c_str(), tooLong.c_str()), 0);

    EXPECT_FALSE(registry.Has(parent + "\\" + fits));
    EXPECT_TRUE(registry.Has(parent + "\\" + tooLong));
    EXPECT_EQ(registry.keys.at(parent + "\\" + tooLong).values.size(), 1u);
    EXPECT_EQ(registry.log.size(), 2u);
}

TEST_F(RegistryTree, KeysNestedTooDeepAreLeftAndFailTheRemoval)
{
    std::string path = Product();
    for (int level = 0; level <= kDeepestKeyLevel + 1; ++level)
        path += "\\k";
    registry.Add(path);

    EXPECT_EQ(DeleteRegistryTree(registry, kUninstall.c_str(), "Prod"), 0);

    EXPECT_TRUE(registry.Has(path));
    EXPECT_FALSE(registry.Has(Product("\\installFiles")));
    EXPECT_TRUE(registry.Has(kUninstall + "\\Other"));
}

}  // namespace

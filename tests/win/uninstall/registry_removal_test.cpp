// Removing planted registry keys under the product's registry root: the
// whole product key with its file list and subkeys, and nothing beside it.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "uninstall/registry_removal.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& data)
{
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

void DeleteTreeForTest(HKEY root, const std::string& key)
{
    SHDeleteKeyA(root, key.c_str());
}

// Each test plants under one root, the run's registry root of a machine-wide
// or a per-user run.
class RegistryRemoval : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        root_ = GetParam() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        DeleteTreeForTest(root_, Product());
        DeleteTreeForTest(root_, kUninstall + "\\Registry Test Neighbour");
        SetString(root_, kUninstall + "\\Registry Test Neighbour", "DisplayName", "Neighbour");
    }
    void TearDown() override
    {
        EXPECT_TRUE(RegistryKeyExists(root_, kUninstall + "\\Registry Test Neighbour"));
        DeleteTreeForTest(root_, kUninstall + "\\Registry Test Neighbour");
        DeleteTreeForTest(root_, Product());
    }

    static std::string Product(const std::string& tail = "") { return kUninstall + "\\Registry Test" + tail; }

    HKEY root_ = nullptr;
};

TEST_P(RegistryRemoval, ProductKeyGoesWithItsFileListValuesAndSubkeys)
{
    SetString(root_, Product(), "DisplayName", "Registry Test");
    SetString(root_, Product(), "UninstallString", "\"C:\\x\\unquilbex.exe\" -u");
    for (int i = 0; i < 40; ++i)
        SetString(root_, Product("\\installFiles"), "file000" + std::to_string(10 + i), "f" + std::to_string(i));
    SetString(root_, Product("\\extra\\deeper"), "v", "1");
    SetString(root_, Product("\\second"), "v", "2");
    SetString(root_, Product("\\second"), "", "default value");

    EXPECT_EQ(DeleteRegistryTree(root_, kUninstall.c_str(), "Registry Test"), 1);

    EXPECT_FALSE(RegistryKeyExists(root_, Product()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE == root_ ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, Product()));
}

TEST_P(RegistryRemoval, ValueTooLongToReadDoesNotKeepTheKey)
{
    SetString(root_, Product(), "DisplayName", "Registry Test");
    SetString(root_, Product(), "Long", std::string(3000, 'x'));
    SetString(root_, Product(), "ZLast", "after the long one");

    EXPECT_EQ(DeleteValues(root_, Product().c_str()), 1);
    std::string value;
    EXPECT_TRUE(ReadRegistryString(root_, Product(), "Long", value)) << "the visit ends at the long value";

    EXPECT_EQ(DeleteRegistryTree(root_, kUninstall.c_str(), "Registry Test"), 1);
    EXPECT_FALSE(RegistryKeyExists(root_, Product()));
}

TEST_P(RegistryRemoval, MissingKeysCountAsRemoved)
{
    EXPECT_EQ(DeleteRegistryTree(root_, kUninstall.c_str(), "Registry Test"), 1);
    EXPECT_EQ(DeleteRegistryTree(root_, "SOFTWARE\\No Such Vendor", "Registry Test"), 1);
    EXPECT_EQ(DeleteSubkeys(root_, Product().c_str()), 1);
    EXPECT_EQ(DeleteValues(root_, Product().c_str()), 1);
}

TEST_P(RegistryRemoval, SubkeysAndValuesOnTheirOwn)
{
    SetString(root_, Product(), "DisplayName", "Registry Test");
    SetString(root_, Product("\\a"), "v", "1");
    SetString(root_, Product("\\b\\c"), "v", "1");

    EXPECT_EQ(DeleteSubkeys(root_, Product().c_str()), 1);
    EXPECT_FALSE(RegistryKeyExists(root_, Product("\\a")));
    EXPECT_FALSE(RegistryKeyExists(root_, Product("\\b")));
    std::string value;
    EXPECT_TRUE(ReadRegistryString(root_, Product(), "DisplayName", value));

    EXPECT_EQ(DeleteValues(root_, Product().c_str()), 1);
    EXPECT_FALSE(ReadRegistryString(root_, Product(), "DisplayName", value));
    EXPECT_TRUE(RegistryKeyExists(root_, Product()));
}

INSTANTIATE_TEST_SUITE_P(Roots, RegistryRemoval, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "MachineWide" : "PerUser");
                         });

}  // namespace

// The folder placeholders against the folders Wine's registry reports, and
// the registry readers underneath.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "env/privileges.h"
#include "install/folder_placeholders.h"
#include "tests/win/install/install_test_support.h"
#include "text/text_scan.h"

namespace {

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kTestKey[] = "Software\\SetupEngineTests\\Placeholders";

std::string RegistryValue(HKEY root, const char* key, const char* name)
{
    std::string value;
    EXPECT_TRUE(ReadRegistryString(root, key, name, value)) << key << " " << name;
    return value;
}

std::string ProgramFiles()
{
    return RegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
}

std::string AppData()
{
    return RegistryValue(HKEY_CURRENT_USER, kShellFolders, "AppData");
}

// "tteemmpp" beside the parent of the system's temporary folder.
std::string UserTemp()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = temp;
    folder.pop_back();  // the trailing backslash
    return folder.substr(0, folder.rfind('\\') + 1) + "tteemmpp";
}

std::string UserName()
{
    char name[256];
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? name : "user";
}

std::string Expanded(const std::string& folder, int forceAdmin = 0, int forceUser = 0)
{
    char buffer[512];
    strcpy(buffer, folder.c_str());
    ExpandInstallFolder(buffer, forceAdmin, forceUser);
    return buffer;
}

TEST(FolderPlaceholders, ExpandToTheFoldersTheSystemReports)
{
    UseCodePage(GetACP());
    EXPECT_EQ(Expanded("%ProgramFiles%\\Maker\\Tool"), ProgramFiles() + "\\Maker\\Tool");
    EXPECT_EQ(Expanded("%ProgramFiles%"), ProgramFiles() + "\\");
    EXPECT_EQ(Expanded("%ProgramFilesOrUser%\\Tool", 1, 0), ProgramFiles() + "\\Tool");
    EXPECT_EQ(Expanded("%ProgramFilesOrUser%\\Tool", 1, 1), ProgramFiles() + "\\Tool");
    EXPECT_EQ(Expanded("%ProgramFilesOrUser%\\Tool", 0, 1), AppData() + "\\Tool");
    EXPECT_EQ(Expanded("%ProgramFilesOrUser%\\Tool"), (IsUserAdmin() ? ProgramFiles() : AppData()) + "\\Tool");
    EXPECT_EQ(Expanded("%UserTmp%\\Tool"), UserTemp() + "\\Tool");
    EXPECT_EQ(Expanded("%programfiles%\\Tool"), "%programfiles%\\Tool");
    EXPECT_EQ(Expanded(""), "");
}

TEST(FolderPlaceholders, ExpansionTooLongKeepsThePlaceholder)
{
    // The programs folder, a backslash and the rest make 512 bytes: one too many.
    const std::string folder = "%ProgramFiles%\\" + std::string(511 - ProgramFiles().size(), 'x');
    EXPECT_EQ(Expanded(folder), folder);
}

TEST(FolderPlaceholders, TempComponentsAreRenamedAndMade)
{
    const std::string work = FreshFolder("placeholders-temp");
    EXPECT_EQ(Expanded(work + "\\Temp\\Tool"), work + "\\tteemmpp" + UserName() + "\\Tool");
    EXPECT_TRUE(FileExists(work + "\\tteemmpp" + UserName() + "\\Tool"));
    EXPECT_FALSE(FileExists(work + "\\Temp"));
}

// Values written by the test under its own key, removed afterwards.
class RegistryReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    }
    void Set(const char* name, DWORD type, const std::string& bytes)
    {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    HKEY key_ = nullptr;
};

TEST_F(RegistryReaders, ValuesUpToFiveHundredElevenBytesAreRead)
{
    Set("plain", REG_SZ, std::string("C:\\Tools") + '\0');
    Set("unterminated", REG_BINARY, "C:\\Raw");
    Set("longest", REG_SZ, std::string(511, 'a') + '\0');
    Set("tooLong", REG_SZ, std::string(512, 'a') + '\0');
    Set("fullWithoutTerminator", REG_BINARY, std::string(512, 'a'));
    Set("expandable", REG_EXPAND_SZ, std::string("%SystemRoot%\\x") + '\0');
    const struct {
        const char* name;
        int result;
        std::string value;
    } cases[] = {
        {"plain", 1, "C:\\Tools"}, {"unterminated", 1, "C:\\Raw"},   {"longest", 1, std::string(511, 'a')},
        {"tooLong", 0, ""},        {"fullWithoutTerminator", 0, ""}, {"expandable", 1, "%SystemRoot%\\x"},
        {"missing", 0, ""},
    };
    for (const auto& c : cases) {
        char out[512] = "?";
        EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kTestKey, c.name, out), c.result) << c.name;
        EXPECT_EQ(out, c.value) << c.name;
    }
    char out[512] = "?";
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\SetupEngineTests\\NoSuchKey", "plain", out), 0);
}

TEST_F(RegistryReaders, ShellFolderValuesLoseTheirOuterSpaces)
{
    HKEY shellFolders;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &shellFolders), ERROR_SUCCESS);
    const std::pair<const char*, std::string> values[] = {{"EngineTestPadded", "  C:\\My Data  "},
                                                          {"EngineTestSpaces", "    "}};
    for (const auto& [name, value] : values)
        RegSetValueExA(shellFolders, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    char out[512] = "?";
    EXPECT_EQ(ReadShellFolder(HKEY_CURRENT_USER, "EngineTestPadded", out), 1);
    EXPECT_STREQ(out, "C:\\My Data");
    EXPECT_EQ(ReadShellFolder(HKEY_CURRENT_USER, "EngineTestSpaces", out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ReadShellFolder(HKEY_CURRENT_USER, "EngineTestMissing", out), 0);
    for (const auto& value : values)
        RegDeleteValueA(shellFolders, value.first);
    RegCloseKey(shellFolders);

    char appData[512];
    GetUserAppDataFolder(appData);
    EXPECT_EQ(appData, AppData());
    char programs[512];
    GetProgramFilesFolder(programs);
    EXPECT_EQ(programs, ProgramFiles());
}

}  // namespace

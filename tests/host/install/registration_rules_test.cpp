#include <gtest/gtest.h>

#include <string>

#include "install/registration_rules.h"
#include "tests/host/common/shift_jis.h"
#include "text/text_scan.h"

namespace {

struct TailCase {
    bool forceAdmin, forceUser;
    const char* command;
};

constexpr TailCase kTailCases[] = {
    {false, false, "\"C:\\Apps\\Tool\\unquilbex.exe\" -u"},
    {true, false, "\"C:\\Apps\\Tool\\unquilbex.exe\" -u \"-ForceAdmin\""},
    {false, true, "\"C:\\Apps\\Tool\\unquilbex.exe\" -u \"-ForceUser\""},
    {true, true, "\"C:\\Apps\\Tool\\unquilbex.exe\" -u \"-ForceAdmin\" \"-ForceUser\""},
};

TEST(RegistrationRules, UninstallCommandCarriesTheRunsOptions)
{
    char uninstaller[kEntryTextSize];
    ASSERT_TRUE(FormatUninstallerPath(uninstaller, sizeof uninstaller, "C:\\Apps\\Tool"));
    EXPECT_STREQ(uninstaller, "C:\\Apps\\Tool\\unquilbex.exe");
    for (const TailCase& c : kTailCases) {
        char command[kEntryTextSize];
        ASSERT_TRUE(FormatUninstallCommand(command, sizeof command, uninstaller, c.forceAdmin, c.forceUser));
        EXPECT_STREQ(command, c.command);
        char quiet[kEntryTextSize];
        ASSERT_TRUE(FormatQuietUninstallCommand(quiet, sizeof quiet, uninstaller, c.forceAdmin, c.forceUser));
        EXPECT_EQ(std::string(quiet), std::string(c.command) + " -Silent");
    }
}

TEST(RegistrationRules, FolderWithTrailingBackslashIsJoinedAsItIs)
{
    char uninstaller[kEntryTextSize];
    ASSERT_TRUE(FormatUninstallerPath(uninstaller, sizeof uninstaller, "D:\\"));
    EXPECT_STREQ(uninstaller, "D:\\\\unquilbex.exe");
}

TEST(RegistrationRules, KeyPaths)
{
    char path[kEntryTextSize];
    ASSERT_TRUE(FormatProductKeyPath(path, sizeof path, "Sample Viewer"));
    EXPECT_STREQ(path, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Viewer");
    ASSERT_TRUE(FormatInstalledFilesKeyPath(path, sizeof path, "Sample Viewer"));
    EXPECT_STREQ(path, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Viewer\\installFiles");
}

// A value one byte too long for its buffer is refused whole.
TEST(RegistrationRules, OverlongValuesAreRefusedNotCut)
{
    const std::string prefix = kUninstallKeyPath;
    const std::string fits(kEntryTextSize - 1 - prefix.size() - 1, 'n');
    char path[kEntryTextSize];
    EXPECT_TRUE(FormatProductKeyPath(path, sizeof path, fits.c_str()));
    EXPECT_FALSE(FormatProductKeyPath(path, sizeof path, (fits + "n").c_str()));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(FormatInstalledFilesKeyPath(path, sizeof path, fits.c_str()));
    EXPECT_STREQ(path, "");

    const std::string folder(kEntryTextSize - 1 - 14, 'f');  // "\\unquilbex.exe" is 14 bytes
    EXPECT_TRUE(FormatUninstallerPath(path, sizeof path, folder.c_str()));
    EXPECT_FALSE(FormatUninstallerPath(path, sizeof path, (folder + "f").c_str()));
    EXPECT_STREQ(path, "");

    const std::string uninstaller(kEntryTextSize - 1 - 5 - 27, 'u');  // quotes and " -u": 5; both options: 27
    char command[kEntryTextSize];
    EXPECT_TRUE(FormatUninstallCommand(command, sizeof command, uninstaller.c_str(), true, true));
    EXPECT_FALSE(FormatUninstallCommand(command, sizeof command, (uninstaller + "u").c_str(), true, true));
    EXPECT_STREQ(command, "");
    EXPECT_FALSE(FormatQuietUninstallCommand(command, sizeof command, uninstaller.c_str(), true, true));
    EXPECT_STREQ(command, "");
}

TEST(RegistrationRules, FileValueNamesHaveFiveDigitsAndASixthWhenNeeded)
{
    const struct {
        uint32_t number;
        const char* name;
    } cases[] = {{0, "file00000"},     {7, "file00007"},       {12345, "file12345"},
                 {99999, "file99999"}, {100000, "file100000"}, {4294967295u, "file4294967295"}};
    for (const auto& c : cases) {
        char name[kFileValueNameSize];
        FormatFileValueName(name, c.number);
        EXPECT_STREQ(name, c.name);
    }
}

TEST(RegistrationRules, EstimatedSizeIsRoundedUpToWholeKiB)
{
    EXPECT_EQ(EstimatedSizeKiB(0), 0u);
    EXPECT_EQ(EstimatedSizeKiB(1), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1024), 1u);
    EXPECT_EQ(EstimatedSizeKiB(1025), 2u);
    EXPECT_EQ(EstimatedSizeKiB(4294967295u), 4194304u);
}

struct NameCase {
    std::string name;
    bool usable;
};

TEST(RegistrationRules, ProductNameMustBeOneFolderName)
{
    UseCodePage(932);
    const NameCase cases[] = {
        {"Sample Viewer", true},
        {"Tool 2.0", true},
        {".hidden", true},
        {ToShiftJis("表計算"), true},  // 0x95 0x5C: the trail byte is no backslash
        {ToShiftJis("サンプルビューア"), true},
        {"", false},
        {".", false},
        {"..", false},
        {" . .", false},
        {"   ", false},
        {"..\\..\\Evil", false},
        {"Maker\\Tool", false},
        {"Maker/Tool", false},
        {"C:Tool", false},
        {"C:\\Windows", false},
        {ToShiftJis("表") + "\\x", false},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(IsOneFolderName(c.name.c_str()), c.usable) << c.name;
}

TEST(RegistrationRules, SuccessMessageInBothLanguages)
{
    EXPECT_STREQ(InstalledProperlyText(false), "Installed properly.");
    EXPECT_EQ(InstalledProperlyText(true), ToShiftJis("正しくインストールしました。"));
}

}  // namespace

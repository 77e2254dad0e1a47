#include <gtest/gtest.h>

#include <string>

#include "install/folder_placeholder_rules.h"
#include "text/text_scan.h"

namespace {

struct MatchCase {
    const char* folder;
    FolderPlaceholder placeholder;
    size_t length;
};

const MatchCase kMatchCases[] = {
    {"%ProgramFiles%\\Tool", FolderPlaceholder::ProgramFiles, 14},
    {"%ProgramFiles%", FolderPlaceholder::ProgramFiles, 14},
    {"%ProgramFilesOrUser%\\Tool", FolderPlaceholder::ProgramFilesOrUser, 20},
    {"%UserTmp%\\Tool", FolderPlaceholder::UserTmp, 9},
    {"%programfiles%\\Tool", FolderPlaceholder::None, 0},  // case-sensitive
    {"%ProgramFiles\\Tool", FolderPlaceholder::None, 0},   // no closing percent sign
    {"C:\\%ProgramFiles%", FolderPlaceholder::None, 0},    // only at the very start
    {"%UserTmp", FolderPlaceholder::None, 0},
    {"", FolderPlaceholder::None, 0},
};

TEST(FolderPlaceholders, MatchOnlyAtTheStartInTheirOwnLetterCase)
{
    for (const MatchCase& c : kMatchCases) {
        size_t length = 99;
        EXPECT_EQ(MatchFolderPlaceholder(c.folder, &length), c.placeholder) << c.folder;
        EXPECT_EQ(length, c.length) << c.folder;
    }
}

struct ExpandCase {
    std::string folder;
    std::string expansion;
    std::string expanded;
};

const ExpandCase kExpandCases[] = {
    {"%ProgramFiles%\\Tool\\Sub", "C:\\Program Files", "C:\\Program Files\\Tool\\Sub"},
    {"%ProgramFiles%", "C:\\Program Files", "C:\\Program Files\\"},
    {"%ProgramFiles%Tool", "C:\\Program Files", "C:\\Program Files\\Tool"},
    {"%ProgramFiles%\\\\Tool", "C:\\Program Files", "C:\\Program Files\\\\Tool"},  // one backslash skipped
    {"%ProgramFilesOrUser%\\Tool", "", "Tool"},                                    // no folder: rest alone
    {"%UserTmp%\\Tool", "C:\\Local\\tteemmpp", "C:\\Local\\tteemmpp\\Tool"},
    {"%ProgramFiles%\\Tool", "C:\\PF\\", "C:\\PF\\Tool"},
    {"%ProgramFiles%\\Tool", "C:\\\x95\x5C", "C:\\\x95\x5C\\Tool"},  // 0x5C trail: no separator
};

TEST(FolderPlaceholders, ExpansionJoinsTheRestBehindOneSkippedBackslash)
{
    UseCodePage(932);
    for (const ExpandCase& c : kExpandCases) {
        char folder[512];
        strcpy(folder, c.folder.c_str());
        size_t length = 0;
        ASSERT_NE(MatchFolderPlaceholder(folder, &length), FolderPlaceholder::None);
        EXPECT_TRUE(ReplacePlaceholder(folder, sizeof folder, length, c.expansion.c_str())) << c.folder;
        EXPECT_EQ(folder, c.expanded) << c.folder;
    }
}

TEST(FolderPlaceholders, ExpansionThatDoesNotFitLeavesThePlaceholderInPlace)
{
    const std::string programs = "C:\\" + std::string(496, 'p');  // 499 bytes
    char folder[512] = "%ProgramFiles%\\ToolName123";             // 499 + 1 + 11 = 511: fits
    ASSERT_TRUE(ReplacePlaceholder(folder, sizeof folder, 14, programs.c_str()));
    EXPECT_EQ(std::string(folder), programs + "\\ToolName123");

    strcpy(folder, "%ProgramFiles%\\ToolName1234");  // one byte more
    EXPECT_FALSE(ReplacePlaceholder(folder, sizeof folder, 14, programs.c_str()));
    EXPECT_STREQ(folder, "%ProgramFiles%\\ToolName1234");

    char small[24] = "%UserTmp%\\Tool";  // the caller's buffer counts too
    EXPECT_FALSE(ReplacePlaceholder(small, sizeof small, 9, "C:\\Users\\someone\\tteemmpp"));
    EXPECT_STREQ(small, "%UserTmp%\\Tool");
}

int gAdminQuestions;
bool Admin()
{
    ++gAdminQuestions;
    return true;
}
bool NoAdmin()
{
    ++gAdminQuestions;
    return false;
}

TEST(FolderPlaceholders, ProgramFilesOrUserFollowsTheOptionsThenTheRights)
{
    struct {
        bool forceAdmin, forceUser;
        bool (*isAdmin)();
        bool machineWide;
        int questions;
    } const cases[] = {
        {true, false, NoAdmin, true, 0}, {true, true, NoAdmin, true, 0},    {false, true, Admin, false, 0},
        {false, false, Admin, true, 1},  {false, false, NoAdmin, false, 1},
    };
    for (const auto& c : cases) {
        gAdminQuestions = 0;
        EXPECT_EQ(ProgramFilesOrUserIsMachineWide(c.forceAdmin, c.forceUser, c.isAdmin), c.machineWide);
        EXPECT_EQ(gAdminQuestions, c.questions);
    }
}

TEST(FolderPlaceholders, ShellFolderValuesLoseOuterSpaces)
{
    UseCodePage(932);
    struct {
        const char* value;
        const char* trimmed;
        bool nonEmpty;
    } const cases[] = {
        {"  C:\\Users\\x\\AppData  ", "C:\\Users\\x\\AppData", true},
        {"C:\\My Data", "C:\\My Data", true},
        {"C:\\\x82\xA0 ", "C:\\\x82\xA0", true},
        {"    ", "", false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        char value[512];
        strcpy(value, c.value);
        EXPECT_EQ(TrimShellFolderValue(value), c.nonEmpty) << c.value;
        EXPECT_STREQ(value, c.trimmed);
    }
}

TEST(FolderPlaceholders, ProgramFilesBesideTheWindowsFolder)
{
    UseCodePage(932);
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\WINDOWS", "C:\\Program Files"},
        {"D:\\WINNT", "D:\\Program Files"},
        {"C:\\Sys\\Windows", "C:\\Sys\\Program Files"},
        {"WINDOWS", "WINDOWS\\Program Files"},
        {"C:\\\x95\x5C\\WIN", "C:\\\x95\x5C\\Program Files"},
    };
    for (const auto& [windows, programs] : cases) {
        char out[512];
        EXPECT_TRUE(ProgramFilesBesideWindows(out, sizeof out, windows));
        EXPECT_STREQ(out, programs);
    }
}

TEST(FolderPlaceholders, UserTmpIsTteemmppBesideTheInstallersTemporaryFolder)
{
    char out[512] = "?";
    EXPECT_TRUE(UserTempBaseBeside(out, sizeof out, "X:\\Documents and Settings\\user\\Local Settings\\vbnxoPmet"));
    EXPECT_STREQ(out, "X:\\Documents and Settings\\user\\Local Settings\\tteemmpp");
    EXPECT_FALSE(UserTempBaseBeside(out, sizeof out, ""));
    EXPECT_STREQ(out, "");
}

}  // namespace

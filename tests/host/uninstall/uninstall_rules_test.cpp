#include <gtest/gtest.h>

#include <string>

#include "tests/host/common/shift_jis.h"
#include "text/text_scan.h"
#include "uninstall/uninstall_rules.h"

namespace {

class ShiftJisScan : public ::testing::Test {
protected:
    void SetUp() override { UseCodePage(932); }
};

struct RecordedCase {
    const char* name;
    const char* path;  // nullptr: refused
};

// The installation folder is "C:\Prod".
const RecordedCase kRecordedCases[] = {
    {"readme.txt", "C:\\Prod\\readme.txt"},
    {"bin\\tool.exe", "C:\\Prod\\bin\\tool.exe"},
    {"data\\deep\\table.dat", "C:\\Prod\\data\\deep\\table.dat"},
    {"a..b\\.profile", "C:\\Prod\\a..b\\.profile"},
    {"\x95\x5C\\x.txt", "C:\\Prod\\\x95\x5C\\x.txt"},  // trail byte 0x5C is no separator
    {"", nullptr},
    {"C:\\Windows\\win.ini", nullptr},
    {"C:win.ini", nullptr},
    {"c:\\", nullptr},
    {"\\Windows\\win.ini", nullptr},
    {"/etc/passwd", nullptr},
    {"\\\\server\\share\\x", nullptr},
    {"..", nullptr},
    {"..\\sentinel.txt", nullptr},
    {"../sentinel.txt", nullptr},
    {"bin\\..\\..\\sentinel.txt", nullptr},
    {"bin\\..", nullptr},
    {"bin\\.. \\x", nullptr},  // Windows drops the trailing blank: ".."
    {"bin\\.\\x", nullptr},
    {"bin\\\\x", nullptr},
    {"NUL", nullptr},
    {"file.txt:stream", nullptr},
};

TEST_F(ShiftJisScan, RecordedNamesStayInsideTheInstallationFolder)
{
    for (const RecordedCase& c : kRecordedCases) {
        char out[512] = "not touched";
        const bool joined = RecordedFilePath(out, sizeof out, "C:\\Prod", c.name);
        EXPECT_EQ(joined, c.path != nullptr) << c.name;
        EXPECT_STREQ(out, c.path != nullptr ? c.path : "") << c.name;
    }
}

TEST_F(ShiftJisScan, RecordedPathThatWouldNotFitIsRefusedNotCut)
{
    const std::string folder = "C:\\" + std::string(500, 'f');
    char out[512];
    EXPECT_TRUE(RecordedFilePath(out, sizeof out, folder.c_str(), std::string(7, 'n').c_str()));  // 511 bytes
    EXPECT_EQ(strlen(out), 511u);
    EXPECT_FALSE(RecordedFilePath(out, sizeof out, folder.c_str(), std::string(8, 'n').c_str()));
    EXPECT_STREQ(out, "");
}

struct RootCase {
    const char* folder;
    bool root;
};

const RootCase kRootCases[] = {
    {"", true},
    {"C:", true},
    {"C:\\", true},
    {"z:/", true},
    {"\\", true},
    {"\\\\", true},
    {"\\\\server", true},
    {"\\\\server\\share", true},
    {"\\\\server\\share\\", true},
    {"\\\\server\\share\\Prod", false},
    {"C:\\Prod", false},
    {"C:\\Prod\\", false},
    {"\\Prod", false},
    {"Prod", false},
    {"\\\\server\\\x95\x5C", true},  // one share whose name ends in trail byte 0x5C
    {"\\\\server\\\x95\x5C\\Prod", false},
};

TEST_F(ShiftJisScan, RootFolders)
{
    for (const RootCase& c : kRootCases)
        EXPECT_EQ(IsRootFolder(c.folder), c.root) << c.folder;
}

struct SameCase {
    const char* a;
    const char* b;
    bool same;
};

const SameCase kSameCases[] = {
    {"C:\\Windows", "C:\\Windows", true},
    {"C:\\Windows", "c:\\WINDOWS\\", true},
    {"C:\\Windows\\", "C:\\Windows", true},
    {"C:\\Windows", "C:\\Windows\\system32", false},
    {"C:\\Window", "C:\\Windows", false},
    {"C:\\Windows\\\\", "C:\\Windows", false},  // only one trailing backslash is ignored
    {"C:\\\x95\x5C", "C:\\\x95\x5C", true},
    {"C:\\\x95\x5C", "C:\\\x95", false},      // the trail byte is no trailing backslash
    {"C:\\\x83\x41", "C:\\\x83\x61", false},  // trail bytes are not letters
    {"", "", true},
};

TEST_F(ShiftJisScan, SameFolders)
{
    for (const SameCase& c : kSameCases) {
        EXPECT_EQ(IsSameFolder(c.a, c.b), c.same) << c.a << " | " << c.b;
        EXPECT_EQ(IsSameFolder(c.b, c.a), c.same) << c.b << " | " << c.a;
    }
}

TEST_F(ShiftJisScan, ProtectedInstallFolders)
{
    const char* systemFolders[] = {"C:\\windows", "", "C:\\windows\\system32", "C:\\users\\me"};
    const struct {
        const char* folder;
        bool protectedFolder;
    } cases[] = {
        {"C:\\", true},
        {"D:", true},
        {"C:\\Windows", true},
        {"c:\\WINDOWS\\System32\\", true},
        {"C:\\Users\\Me", true},
        {"C:\\Users\\Me\\Product", false},
        {"C:\\Program Files\\Product", false},
        {"C:\\Windows\\Product", false},
        {"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsProtectedInstallFolder(c.folder, systemFolders, 4), c.protectedFolder) << c.folder;
}

TEST(UninstallTexts, BothLanguages)
{
    EXPECT_STREQ(UninstallQuestionText(false), "Do you want to Uninstall ?");
    EXPECT_STREQ(UninstalledProperlyText(false), "Uninstalled properly.");
    EXPECT_EQ(UninstallQuestionText(true), ToShiftJis("アンインストールを開始しますか？"));
    EXPECT_EQ(UninstalledProperlyText(true), ToShiftJis("正しくアンインストールしました。"));
}

}  // namespace

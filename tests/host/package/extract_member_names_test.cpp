#include <gtest/gtest.h>

#include <string>

#include "package/extract_member_names.h"
#include "text/text_scan.h"

namespace {

class CodePage {
public:
    explicit CodePage(unsigned codePage) { UseCodePage(codePage); }
    ~CodePage() { UseCodePage(932); }
};

struct NameCase {
    unsigned codePage;
    std::string name;
    bool safe;
};

// "\x95\x5C" is a kanji whose trail byte is 0x5C, "\x83\x5C" a katakana one.
const NameCase kNameCases[] = {
    {932, "readme.txt", true},
    {932, "bin\\tool.exe", true},
    {932, "a\\b\\c.txt", true},
    {932, "a/b.txt", true},
    {932, ".profile", true},
    {932, "..data", true},
    {932, "a..b", true},
    {932, "name with spaces.txt", true},
    {932, "$bmp", true},
    {932, "console.log", true},
    {932, "COM10", true},
    {932, "\x95\x5C.txt", true},
    {932, "\x95\x5C..", true},  // the pair is one character: no ".." component
    {932, "\x83\x5C\x83t\x83g\\\x95\x5C.txt", true},
    {932, "\x95\x5C\\", false},   // a real backslash ends the name
    {1252, "\x95\x5C..", false},  // byte by byte, 0x5C separates a ".."
    {932, "", false},
    {932, "\\abs.txt", false},
    {932, "/abs.txt", false},
    {932, "\\\\server\\share\\x.txt", false},
    {932, "C:\\abs.txt", false},
    {932, "C:abs.txt", false},
    {932, "file.txt:stream", false},
    {932, "..\\escape.txt", false},
    {932, "../escape.txt", false},
    {932, "a\\..\\..\\escape.txt", false},
    {932, "a/../../escape.txt", false},
    {932, "a\\..", false},
    {932, "..", false},
    {932, ".", false},
    {932, "...", false},
    {932, ".. \\escape.txt", false},  // Windows drops the trailing space
    {932, "a\\\\b.txt", false},
    {932, "a\\", false},
    {932, "tab\there.txt", false},
    {932, "line\nfeed.txt", false},
    {932, "del\x7F.txt", false},
    {932, "CON", false},
    {932, "nul.txt", false},
    {932, "sub\\Com1", false},
    {932, "LPT9.log", false},
    {932, "aux .txt", false},
    {932, "CONOUT$", false},
};

TEST(MemberNames, SafeNamesStayBelowTheDestination)
{
    for (const NameCase& c : kNameCases) {
        CodePage codePage(c.codePage);
        EXPECT_EQ(IsSafeMemberName(c.name.c_str()), c.safe) << '"' << c.name << "\" in code page " << c.codePage;
    }
}

TEST(MemberNames, TargetPathJoinsSafeNamesWithinFiveHundredElevenBytes)
{
    const std::string folder = "C:\\" + std::string(297, 'f');  // 300 bytes
    char target[512] = "x";
    const std::string fits(210, 'n');  // 300 + 1 + 210 = 511
    ASSERT_TRUE(MemberTargetPath(target, sizeof target, folder.c_str(), fits.c_str()));
    EXPECT_EQ(std::string(target), folder + "\\" + fits);

    const std::string tooLong(211, 'n');
    EXPECT_FALSE(MemberTargetPath(target, sizeof target, folder.c_str(), tooLong.c_str()));
    EXPECT_STREQ(target, "");

    strcpy(target, "x");
    EXPECT_FALSE(MemberTargetPath(target, sizeof target, "C:\\dest", "..\\escape.txt"));
    EXPECT_STREQ(target, "");

    ASSERT_TRUE(MemberTargetPath(target, sizeof target, "C:\\dest\\", "a\\b.txt"));
    EXPECT_STREQ(target, "C:\\dest\\a\\b.txt");
}

TEST(MemberNames, InstallerMembersInAnyLetterCase)
{
    struct {
        const char* name;
        bool installer;
        bool splash;
    } const cases[] = {
        {"$", true, false},         {"$bmp", true, true}, {"$BMP", true, true},  {"$Mask", true, true},
        {"$bmp.txt", false, false}, {"$$", false, false}, {"bmp", false, false}, {"sub\\$bmp", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsInstallerMember(c.name), c.installer) << c.name;
        EXPECT_EQ(IsSplashMember(c.name), c.splash) << c.name;
    }
}

TEST(MemberNames, FolderPartEndsAtTheLastRealBackslash)
{
    CodePage codePage(932);
    struct {
        const char* name;
        int end;
    } const cases[] = {
        {"a\\b\\c.txt", 3}, {"c.txt", -1}, {"\\c.txt", -1}, {"\x95\x5C.txt", -1}, {"\x95\x5C\\x.txt", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemberFolderEnd(c.name), c.end) << c.name;
}

}  // namespace

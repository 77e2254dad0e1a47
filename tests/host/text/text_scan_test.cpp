#include <gtest/gtest.h>

#include <string>

#include "text/bounded_text.h"
#include "text/language.h"
#include "text/text_scan.h"

namespace {

// Runs each test in the code page it names and restores Shift-JIS afterwards.
class CodePage {
public:
    explicit CodePage(unsigned codePage) { UseCodePage(codePage); }
    ~CodePage() { UseCodePage(932); }
};

struct FindCase {
    unsigned codePage;
    std::string text;
    char wanted;
    int first;
    int expected;
};

const FindCase kFindCases[] = {
    {932, "\x95\x5C", '\\', 1, -1},  // trail byte 0x5C of a pair is no backslash
    {932, "\x95\x5C", '\\', 0, -1},
    {1252, "\x95\x5C", '\\', 1, 1},  // single-byte code page: every byte counts
    {932, "a\\\x95\x5C\\b", '\\', 0, 4},
    {932, "a\\\x95\x5C\\b", '\\', 1, 1},
    {932, "ab\x95", '\x95', 1, 2},  // a lead byte at the end is an ordinary byte
    {932, "\x95 ", ' ', 1, 1},      // lead byte without a valid trail byte: single
    {932,
     "\x95"
     "a",
     'a', 1, -1},                     // 'a' is a trail byte: the pair hides it
    {932, "\x81\x7F\\", '\\', 1, 2},  // 0x7F is no trail byte
    {932, "\xA0\x5C", '\\', 1, 1},    // 0xA0 is no lead byte in Shift-JIS
    {932, "", '\\', 1, -1},
    {936, "\xA0\x5C", '\\', 1, -1},  // but it is one in code page 936
};

TEST(FindByte, HonoursDoubleBytePairs)
{
    for (const FindCase& c : kFindCases) {
        CodePage cp(c.codePage);
        EXPECT_EQ(FindByte(c.text.data(), static_cast<int>(c.text.size()), c.wanted, c.first), c.expected)
            << "code page " << c.codePage << " text " << c.text;
    }
}

TEST(FindByte, LengthLimitsTheRangeAndPairsAcrossItsEnd)
{
    EXPECT_EQ(FindByte("a\\b", 0, '\\', 1), -1);
    EXPECT_EQ(FindByte("a\\b", -5, '\\', 1), -1);
    EXPECT_EQ(FindByte("a\\b", 1, '\\', 1), -1);
    // The pair 0x95 0x5C is cut by the range: the lead byte is the last byte.
    EXPECT_EQ(FindByte("\x95\x5C", 1, '\x95', 1), 0);
}

struct TokenCase {
    std::string text;
    int result;
    std::string token;
    int position;
};

const TokenCase kTokenCases[] = {
    {"  copy more words", 1, "copy", 6},
    {"a=b", 1, "a", 1},
    {"\"C:\\Program Files\\x.exe\" -a", 1, "C:\\Program Files\\x.exe", 24},
    {"\"\"", 1, "", 2},
    {"\"unclosed text", 1, "unclosed text", 14},
    {"'single quoted' x", 1, "single quoted", 15},
    {"\"a'b\"", 1, "a'b", 5},
    {"ab\"cd ef", 1, "ab\"cd", 5},  // quotes inside an unquoted token are bytes
    {"", 0, "", 0},
    {" \t\r\n=,", 0, "", 6},
    {"\x95\x5C\x95\x5C x", 1, "\x95\x5C\x95\x5C", 4},
    {"\x82\x20rest", 1, "\x82", 1},  // 0x20 is no trail byte: the space separates
    {"\"\x83\x22\"", 1, "\x83", 3},  // 0x22 is no trail byte either: the quote closes
};

TEST(NextToken, Cases)
{
    for (const TokenCase& c : kTokenCases) {
        char token[64];
        int position = -1;
        EXPECT_EQ(NextToken(c.text.data(), static_cast<int>(c.text.size()), token, &position), c.result) << c.text;
        EXPECT_EQ(std::string(token), c.token) << c.text;
        EXPECT_EQ(position, c.position) << c.text;
    }
}

TEST(NextToken, FullWidthSpaceIsNoSeparator)
{
    char token[16];
    int position = 0;
    ASSERT_EQ(NextTokenOf("\x81\x40rest x", token, &position), 1);
    EXPECT_STREQ(token, "\x81\x40rest");
    EXPECT_EQ(position, 6);
}

struct JoinCase {
    const char* folder;
    const char* name;
    const char* joined;
};

const JoinCase kJoinCases[] = {
    {"D:\\", "x", "D:\\x"},           {"D:\\a", "x", "D:\\a\\x"}, {"", "x", "x"},
    {"\x95\x5C", "x", "\x95\x5C\\x"},  // trail byte 0x5C is no separator
    {"D:\\a", "\\x", "D:\\a\\\\x"},    // the name is not examined
};

TEST(JoinPath, Cases)
{
    for (const JoinCase& c : kJoinCases) {
        char out[32];
        ASSERT_TRUE(JoinPath(out, c.folder, c.name));
        EXPECT_STREQ(out, c.joined);
    }
}

TEST(JoinPath, RefusesInsteadOfCutting)
{
    char out[8];
    EXPECT_TRUE(JoinPath(out, "D:\\ab", "c"));  // 7 bytes and the terminator fit
    EXPECT_STREQ(out, "D:\\ab\\c");
    EXPECT_FALSE(JoinPath(out, "D:\\abc", "d"));
    EXPECT_STREQ(out, "");
}

TEST(JoinPath, OutputMayBeTheFolderItself)
{
    char path[16] = "D:\\a";
    ASSERT_TRUE(JoinPath(path, path, "x"));
    EXPECT_STREQ(path, "D:\\a\\x");
}

struct CutCase {
    const char* path;
    const char* cut;  // nullptr: nothing to cut, the path stays
};

const CutCase kCutCases[] = {
    {"C:\\Program Files\\Prod\\unquilbex.exe", "C:\\Program Files\\Prod"},
    {"C:\\unquilbex.exe", "C:\\"},
    {"C:\\dir\\", "C:\\dir"},
    {"\\unquilbex.exe", "\\"},
    {"\\\\server\\share\\x.exe", "\\\\server\\share"},
    {"\\\\server", "\\\\"},
    {"unquilbex.exe", ""},
    {"C:unquilbex.exe", "C:"},
    {"C:\\\x95\x5C\\x.exe", "C:\\\x95\x5C"},  // trail byte 0x5C is no separator
    {"C:\\\x95\x5C", "C:\\"},
    {"C:\\", nullptr},
    {"\\", nullptr},
    {"", nullptr},
};

TEST(CutLastComponent, Cases)
{
    UseCodePage(932);
    for (const CutCase& c : kCutCases) {
        char path[64];
        ASSERT_TRUE(CopyText(path, c.path));
        EXPECT_EQ(CutLastComponent(path), c.cut != nullptr) << c.path;
        EXPECT_STREQ(path, c.cut != nullptr ? c.cut : c.path) << c.path;
    }
}

TEST(BoundedText, CopyAndAppendRefuseOverflow)
{
    char buffer[4];
    EXPECT_TRUE(CopyText(buffer, "abc"));
    EXPECT_FALSE(CopyText(buffer, "abcd"));
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(CopyText(buffer, "ab"));
    EXPECT_FALSE(AppendText(buffer, "cd"));
    EXPECT_STREQ(buffer, "ab");
    EXPECT_TRUE(AppendText(buffer, "c"));
    EXPECT_STREQ(buffer, "abc");
}

TEST(Language, JapaneseIsThePrimaryLanguage0x11)
{
    EXPECT_TRUE(IsJapaneseLayout(0x04110411));
    EXPECT_TRUE(IsJapaneseLayout(0xE0010411));
    EXPECT_TRUE(IsJapaneseLayout(0x0811));  // a sublanguage bit set above the low 10 bits
    EXPECT_FALSE(IsJapaneseLayout(0x04090409));
    EXPECT_FALSE(IsJapaneseLayout(0x0412));  // Korean
    EXPECT_FALSE(IsJapaneseLayout(0));
}

}  // namespace

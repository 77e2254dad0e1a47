#include <gtest/gtest.h>

#include <string>

#include "system/run_log_format.h"

namespace {

constexpr LogTime kTime = {2026, 12, 10, 8, 5, 9};

struct LineCase {
    const char* name;
    const char* tag;
    std::string text;
    const char* detail;
    std::string line;
};

const LineCase kLineCases[] = {
    {"tag padded to eight", "file", "docs\\readme.txt", nullptr, "2026-12-10 08:05:09 file     docs\\readme.txt\r\n"},
    {"detail behind a colon", "command", "copy a b", "done", "2026-12-10 08:05:09 command  copy a b: done\r\n"},
    {"a tag of eight has one blank", "shortcut", "C:\\x.lnk", nullptr, "2026-12-10 08:05:09 shortcut C:\\x.lnk\r\n"},
    {"empty text", "start", "", nullptr, "2026-12-10 08:05:09 start    \r\n"},
    // A value cannot end its line or start another.
    {"line breaks escaped", "option", "a\r\nb", "x\ty", "2026-12-10 08:05:09 option   a\\x0D\\x0Ab: x\\x09y\r\n"},
    {"escape and DEL", "option", "\x1B[2J\x7F", nullptr, "2026-12-10 08:05:09 option   \\x1B[2J\\x7F\r\n"},
    // 表 is 95 5C in Shift-JIS: its trail byte stays as it is.
    {"double-byte characters kept", "file", "\x95\x5C.txt", nullptr, "2026-12-10 08:05:09 file     \x95\x5C.txt\r\n"},
};

TEST(FormatLogLine, Cases)
{
    for (const LineCase& c : kLineCases) {
        char line[kLogLineSize];
        ASSERT_TRUE(FormatLogLine(line, sizeof line, kTime, c.tag, c.text.c_str(), c.detail)) << c.name;
        EXPECT_EQ(std::string(line), c.line) << c.name;
    }
}

TEST(FormatLogLine, TimeFieldsArePadded)
{
    char line[kLogLineSize];
    ASSERT_TRUE(FormatLogLine(line, sizeof line, {999, 1, 2, 0, 0, 0}, "end", "done", nullptr));
    EXPECT_STREQ(line, "0999-01-02 00:00:00 end      done\r\n");
}

// The longest values of a run (a command line of 1023 bytes) fit a line; a
// line that does not fit is refused whole, never cut.
TEST(FormatLogLine, LongTextsFitOrAreRefused)
{
    char line[kLogLineSize];
    const std::string command(1023, 'c');
    ASSERT_TRUE(FormatLogLine(line, sizeof line, kTime, "command", command.c_str(), "failed, error 4294967295"));
    EXPECT_EQ(std::string(line).size(), 20 + 9 + 1023 + 2 + 24 + 2);

    const size_t room = 20 + 9 + 2;  // time, tag and line end
    const std::string exact(kLogLineSize - 1 - room, 'x');
    ASSERT_TRUE(FormatLogLine(line, sizeof line, kTime, "file", exact.c_str(), nullptr));
    EXPECT_EQ(std::string(line).size(), kLogLineSize - 1);
    EXPECT_FALSE(FormatLogLine(line, sizeof line, kTime, "file", (exact + "x").c_str(), nullptr));
    EXPECT_STREQ(line, "");

    // Escaping counts: each control byte takes four.
    const std::string controls((kLogLineSize - room) / 4 + 1, '\n');
    EXPECT_FALSE(FormatLogLine(line, sizeof line, kTime, "file", controls.c_str(), nullptr));
    EXPECT_STREQ(line, "");
    EXPECT_TRUE(FormatLogLine(line, sizeof line, kTime, "file", kLogTextTooLong, nullptr));
}

TEST(FormatErrorDetail, Numbers)
{
    char detail[kLogDetailSize];
    FormatErrorDetail(detail, 0);
    EXPECT_STREQ(detail, "failed, error 0");
    FormatErrorDetail(detail, 5);
    EXPECT_STREQ(detail, "failed, error 5");
    FormatErrorDetail(detail, 2147483647u);
    EXPECT_STREQ(detail, "failed, error 2147483647");
    FormatErrorDetail(detail, 0x80070005u);  // E_ACCESSDENIED
    EXPECT_STREQ(detail, "failed, error 0x80070005");
    FormatErrorDetail(detail, 4294967295u);
    EXPECT_STREQ(detail, "failed, error 0xFFFFFFFF");
}

}  // namespace

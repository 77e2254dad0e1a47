#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/command_line.h"
#include "text/text_scan.h"

namespace {

using Arguments = std::vector<std::string>;

Arguments Split(const std::string& line, int capacity = 16, int* found = nullptr)
{
    std::vector<char> storage(line.size() + 2, '\x7F');
    std::vector<char*> entries(static_cast<size_t>(capacity), nullptr);
    const int count = SplitCommandLine(line.c_str(), storage.data(), entries.data(), capacity);
    if (found != nullptr)
        *found = count;
    Arguments result;
    for (int i = 0; i < count && i < capacity; ++i)
        result.emplace_back(entries[static_cast<size_t>(i)]);
    return result;
}

struct SplitCase {
    const char* name;
    std::string line;
    Arguments arguments;
};

const SplitCase kSplitCases[] = {
    {"program only", "setup.exe", {"setup.exe"}},
    {"blanks and tabs separate", "a.exe  -u\t-JustExec ", {"a.exe", "-u", "-JustExec"}},
    {"quoted program name keeps its blanks", "\"C:\\Program Files\\a.exe\" x", {"C:\\Program Files\\a.exe", "x"}},
    {"no escapes in the program name", "\"C:\\dir\\\\\" x", {"C:\\dir\\\\", "x"}},
    {"quotes group blanks", "a.exe -SetDir \"C:\\My Apps\\Prod\"", {"a.exe", "-SetDir", "C:\\My Apps\\Prod"}},
    {"quotes may stop mid-argument", "a.exe \"C:\\My Apps\"\\x", {"a.exe", "C:\\My Apps\\x"}},
    {"backslashes not before a quote are literal", "a.exe \\\\server\\share\\", {"a.exe", "\\\\server\\share\\"}},
    {"two backslashes and a quote give one backslash", "a.exe \"C:\\\\\" y", {"a.exe", "C:\\", "y"}},
    {"an odd backslash makes the quote literal", "a.exe a\\\"b", {"a.exe", "a\"b"}},
    {"three backslashes and a quote", "a.exe a\\\\\\\"b", {"a.exe", "a\\\"b"}},
    {"two quotes inside quotes give one and stay quoted", "a.exe \"x\"\"y z\"", {"a.exe", "x\"y z"}},
    {"an empty quoted argument", "a.exe \"\" b", {"a.exe", "", "b"}},
    {"an unclosed quote runs to the end", "a.exe \"x y", {"a.exe", "x y"}},
    {"empty line", "", {""}},
};

TEST(SplitCommandLine, Cases)
{
    UseCodePage(1252);
    for (const SplitCase& c : kSplitCases)
        EXPECT_EQ(Split(c.line), c.arguments) << c.name;
}

// In Shift-JIS a trail byte may be 0x5C; it is no backslash, so it does not
// make the closing quote behind it literal.
TEST(SplitCommandLine, TrailByteBeforeAQuoteIsNoBackslash)
{
    UseCodePage(932);
    EXPECT_EQ(Split("a.exe \"C:\\\x95\x5C\" b"), (Arguments{"a.exe", "C:\\\x95\x5C", "b"}));
    UseCodePage(1252);
    EXPECT_EQ(Split("a.exe \"C:\\\x95\x5C\" b"), (Arguments{"a.exe", "C:\\\x95\" b"}));
}

TEST(SplitCommandLine, CountsArgumentsBeyondTheCapacity)
{
    UseCodePage(1252);
    int found = 0;
    EXPECT_EQ(Split("a.exe 1 2 3 4", 3, &found), (Arguments{"a.exe", "1", "2"}));
    EXPECT_EQ(found, 5);
}

struct TailCase {
    const char* line;
    const char* tail;
};

const TailCase kTailCases[] = {
    {"setup.exe -u x", "-u x"},
    {"\"C:\\a b\\setup.exe\"   -u", "-u"},
    {"\"C:\\a b\\setup.exe\"-u", "-u"},
    {"setup.exe", ""},
    {"\"unclosed", ""},
};

TEST(CommandLineTail, Cases)
{
    for (const TailCase& c : kTailCases)
        EXPECT_STREQ(CommandLineTail(c.line), c.tail) << c.line;
}

}  // namespace

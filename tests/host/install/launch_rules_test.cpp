#include <gtest/gtest.h>

#include <string>

#include "install/launch_rules.h"
#include "text/text_scan.h"

namespace {

TEST(LaunchRules, HelpFilesByTheirLastFourCharacters)
{
    const struct {
        const char* command;
        bool help;
    } cases[] = {{"manual.chm", true}, {"docs\\Manual.CHM", true}, {".chm", true},         {"chm", false},
                 {"", false},          {"manual.chm /x", false},   {"manual.chmx", false}, {"\"manual.chm\"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsHelpFileCommand(c.command), c.help) << c.command;
}

TEST(LaunchRules, CopyKeywordInAnyLetterCase)
{
    for (const char* word : {"copy", "COPY", "Copy"})
        EXPECT_TRUE(IsCopyKeyword(word)) << word;
    for (const char* word : {"copy.exe", "xcopy", "cop", ""})
        EXPECT_FALSE(IsCopyKeyword(word)) << word;
}

struct CopyCase {
    const char* text;  // what follows the keyword
    CopyArguments outcome;
    const char* source;
    const char* destination;
};

constexpr CopyCase kCopyCases[] = {
    {" a.ini b.ini", CopyArguments::Copy, "a.ini", "b.ini"},
    {" defaults\\settings.ini settings.ini", CopyArguments::Copy, "defaults\\settings.ini", "settings.ini"},
    {" \"my file.txt\" 'other name.txt' ignored", CopyArguments::Copy, "my file.txt", "other name.txt"},
    {"=a.ini,b.ini", CopyArguments::Copy, "a.ini", "b.ini"},
    {"\ta.ini\r\nb.ini", CopyArguments::Copy, "a.ini", "b.ini"},
    {" \"\" b.ini", CopyArguments::NothingToCopy, "", "b.ini"},
    {" a.ini \"\"", CopyArguments::Copy, "a.ini", ""},
    {" a.ini", CopyArguments::Missing, "a.ini", ""},
    {" a.ini   ", CopyArguments::Missing, "a.ini", ""},
    {"", CopyArguments::Missing, "", ""},
    {"   ", CopyArguments::Missing, "", ""},
    {" \"", CopyArguments::Missing, "", ""},
};

TEST(LaunchRules, CopyTakesSourceAndDestinationTokens)
{
    UseCodePage(932);
    for (const CopyCase& c : kCopyCases) {
        char source[kCommandTextSize], destination[kCommandTextSize];
        EXPECT_EQ(SplitCopyArguments(c.text, source, destination), c.outcome) << c.text;
        EXPECT_STREQ(source, c.source) << c.text;
        EXPECT_STREQ(destination, c.destination) << c.text;
    }
}

TEST(LaunchRules, CopyOfATextTooLongForTheBuffersFails)
{
    const std::string fits = " a.ini " + std::string(kCommandTextSize - 1 - 7, 'b');
    char source[kCommandTextSize], destination[kCommandTextSize];
    EXPECT_EQ(SplitCopyArguments(fits.c_str(), source, destination), CopyArguments::Copy);
    EXPECT_EQ(SplitCopyArguments((fits + "b").c_str(), source, destination), CopyArguments::Missing);
}

TEST(LaunchRules, FirstTokenAndTheRestBehindIt)
{
    UseCodePage(932);
    const struct {
        const char* command;
        const char* token;
        const char* rest;
    } cases[] = {
        {"setup2.exe /quiet", "setup2.exe", " /quiet"},
        {"\"C:\\Program Files\\Tool\\tool.exe\" -x \"a b\"", "C:\\Program Files\\Tool\\tool.exe", " -x \"a b\""},
        {"  copy a b", "copy", " a b"},
        {"tool.exe", "tool.exe", ""},
        {"\x95\x5C.exe arg", "\x95\x5C.exe", " arg"},  // a trail byte 0x5C inside the program name
        {"   ", "", ""},
    };
    for (const auto& c : cases) {
        char token[kCommandTextSize];
        int rest = -1;
        ASSERT_TRUE(TakeFirstToken(c.command, token, &rest)) << c.command;
        EXPECT_STREQ(token, c.token) << c.command;
        EXPECT_STREQ(c.command + rest, c.rest) << c.command;
    }
}

TEST(LaunchRules, CommandLineTooLongForTheBuffersIsRefused)
{
    const std::string fits = "tool.exe " + std::string(kCommandTextSize - 1 - 9, 'a');
    char token[kCommandTextSize];
    int rest = 0;
    EXPECT_TRUE(TakeFirstToken(fits.c_str(), token, &rest));
    EXPECT_FALSE(TakeFirstToken((fits + "a").c_str(), token, &rest));
    EXPECT_STREQ(token, "");
}

TEST(LaunchRules, ProgramIsQuotedAndTheRestFollowsUnchanged)
{
    const struct {
        const char* program;
        const char* rest;
        const char* text;
    } cases[] = {
        {"C:\\App\\tool.exe", " -x", "\"C:\\App\\tool.exe\" -x"},
        {"notepad.exe", "", "\"notepad.exe\""},
        {"C:\\Program Files\\a.exe", " \"quoted arg\" 'single'",
         "\"C:\\Program Files\\a.exe\" \"quoted arg\" 'single'"},
        {"", " x", "\"\" x"},
    };
    for (const auto& c : cases) {
        char text[kCommandTextSize];
        ASSERT_TRUE(BuildCommandText(text, c.program, c.rest)) << c.program;
        EXPECT_STREQ(text, c.text);
    }
}

TEST(LaunchRules, CommandTextThatWouldNotFitIsRefused)
{
    const std::string program(kCommandTextSize - 1 - 2 - 3, 'p');  // two quotes, " -x"
    char text[kCommandTextSize];
    EXPECT_TRUE(BuildCommandText(text, program.c_str(), " -x"));
    EXPECT_EQ(strlen(text), kCommandTextSize - 1);
    EXPECT_FALSE(BuildCommandText(text, program.c_str(), " -xy"));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(BuildCommandText(text, (program + "pppp").c_str(), ""));
    EXPECT_STREQ(text, "");
}

}  // namespace

namespace {

TEST(LaunchRules, DesktopShortcutPath)
{
    UseCodePage(932);
    const std::string desktop = "C:\\users\\me\\Desktop";
    const struct {
        std::string folder, product, path;  // path empty: refused
    } cases[] = {
        {desktop, "Sample Viewer", desktop + "\\Sample Viewer.lnk"},
        {desktop, "\x83T\x83\x93\x83v\x83\x8B\x95\\", desktop + "\\\x83T\x83\x93\x83v\x83\x8B\x95\\.lnk"},
        {"C:\\", "Tool", "C:\\\\Tool.lnk"},
        {desktop, "", ""},
        {desktop, "Sub\\Product", ""},
        {desktop, "a/b", ""},
        {desktop, "C:Product", ""},
        {desktop, "..", ""},
        {desktop, std::string(kCommandTextSize - desktop.size() - 5, 'n'), ""},  // one byte too long
        {desktop, std::string(kCommandTextSize - desktop.size() - 6, 'n'),
         desktop + "\\" + std::string(kCommandTextSize - desktop.size() - 6, 'n') + ".lnk"},
    };
    for (const auto& c : cases) {
        char path[kCommandTextSize] = "left over";
        EXPECT_EQ(FormatDesktopShortcutPath(path, c.folder.c_str(), c.product.c_str()), !c.path.empty()) << c.product;
        EXPECT_EQ(std::string(path), c.path) << c.product;
    }
}

}  // namespace

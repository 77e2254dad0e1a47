#include <gtest/gtest.h>

#include "tests/host/common/shift_jis.h"

#include <string>

#include "env/running_app_question.h"
#include "text/text_scan.h"

namespace {

class CodePage {
public:
    explicit CodePage(unsigned codePage) { UseCodePage(codePage); }
    ~CodePage() { UseCodePage(932); }
};

struct DisplayNameCase {
    unsigned codePage;
    std::string className;
    std::string shown;
};

const DisplayNameCase kDisplayNameCases[] = {
    {932, "MyAppClass", "MyApp"},
    {932, "MYAPPCLASS", "MYAPP"},
    {932, "myappclass", "myapp"},
    {932, "XClass", "X"},
    {932, "ClassClass", "Class"},
    {932, "Class", "Class"},  // five characters stay whole
    {932, "CLASS", "CLASS"},
    {932, "class", "class"},
    {932, "Classy", "Classy"},
    {932, "MyAppClas", "MyAppClas"},
    {932, "MyApp", "MyApp"},
    {932, ToShiftJis("ViewerＣｌａｓｓ"), ToShiftJis("ViewerＣｌａｓｓ")},  // full-width letters are no "Class"
    {932, "", ""},
    {932, ToShiftJis("ビューアClass"), ToShiftJis("ビューア")},
    // 0x83 0x43 is one character, so the text ends in "lass", not "Class".
    {932,
     "\x83"
     "Class",
     "\x83"
     "Class"},
    {1252,
     "\x83"
     "Class",
     "\x83"},
};

TEST(RunningAppQuestion, DisplayNameDropsATrailingClass)
{
    for (const DisplayNameCase& c : kDisplayNameCases) {
        CodePage codePage(c.codePage);
        char name[kDisplayNameSize] = "previous";
        ASSERT_TRUE(MakeDisplayName(c.className.c_str(), name)) << c.className;
        EXPECT_EQ(name, c.shown) << c.className << " in code page " << c.codePage;
    }
}

TEST(RunningAppQuestion, DisplayNameOfAClassNameTooLongIsRefused)
{
    char name[kDisplayNameSize] = "previous";
    const std::string longest = std::string(506, 'w') + "Class";
    ASSERT_TRUE(MakeDisplayName(longest.c_str(), name));
    EXPECT_EQ(name, std::string(506, 'w'));
    EXPECT_FALSE(MakeDisplayName((longest + "x").c_str(), name));
    EXPECT_STREQ(name, "");
}

struct QuestionCase {
    bool japanese;
    std::string message;
    std::string className;
    std::string question;
};

const QuestionCase kQuestionCases[] = {
    {false, "Sample Viewer is running.", "SampleViewerClass",
     "Sample Viewer is running.\r\nDo you finish SampleViewer , Now?"},
    {false, "", "CLASS", "\r\nDo you finish CLASS , Now?"},
    {false, "Two\nlines.", "Editor", "Two\nlines.\r\nDo you finish Editor , Now?"},
    {true, ToShiftJis("サンプルビューアが起動しています。"), "SampleViewerClass",
     ToShiftJis("サンプルビューアが起動しています。\r\n今すぐに、SampleViewer を終了しますか？")},
    {true, "", ToShiftJis("ビューアClass"), ToShiftJis("\r\n今すぐに、ビューア を終了しますか？")},
};

TEST(RunningAppQuestion, QuestionInBothLanguages)
{
    for (const QuestionCase& c : kQuestionCases) {
        char question[kRunningAppQuestionSize] = "previous";
        ASSERT_TRUE(FormatRunningAppQuestion(c.japanese, c.message.c_str(), c.className.c_str(), question));
        EXPECT_EQ(question, c.question);
    }
}

TEST(RunningAppQuestion, QuestionLimitsAreTheBuffers)
{
    // The English question adds 23 bytes to message and name, the Japanese 29.
    const struct {
        bool japanese;
        size_t added;
    } languages[] = {{false, 23}, {true, 29}};
    const std::string className(511, 'n');
    for (const auto& language : languages) {
        char question[kRunningAppQuestionSize];
        // The longest texts a package holds fit with room to spare.
        ASSERT_TRUE(
            FormatRunningAppQuestion(language.japanese, std::string(511, 'm').c_str(), className.c_str(), question));
        EXPECT_EQ(strlen(question), 511 + 511 + language.added);

        const std::string fits(kRunningAppQuestionSize - 1 - 511 - language.added, 'm');
        ASSERT_TRUE(FormatRunningAppQuestion(language.japanese, fits.c_str(), className.c_str(), question));
        EXPECT_EQ(strlen(question), kRunningAppQuestionSize - 1);
        EXPECT_FALSE(FormatRunningAppQuestion(language.japanese, (fits + "m").c_str(), className.c_str(), question));
        EXPECT_STREQ(question, "");
        EXPECT_FALSE(FormatRunningAppQuestion(language.japanese, "m", (className + "n").c_str(), question));
        EXPECT_STREQ(question, "");
    }
}

}  // namespace

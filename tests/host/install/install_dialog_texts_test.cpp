#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "install/install_dialog_texts.h"

namespace {

// The Shift-JIS bytes of a UTF-8 text, converted independently of the code.
std::string ShiftJis(const std::string& utf8)
{
    iconv_t converter = iconv_open("CP932", "UTF-8");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::string in = utf8;
    std::string out(utf8.size() * 2 + 1, '\0');
    char* inPointer = in.data();
    char* outPointer = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    EXPECT_NE(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft), static_cast<size_t>(-1));
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

TEST(InstallDialogTexts, CreateFolderQuestionInBothLanguages)
{
    char question[kQuestionSize];
    ASSERT_TRUE(FormatCreateFolderQuestion(false, "C:\\Apps\\Tool", question));
    EXPECT_STREQ(question, "There is no \"C:\\Apps\\Tool\".\n\nCreate a new folder ?");
    EXPECT_STREQ(CreateFolderCaption(false), "Create a folder.");

    const std::string folder = "C:\\" + ShiftJis("表計算");
    ASSERT_TRUE(FormatCreateFolderQuestion(true, folder.c_str(), question));
    EXPECT_EQ(question, folder + ShiftJis(" \nはありませんでした。\n\n指定フォルダを作成しますか？"));
    EXPECT_EQ(CreateFolderCaption(true), ShiftJis("フォルダ作成"));
}

TEST(InstallDialogTexts, FolderTooLongForTheQuestionIsNotAskedAbout)
{
    // The English question adds 38 bytes to the folder, the Japanese one 52.
    const struct {
        bool japanese;
        size_t longest;
    } limits[] = {{false, 473}, {true, 459}};
    for (const auto& limit : limits) {
        char question[kQuestionSize];
        const std::string fits = "C:\\" + std::string(limit.longest - 3, 'a');
        EXPECT_TRUE(FormatCreateFolderQuestion(limit.japanese, fits.c_str(), question));
        EXPECT_EQ(strlen(question), kQuestionSize - 1);
        const std::string tooLong = fits + "a";
        EXPECT_FALSE(FormatCreateFolderQuestion(limit.japanese, tooLong.c_str(), question));
        EXPECT_STREQ(question, "");
    }
}

TEST(InstallDialogTexts, TemplateNamesFollowTheLanguage)
{
    EXPECT_STREQ(InstallDialogTemplate(true), "InstallDlgJ");
    EXPECT_STREQ(InstallDialogTemplate(false), "InstallDlgE");
}

}  // namespace

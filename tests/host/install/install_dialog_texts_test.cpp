#include <gtest/gtest.h>

#include <string>

#include "install/install_dialog_texts.h"
#include "tests/host/common/shift_jis.h"

namespace {

TEST(InstallDialogTexts, CreateFolderQuestionInBothLanguages)
{
    char question[kQuestionSize];
    ASSERT_TRUE(FormatCreateFolderQuestion(false, "C:\\Apps\\Tool", question));
    EXPECT_STREQ(question, "There is no \"C:\\Apps\\Tool\".\n\nCreate a new folder ?");
    EXPECT_STREQ(CreateFolderCaption(false), "Create a folder.");

    const std::string folder = "C:\\" + ToShiftJis("表計算");
    ASSERT_TRUE(FormatCreateFolderQuestion(true, folder.c_str(), question));
    EXPECT_EQ(question, folder + ToShiftJis(" \nはありませんでした。\n\n指定フォルダを作成しますか？"));
    EXPECT_EQ(CreateFolderCaption(true), ToShiftJis("フォルダ作成"));
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

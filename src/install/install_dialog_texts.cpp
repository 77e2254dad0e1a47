#include "install/install_dialog_texts.h"

#include "text/bounded_text.h"

namespace {

// The question is the folder between a lead and a tail.
struct QuestionText {
    const char* lead;
    const char* tail;
    const char* caption;
};

constexpr QuestionText kEnglish = {"There is no \"", "\".\n\nCreate a new folder ?", "Create a folder."};

// "%s \nはありませんでした。\n\n指定フォルダを作成しますか？", "フォルダ作成"
constexpr QuestionText kJapanese = {
    "",
    " \x0A\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"
    "B\x0A\x0A\x8Ew\x92\xE8\x83t\x83H\x83\x8B\x83_\x82\xF0\x8D\xEC\x90\xAC\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81H",
    "\x83t\x83H\x83\x8B\x83_\x8D\xEC\x90\xAC",
};

const QuestionText& TextsOf(bool japanese)
{
    return japanese ? kJapanese : kEnglish;
}

}  // namespace

bool FormatCreateFolderQuestion(bool japanese, const char* folder, char (&question)[kQuestionSize])
{
    const QuestionText& texts = TextsOf(japanese);
    if (CopyText(question, texts.lead) && AppendText(question, folder) && AppendText(question, texts.tail))
        return true;
    question[0] = '\0';
    return false;
}

const char* CreateFolderCaption(bool japanese)
{
    return TextsOf(japanese).caption;
}

const char* InstallDialogTemplate(bool japanese)
{
    return japanese ? "InstallDlgJ" : "InstallDlgE";
}

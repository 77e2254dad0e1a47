#pragma once
// The install dialog's texts, as ANSI bytes (Japanese in Shift-JIS).
#include <cstddef>

// The create-folder question is built in a buffer of this size. A folder too
// long for it is not asked about: a cut path would name another folder.
constexpr size_t kQuestionSize = 512;

// The question whether to create folder, into question (kQuestionSize
// bytes). False, question empty, when it would not fit.
bool FormatCreateFolderQuestion(bool japanese, const char* folder, char (&question)[kQuestionSize]);

const char* CreateFolderCaption(bool japanese);

// The name of the dialog template of the language.
const char* InstallDialogTemplate(bool japanese);

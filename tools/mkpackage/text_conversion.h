#pragma once
// UTF-8 texts of the manifest into the byte strings the engine shows: Windows
// code page 1252 for the English block, Shift-JIS (code page 932) for the
// Japanese one.
#include <string>

namespace mkpackage {

enum class CodePage { kWindows1252 = 1252, kShiftJis = 932 };

const char* CodePageName(CodePage codePage);

// Converts a UTF-8 text character by character. A character counts as
// representable only when it has a byte form and that form reads back as the
// same character, so the rule is the same on every system. Control
// characters other than tab, carriage return and line feed are refused too.
// On failure out is unchanged and problem describes the first character
// that cannot be stored.
bool ConvertFromUtf8(const std::string& utf8, CodePage codePage, std::string& out, std::string& problem);

}  // namespace mkpackage

#include "env/running_app_question.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

constexpr char kClassSuffix[] = "Class";
constexpr size_t kClassSuffixLength = sizeof kClassSuffix - 1;

// The second line: the display name between a lead and a tail.
struct SecondLine {
    const char* lead;
    const char* tail;
};

constexpr SecondLine kEnglish = {"Do you finish ", " , Now?"};
// "今すぐに、%s を終了しますか？"
constexpr SecondLine kJapanese = {"\x8D\xA1\x82\xB7\x82\xAE\x82\xC9\x81\x41",
                                  " \x82\xF0\x8F\x49\x97\xB9\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48"};

// True when a character starts at offset: the byte there is not the second
// byte of a double-byte character.
bool StartsCharacter(const char* text, size_t offset)
{
    size_t i = 0;
    while (i < offset)
        i += IsDoubleBytePair(text + i) ? 2 : 1;
    return i == offset;
}

bool EndsWithClass(const char* name, size_t length)
{
    if (length <= kClassSuffixLength)
        return false;
    const size_t start = length - kClassSuffixLength;
    return EqualsIgnoringAsciiCase(name + start, kClassSuffix) && StartsCharacter(name, start);
}

}  // namespace

bool MakeDisplayName(const char* className, char (&name)[kDisplayNameSize])
{
    if (!CopyText(name, className))
        return false;
    const size_t length = strlen(name);
    if (EndsWithClass(name, length))
        name[length - kClassSuffixLength] = '\0';
    return true;
}

bool FormatRunningAppQuestion(bool japanese, const char* message, const char* className,
                              char (&question)[kRunningAppQuestionSize])
{
    const SecondLine& line = japanese ? kJapanese : kEnglish;
    char name[kDisplayNameSize];
    if (MakeDisplayName(className, name) && CopyText(question, message) && AppendText(question, "\r\n") &&
        AppendText(question, line.lead) && AppendText(question, name) && AppendText(question, line.tail))
        return true;
    question[0] = '\0';
    return false;
}

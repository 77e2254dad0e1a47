#include "runtime/command_line.h"

#include "text/text_scan.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Copies one character (two bytes for a double-byte pair) from p to out.
void CopyCharacter(const char*& p, char*& out)
{
    if (IsDoubleBytePair(p))
        *out++ = *p++;
    *out++ = *p++;
}

// The program's name ends at the closing quote when it starts with one (no
// escapes inside), else at the first blank.
const char* TakeProgramName(const char* p, char*& out)
{
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            CopyCharacter(p, out);
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && !IsBlank(*p))
            CopyCharacter(p, out);
    }
    *out++ = '\0';
    return p;
}

// One argument. Backslashes are literal unless they precede a quote: then
// each pair gives one backslash, and an odd one out makes the quote literal.
// An unescaped quote switches quoting; inside quotes, two quotes give one.
const char* TakeArgument(const char* p, char*& out)
{
    bool quoted = false;
    for (;;) {
        int backslashes = 0;
        while (*p == '\\') {
            ++p;
            ++backslashes;
        }
        bool literal = true;
        if (*p == '"') {
            if (backslashes % 2 == 0) {
                if (quoted && p[1] == '"') {
                    ++p;
                } else {
                    literal = false;
                    quoted = !quoted;
                }
            }
            backslashes /= 2;
        }
        while (backslashes-- > 0)
            *out++ = '\\';
        if (*p == '\0' || (!quoted && IsBlank(*p)))
            break;
        if (literal)
            CopyCharacter(p, out);
        else
            ++p;
    }
    *out++ = '\0';
    return p;
}

}  // namespace

int SplitCommandLine(const char* line, char* storage, char** entries, int capacity)
{
    char* out = storage;
    int count = 0;
    if (capacity > 0)
        entries[0] = out;
    const char* p = TakeProgramName(line, out);
    ++count;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0')
            return count;
        if (count < capacity)
            entries[count] = out;
        p = TakeArgument(p, out);
        ++count;
    }
}

const char* CommandLineTail(const char* line)
{
    const char* p = line;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p > ' ')
            ++p;
    }
    while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    return p;
}

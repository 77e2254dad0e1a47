#include "install/launch_rules.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/text_scan.h"

bool IsHelpFileCommand(const char* commandLine)
{
    const size_t length = strlen(commandLine);
    return length >= 4 && EqualsIgnoringAsciiCase(commandLine + length - 4, ".chm");
}

bool IsCopyKeyword(const char* token)
{
    return EqualsIgnoringAsciiCase(token, "copy");
}

bool TakeFirstToken(const char* commandLine, char (&token)[kCommandTextSize], int* rest)
{
    token[0] = '\0';
    *rest = 0;
    // A token is never longer than the text it comes from.
    if (strlen(commandLine) >= kCommandTextSize)
        return false;
    NextTokenOf(commandLine, token, rest);
    return true;
}

CopyArguments SplitCopyArguments(const char* text, char (&source)[kCommandTextSize],
                                 char (&destination)[kCommandTextSize])
{
    source[0] = destination[0] = '\0';
    int behindSource = 0, behindDestination = 0;
    if (strlen(text) >= kCommandTextSize || !NextTokenOf(text, source, &behindSource) ||
        !NextTokenOf(text + behindSource, destination, &behindDestination))
        return CopyArguments::Missing;
    return source[0] == '\0' ? CopyArguments::NothingToCopy : CopyArguments::Copy;
}

bool BuildCommandText(char (&out)[kCommandTextSize], const char* programPath, const char* rest)
{
    out[0] = '\0';
    if (AppendText(out, "\"") && AppendText(out, programPath) && AppendText(out, "\"") && AppendText(out, rest))
        return true;
    out[0] = '\0';
    return false;
}

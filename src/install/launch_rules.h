#pragma once
// How a command line is read: the help-file rule, the built-in "copy", and
// the command text a program is started with. Command texts, program paths
// and tokens are held in 512-byte buffers; a text that does not fit makes the
// command fail, so that a cut command line is never run.
#include <cstddef>

constexpr size_t kCommandTextSize = 512;

// True when the command line ends in ".chm" (ASCII letter case ignored).
bool IsHelpFileCommand(const char* commandLine);

// True for the built-in keyword "copy" in any letter case.
bool IsCopyKeyword(const char* token);

// The first token of commandLine into token (kCommandTextSize bytes) and the
// index just behind it into rest. False when the command line is too long
// for the buffers; with no token at all, token is empty.
bool TakeFirstToken(const char* commandLine, char (&token)[kCommandTextSize], int* rest);

enum class CopyArguments {
    Missing,        // fewer than two tokens, or a text too long: the command fails
    NothingToCopy,  // an empty source: nothing is done, and that is success
    Copy,           // source and destination taken
};

// Reads the source and destination tokens of "copy" from the text behind it.
CopyArguments SplitCopyArguments(const char* text, char (&source)[kCommandTextSize],
                                 char (&destination)[kCommandTextSize]);

// out = the program path in double quotes, then the rest of the command line.
// False, out empty, when it would not fit kCommandTextSize bytes.
bool BuildCommandText(char (&out)[kCommandTextSize], const char* programPath, const char* rest);

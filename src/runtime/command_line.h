#pragma once
// Splitting a Windows command line into its arguments the way the C runtime's
// start-up code of every Windows since 95 does, for programs that link none.
#include <cstddef>

// Splits line into zero-terminated arguments written to storage, which must
// hold strlen(line) + 2 bytes. entries receives the first capacity arguments
// (argument 0 is the program's name). Returns the number of arguments found,
// which may exceed capacity.
int SplitCommandLine(const char* line, char* storage, char** entries, int capacity);

// The command line behind the program's name and the blanks that follow it:
// what WinMain receives.
const char* CommandLineTail(const char* line);

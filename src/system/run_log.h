#pragma once
// The log of a run ("-Log FILE"): one line per step, appended to the file,
// for an administrator who wants to see why an unattended run failed. The
// driver opens it; the steps below it get a pointer that is null when the
// run has no log, and every operation then does nothing. Writing the log
// never changes what the run does: a line that cannot be written is lost.
#include <windows.h>

struct RunLog {
    HANDLE file;
};

// Opens (or creates) the file for appending, sharing it with other writers
// and readers. False, log closed, when it cannot be opened.
bool OpenRunLog(RunLog& log, const char* path);
void CloseRunLog(RunLog& log);

// One line: the step's tag, its text and, when given, ": " and a detail.
void LogStep(RunLog* log, const char* tag, const char* text, const char* detail = nullptr);

// One line of a step that failed: "text: failed, error N" with the system's
// error code.
void LogFailure(RunLog* log, const char* tag, const char* text, DWORD error);

// A command of the package and its result: "done", or the failure with error.
void LogCommandResult(RunLog* log, const char* tag, const char* commandLine, int result, DWORD error);

#include "system/run_log.h"

#include "system/run_log_format.h"

namespace {

LogTime Now()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// A log that was never opened holds a null handle, one that failed to open
// INVALID_HANDLE_VALUE.
bool IsOpen(const RunLog& log)
{
    return log.file != INVALID_HANDLE_VALUE && log.file != nullptr;
}

}  // namespace

bool OpenRunLog(RunLog& log, const char* path)
{
    log.file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return log.file != INVALID_HANDLE_VALUE;
}

void CloseRunLog(RunLog& log)
{
    if (IsOpen(log))
        CloseHandle(log.file);
    log.file = INVALID_HANDLE_VALUE;
}

void LogStep(RunLog* log, const char* tag, const char* text, const char* detail)
{
    if (log == nullptr || !IsOpen(*log))
        return;
    // The system's error code of a failing step is read after it is logged.
    const DWORD lastError = GetLastError();
    const LogTime time = Now();
    char line[kLogLineSize];
    if (!FormatLogLine(line, sizeof line, time, tag, text, detail))
        FormatLogLine(line, sizeof line, time, tag, kLogTextTooLong, nullptr);
    // Another run may append to the same file: each line goes to its end.
    SetFilePointer(log->file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(log->file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    SetLastError(lastError);
}

void LogFailure(RunLog* log, const char* tag, const char* text, DWORD error)
{
    char detail[kLogDetailSize];
    FormatErrorDetail(detail, error);
    LogStep(log, tag, text, detail);
}

void LogCommandResult(RunLog* log, const char* tag, const char* commandLine, int result, DWORD error)
{
    if (result)
        LogStep(log, tag, commandLine, "done");
    else
        LogFailure(log, tag, commandLine, error);
}

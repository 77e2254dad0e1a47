#pragma once
// The lines of a run's log ("-Log FILE"): the local time, a short step tag
// and what the step did, one line each, ending with CR LF:
//
//   2026-12-10 08:11:20 file     docs\readme.txt
//   2026-12-10 08:11:21 command  setup-helper.exe /init: failed, error 2
//
// Texts are written as their bytes, control bytes as \xNN, so that no value
// can end a line early or drive a terminal that shows the log.
#include <cstddef>
#include <cstdint>

constexpr size_t kLogLineSize = 2048;  // a 1023-byte command line with its tag, time and result
constexpr size_t kLogDetailSize = 48;
constexpr size_t kLogTagWidth = 8;

struct LogTime {
    uint16_t year, month, day, hour, minute, second;
};

// The line for one step into out (size bytes): time, tag padded to its
// width, text, and ": " with the detail when there is one. False, out empty,
// when the line would not fit.
bool FormatLogLine(char* out, size_t size, const LogTime& time, const char* tag, const char* text, const char* detail);

// "failed, error N": the detail of a step that failed with the system's error code.
void FormatErrorDetail(char (&out)[kLogDetailSize], uint32_t error);

// Stands for a text that would not fit a line.
inline constexpr char kLogTextTooLong[] = "(too long for the log)";

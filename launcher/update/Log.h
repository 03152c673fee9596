// The log writer: one line per call, appended to log.txt in the work folder, and echoed to
// the debugger output.
#pragma once

#include <string>

// The file that LogPrint appends to; empty (the start) means debugger output only.
void SetLogFile(const std::string& path);

// The GNU conversions (%zu, %lld) everywhere: MinGW's headers name the format family that its
// printf follows in the Windows build; elsewhere it is the compiler's own printf.
#ifdef __MINGW_PRINTF_FORMAT
#define LOG_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define LOG_PRINTF_FORMAT printf
#endif

// printf-style; the message is cut at 1023 characters. Callable from any thread.
void LogPrint(const char* format, ...) __attribute__((format(LOG_PRINTF_FORMAT, 1, 2)));

// Logs the check-failure line "unit(line) : expression" when `ok` is false and returns `ok`,
// so a failed internal check reads `if (!Check(m_pCurl != nullptr, "Downloader", 118, "m_pCurl"))`.
// The line numbers are fixed ones that operators know, not this file's.
bool Check(bool ok, const char* unit, int line, const char* expression);

// The log line for `message` at `time`: "YYMMDD-hhmmss: message \n".
struct LogTime {
  int year, month, day, hour, minute, second;
};
std::string FormatLogLine(const LogTime& time, const std::string& message);

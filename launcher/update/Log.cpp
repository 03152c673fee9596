#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/System.h"

namespace {

std::mutex g_logMutex;  // guards g_logFile and keeps concurrent lines whole
std::string g_logFile;

}  // namespace

void SetLogFile(const std::string& path) {
  std::lock_guard lock(g_logMutex);
  g_logFile = path;
}

std::string FormatLogLine(const LogTime& t, const std::string& message) {
  char head[32];
  std::snprintf(head, sizeof head, "%02d%02d%02d-%02d%02d%02d: ", t.year % 100, t.month, t.day,
                t.hour, t.minute, t.second);
  return head + message + " \n";
}

void LogPrint(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);

  sys::System& system = sys::Current();
  system.OutputDebugString(message);
  sys::LocalTime now = system.ToLocalTime(system.GetTime());
  std::string line =
      FormatLogLine({now.year, now.month, now.day, now.hour, now.minute, now.second}, message);

  // Opened and closed per line so that each line is on disk when the call returns.
  std::lock_guard lock(g_logMutex);
  if (g_logFile.empty()) return;
  if (FILE* file = std::fopen(g_logFile.c_str(), "a")) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
  }
}

bool Check(bool ok, const char* unit, int line, const char* expression) {
  if (!ok) LogPrint("%s(%d) : %s", unit, line, expression);
  return ok;
}

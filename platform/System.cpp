#include "System.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "CodePage.h"

namespace sys {

LocalTime ToLocalTime(const std::tm& tm) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// Provided by the backend the program links (platform/posix or platform/win32).
System& DefaultSystem();

namespace {
std::atomic<System*> g_installed{nullptr};
}

System& Current() {
  System* installed = g_installed.load();
  return installed ? *installed : DefaultSystem();
}

System* Install(System* system) {
  return g_installed.exchange(system);
}

std::vector<std::string> SplitCommandLine(const std::string& params) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = params.size();
  while (true) {
    while (i < n && (params[i] == ' ' || params[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (params[i] != ' ' && params[i] != '\t'))) {
      size_t slashes = 0;
      while (i < n && params[i] == '\\') ++slashes, ++i;
      if (i < n && params[i] == '"') {
        // 2n backslashes + quote: n backslashes and a quote toggle; 2n+1: n and a literal quote.
        arg.append(slashes / 2, '\\');
        if (slashes % 2) {
          arg += '"';
        } else if (quoted && i + 1 < n && params[i + 1] == '"') {
          arg += '"';  // "" inside quotes is a literal quote
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < n && (quoted || (params[i] != ' ' && params[i] != '\t'))) arg += params[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

void Signal::Set() {
  std::lock_guard lock(m_mutex);
  m_set = true;
  m_changed.notify_all();
}

void Signal::Clear() {
  std::lock_guard lock(m_mutex);
  m_set = false;
}

bool Signal::WaitFor(uint32_t milliseconds) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return m_set.load(); });
}

std::string HiddenFileTemporary(const std::string& path) {
  return path + ".tmp";
}

std::vector<std::string> StandInDrives(char separator) {
  std::vector<std::string> roots;
  const char* list = std::getenv("LAUNCHER_FIXED_DRIVES");
  std::stringstream in(list ? list : "");
  for (std::string root; std::getline(in, root, separator);) {
    if (root.empty()) continue;
    if (!EndsWithChar(root, "/\\")) root += kPathSeparator;
    roots.push_back(root);
  }
  return roots;
}

}  // namespace sys

// What the harnesses share: the input as text or as a file, a folder of the run's own, and
// a check that stops the run (libFuzzer saves the input) when a promise is broken.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (false)

namespace fuzz {

inline std::string Text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The input cut at every `separator`, empty pieces kept.
inline std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  for (size_t start = 0;;) {
    size_t end = text.find(separator, start);
    pieces.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

// Every occurrence of `from` replaced, left to right.
inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The bytes as a file for parsers that open a path: a memory file, reached through /proc so that
// a run costs no disk writes.
inline std::string InputFile(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("fuzz-input", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
    std::abort();
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

// A folder of this process's own, removed when the run ends: under TMPDIR when it is set, else
// in memory (/dev/shm) where there is one.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/launcher-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    m_path = pattern + "/";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

inline const ScratchFolder& Scratch() {
  static ScratchFolder folder;
  return folder;
}

}  // namespace fuzz

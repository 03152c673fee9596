// What the harnesses share: the input as text, a scratch file for parsers that read files, and
// a check that stops the run (libFuzzer saves the input) when a promise is broken.
#pragma once

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

// A folder of this process's own under TMPDIR, removed when the run ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/launcher-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    m_path = pattern + "/";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  const std::string& Path() const { return m_path; }

  // Writes the bytes to one file in the folder and gives its path.
  std::string Write(const uint8_t* data, size_t size) const {
    std::string path = m_path + "input";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
    return path;
  }

 private:
  std::string m_path;
};

inline const ScratchFolder& Scratch() {
  static ScratchFolder folder;
  return folder;
}

}  // namespace fuzz

// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending with "/".
  const std::string& path() const { return m_path; }
  // path() + relative.
  std::string operator/(const std::string& relative) const { return m_path + relative; }

 private:
  std::string m_path;
};

// Whole-file helpers for assertions.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// The file version of a Linux executable: an ELF note that stands in for the version resource
// of a Windows executable. Owner "Launcher", type 1, and as description the two 32-bit halves
// of the file version (major << 16 | minor, build << 16 | revision) in the file's byte order.
#pragma once

#include <cstdint>
#include <string>

namespace sys {

inline constexpr char kVersionNoteOwner[] = "Launcher";
inline constexpr uint32_t kVersionNoteType = 1;

// Reads the version note of any executable path; false for a file without one (or not ELF).
bool ReadVersionNote(const std::string& path, uint32_t& high, uint32_t& low);

// "a.b.c.d", four decimal numbers below 65536, as a build setting writes a file version.
constexpr bool IsFileVersionText(const char* text) {
  int dots = 0, digits = 0;
  uint32_t value = 0;
  for (const char* p = text;; ++p) {
    if (*p == '.' || *p == '\0') {
      if (digits == 0 || value > 0xFFFF) return false;
      if (*p == '\0') return dots == 3;
      ++dots, digits = 0, value = 0;
    } else if (*p >= '0' && *p <= '9' && digits < 6) {
      value = value * 10 + static_cast<uint32_t>(*p - '0');
      ++digits;
    } else {
      return false;
    }
  }
}

// Number `index` (0 to 3) of a text that IsFileVersionText accepts.
constexpr uint32_t FileVersionField(const char* text, int index) {
  uint32_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '.') {
      if (index-- == 0) return value;
      value = 0;
    } else {
      value = value * 10 + static_cast<uint32_t>(*p - '0');
    }
  }
  return value;
}

}  // namespace sys

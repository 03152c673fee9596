#include "CodePage.h"

#ifdef _WIN32
#include "win32/WinHeaders.h"
#endif

namespace sys {

size_t CharSize(std::string_view text, size_t at) {
#ifdef _WIN32
  // The system's own test, so a build on another ANSI code page steps by that page's rule.
  return at + 1 < text.size() && IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1;
#else
  return Utf8CharSize(text, at);
#endif
}

size_t Utf8CharSize(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const size_t size = lead >= 0xF0 && lead <= 0xF4   ? 4
                      : lead >= 0xE0 && lead <= 0xEF ? 3
                      : lead >= 0xC2 && lead <= 0xDF ? 2
                                                     : 1;
  if (at + size > text.size()) return 1;
  for (size_t i = 1; i < size; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return size;
}

size_t DoubleByteCharSize(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  return lead >= 0x81 && lead <= 0xFE && at + 1 < text.size() ? 2 : 1;
}

size_t FindChar(std::string_view text, std::string_view chars, size_t from, CharRule rule) {
  for (size_t at = from; at < text.size(); at += rule(text, at)) {
    if (rule(text, at) == 1 && chars.find(text[at]) != std::string_view::npos) return at;
  }
  return std::string_view::npos;
}

size_t FindLastChar(std::string_view text, std::string_view chars, CharRule rule) {
  size_t last = std::string_view::npos;
  for (size_t at = FindChar(text, chars, 0, rule); at != std::string_view::npos;
       at = FindChar(text, chars, at + 1, rule)) {
    last = at;
  }
  return last;
}

size_t FindText(std::string_view text, std::string_view what, size_t from, CharRule rule) {
  for (size_t at = from; at < text.size(); at += rule(text, at)) {
    if (text.substr(at, what.size()) == what) return at;
  }
  return what.empty() && from <= text.size() ? from : std::string_view::npos;
}

bool EndsWithChar(std::string_view text, std::string_view chars, CharRule rule) {
  const size_t last = FindLastChar(text, chars, rule);
  return last != std::string_view::npos && last + 1 == text.size();
}

}  // namespace sys

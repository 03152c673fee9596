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

char32_t CodePoint(std::string_view character) {
#ifdef _WIN32
  wchar_t wide[2];
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, character.data(),
                                    static_cast<int>(character.size()), wide, 2);
  if (n == 1) return wide[0];
  if (n == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00 && wide[1] >= 0xDC00 && wide[1] < 0xE000) {
    return 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (wide[1] - 0xDC00);
  }
  return kNoCodePoint;
#else
  return Utf8CodePoint(character);
#endif
}

std::string CharFromCodePoint(char32_t c) {
#ifdef _WIN32
  if (c > 0x10FFFF) return "";
  wchar_t wide[2] = {static_cast<wchar_t>(c), 0};
  int n = 1;
  if (c >= 0x10000) {
    wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    n = 2;
  }
  char narrow[8];
  BOOL lossy = 0;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, n, narrow, sizeof narrow,
                                       nullptr, &lossy);
  return size > 0 && !lossy ? std::string(narrow, static_cast<size_t>(size)) : std::string();
#else
  return Utf8Char(c);
#endif
}

char32_t Utf8CodePoint(std::string_view character) {
  const size_t size = character.size();
  if (size == 0 || Utf8CharSize(character, 0) != size) return kNoCodePoint;
  const auto lead = static_cast<unsigned char>(character[0]);
  if (size == 1) return lead < 0x80 ? lead : kNoCodePoint;
  // The lead byte's payload bits, then six from each continuation byte.
  char32_t c = lead & (0x7F >> size);
  for (size_t i = 1; i < size; ++i) c = c << 6 | (static_cast<unsigned char>(character[i]) & 0x3F);
  return c;
}

std::string Utf8Char(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (c < 0x800) return {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
  if (c < 0x10000) {
    return {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F))};
  }
  if (c > 0x10FFFF) return "";
  return {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
          static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
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

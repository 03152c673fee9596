#include "WindowsNames.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "UpdatePlan.h"
#include "platform/CodePage.h"

namespace {

// The parts of a local name key ("/" alone separates them there).
std::vector<std::string_view> Parts(std::string_view key) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t at; (at = sys::FindChar(key, "/", start)) != std::string_view::npos; start = at + 1) {
    parts.push_back(key.substr(start, at - start));
  }
  parts.push_back(key.substr(start));
  return parts;
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (size_t at = 0; at < text.size(); at += sys::CharSize(text, at)) ++count;
  return count;
}

// A key's part is in lower case (ASCII) with its trailing dots and blanks dropped; Windows looks
// only at what comes before the first dot, its trailing blanks dropped too. Blanks and dots are
// never the second byte of a double-byte character.
bool IsDevicePart(std::string_view part) {
  std::string_view base = part.substr(0, sys::FindChar(part, "."));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (base == device) return true;
  }
  if (base.substr(0, 3) != "com" && base.substr(0, 3) != "lpt") return false;
  // One character, a digit from 1 or a superscript one, two or three (by its code point: in
  // code page 936 the bytes of "¹" in UTF-8 make a Chinese character).
  const std::string_view digit = base.substr(3);
  if (digit.empty() || sys::CharSize(digit, 0) != digit.size()) return false;
  const char32_t c = sys::CodePoint(digit);
  return (c >= U'1' && c <= U'9') || c == U'\u00B9' || c == U'\u00B2' || c == U'\u00B3';
}

bool IsShortNamePart(std::string_view part) {
  const size_t dot = sys::FindChar(part, ".");
  const std::string_view base = part.substr(0, dot);
  const std::string_view extension = dot == std::string_view::npos ? "" : part.substr(dot + 1);
  if (sys::FindChar(extension, ".") != std::string_view::npos || CharacterCount(base) > 8 ||
      CharacterCount(extension) > 3) {
    return false;
  }
  const size_t tilde = sys::FindLastChar(base, "~");
  if (tilde == std::string_view::npos || tilde + 1 == base.size()) return false;
  const std::string_view number = base.substr(tilde + 1);
  return std::all_of(number.begin(), number.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool AnyPart(const std::string& localName, bool (*rule)(std::string_view)) {
  const std::string key = LocalNameKey(localName);
  const std::vector<std::string_view> parts = Parts(key);
  return std::any_of(parts.begin(), parts.end(), rule);
}

}  // namespace

bool NamesADevice(const std::string& localName) {
  return AnyPart(localName, IsDevicePart);
}

bool MayBeAShortName(const std::string& localName) {
  return AnyPart(localName, IsShortNamePart);
}

#include "Site.h"

namespace demo {

bool BuiltInPage(const std::string& path, const std::string& origin, std::string* html) {
  for (size_t i = 0; i < kPageCount; ++i) {
    if (path != kPages[i].path) continue;
    html->assign(reinterpret_cast<const char*>(kPages[i].data), kPages[i].size);
    const std::string marker = "{{origin}}";
    for (size_t at = html->find(marker); at != std::string::npos;
         at = html->find(marker, at + origin.size())) {
      html->replace(at, marker.size(), origin);
    }
    return true;
  }
  return false;
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  return line;
}

}  // namespace demo

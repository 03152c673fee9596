#include "EngineAddress.h"

namespace gtkweb {

namespace {
// Upper-case hex digits only: WebKit writes its escapes that way.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool AddedByEngine(int byte) {
  return byte == 0x20 || byte == 0x22 || byte == 0x3C || byte == 0x3E || byte == 0x60 ||
         byte >= 0x80;
}
}  // namespace

std::string UndoEngineEscapes(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size()) {
      const int high = HexValue(url[i + 1]), low = HexValue(url[i + 2]);
      if (high >= 0 && low >= 0 && AddedByEngine(high * 16 + low)) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += url[i];
  }
  return out;
}

}  // namespace gtkweb

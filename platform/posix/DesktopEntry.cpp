#include "DesktopEntry.h"

namespace sys {
namespace {

// A value of the string type: backslash and line-structure characters escaped.
std::string EscapeValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The program as one quoted argument of Exec: inside the quotes, quote, backtick, dollar and
// backslash take a backslash, and "%" (a field code) is doubled.
std::string QuoteExecArgument(const std::string& program) {
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  return out + "\"";
}

}  // namespace

std::string DesktopEntryText(const std::string& name, const Shortcut& shortcut,
                             const std::string& iconPath) {
  std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Version=1.0\n"
      "Name=" +
      EscapeValue(name) +
      "\n"
      "Comment=" +
      EscapeValue(shortcut.description) +
      "\n"
      "Exec=" +
      EscapeValue(QuoteExecArgument(shortcut.target)) +
      "\n"
      "Path=" +
      EscapeValue(shortcut.workDir) + "\n";
  if (!iconPath.empty()) text += "Icon=" + EscapeValue(iconPath) + "\n";
  if (!shortcut.windowClass.empty())
    text += "StartupWMClass=" + EscapeValue(shortcut.windowClass) + "\n";
  return text + "Terminal=false\n";
}

std::string DesktopIconPath(const std::string& target) {
  const size_t name = target.rfind('/') + 1;  // 0 when there is no folder
  const size_t dot = target.rfind('.');
  return (dot != std::string::npos && dot > name ? target.substr(0, dot) : target) + ".png";
}

}  // namespace sys

// The desktop-entry writer: the name, comment, program, folder, picture and window class of a
// shortcut may hold any bytes (a folder name can hold a newline), and the entry must still be
// the entry it says. The input's zero bytes separate the six values.
#include <utility>

#include "FuzzSupport.h"
#include "platform/posix/DesktopEntry.h"

namespace {

// A string value as a desktop entry reader reads it; false for an escape it does not know.
bool Unescape(const std::string& value, std::string& out) {
  out.clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out += value[i];
      continue;
    }
    if (++i == value.size()) return false;
    switch (value[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 's':
        out += ' ';
        break;
      default:
        return false;
    }
  }
  return true;
}

// The one argument of Exec: quoted, with the quoted characters escaped and "%" doubled.
bool Unquote(const std::string& exec, std::string& program) {
  if (exec.size() < 2 || exec.front() != '"' || exec.back() != '"') return false;
  program.clear();
  for (size_t i = 1; i + 1 < exec.size(); ++i) {
    char c = exec[i];
    if (c == '"' || c == '`' || c == '$') return false;  // would end or expand the argument
    if (c == '\\') {
      if (i + 2 >= exec.size()) return false;  // the closing quote cannot be escaped
      c = exec[++i];
      if (c != '"' && c != '`' && c != '$' && c != '\\') return false;
    } else if (c == '%') {
      if (i + 2 >= exec.size() || exec[i + 1] != '%') return false;
      ++i;
    }
    program += c;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> values = fuzz::Split(fuzz::Text(data, size), '\0');
  values.resize(6);
  sys::Shortcut shortcut;
  shortcut.description = values[1];
  shortcut.target = values[2];
  shortcut.workDir = values[3];
  shortcut.windowClass = values[5];
  const std::string text = sys::DesktopEntryText(values[0], shortcut, values[4]);

  // One line per key, each the key it should be; every value reads back as what was written.
  // The picture and the window class have a line only when they have a value.
  FUZZ_CHECK(!text.empty() && text.back() == '\n');
  std::vector<std::string> lines = fuzz::Split(text, '\n');
  lines.pop_back();
  std::vector<std::pair<std::string, std::string>> expected = {
      {"Name=", values[0]}, {"Comment=", values[1]}, {"Exec=", values[2]}, {"Path=", values[3]}};
  if (!values[4].empty()) expected.push_back({"Icon=", values[4]});
  if (!values[5].empty()) expected.push_back({"StartupWMClass=", values[5]});
  FUZZ_CHECK(lines.size() == 4 + expected.size());
  FUZZ_CHECK(lines[0] == "[Desktop Entry]" && lines[1] == "Type=Application" &&
             lines[2] == "Version=1.0" && lines.back() == "Terminal=false");
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& [key, wanted] = expected[i];
    const std::string& line = lines[3 + i];
    FUZZ_CHECK(line.rfind(key, 0) == 0);
    FUZZ_CHECK(line.find('\r') == std::string::npos);
    std::string value, program;
    FUZZ_CHECK(Unescape(line.substr(key.size()), value));
    if (key == "Exec=") FUZZ_CHECK(Unquote(value, program) && program == wanted);
    if (key != "Exec=") FUZZ_CHECK(value == wanted);
  }
  return 0;
}

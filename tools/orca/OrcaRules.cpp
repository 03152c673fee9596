#include "OrcaRules.h"

#include <algorithm>
#include <cctype>

namespace {

const char* const kKnownOptions[] = {
    "host",          "port",    "datahost", "launcher", "hwnd",  "newbie",
    "clientVersion", "groupid", "account",  "token",    "pfkey", "pf",
    "platform",      "adid",    "arg"};

bool IsKnownOption(const std::string& word) {
  if (word.size() < 2 || word[0] != '-') return false;
  const std::string name = word.substr(1);
  return std::any_of(std::begin(kKnownOptions), std::end(kKnownOptions),
                     [&](const char* known) { return name == known; });
}

constexpr size_t kMaxCopyDataText = 1023;

}  // namespace

std::vector<GameOption> ParseGameArgs(const std::vector<std::string>& args) {
  std::vector<GameOption> options;
  for (const std::string& word : args) {
    if (IsKnownOption(word)) {
      options.push_back({word.substr(1), ""});
      continue;
    }
    if (options.empty()) options.push_back({"", ""});
    std::string& value = options.back().value;
    if (!value.empty()) value += ' ';
    value += word;
  }
  return options;
}

std::string GameOptionValue(const std::vector<GameOption>& options, const std::string& name) {
  for (const GameOption& option : options) {
    if (option.name == name) return option.value;
  }
  return "";
}

std::string ArgsLogLine(const std::vector<std::string>& args) {
  std::string line = "args:";
  for (const std::string& arg : args) line += " " + arg;
  return line;
}

bool ParseLauncherWindow(const std::string& text, uint32_t* window) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return false;
  *window = static_cast<uint32_t>(value);
  return true;
}

std::string PopupCommand(const std::string& dataHost) {
  const size_t schemeEnd = dataHost.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0 || !std::isalpha(dataHost[0])) return "";
  for (size_t i = 0; i < schemeEnd; ++i) {
    const unsigned char c = dataHost[i];
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return "";
  }
  const size_t hostStart = schemeEnd + 3;
  const size_t hostEnd = std::min(dataHost.find_first_of("/?#", hostStart), dataHost.size());
  std::string authority = dataHost.substr(hostStart, hostEnd - hostStart);
  // An origin carries no user name or password.
  if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  if (authority.empty() || authority[0] == ':') return "";
  for (unsigned char c : authority) {
    if (c <= ' ' || c == 0x7F) return "";
  }
  const std::string text = "480,360," + dataHost.substr(0, hostStart) + authority + "/popup.html";
  return text.size() <= kMaxCopyDataText ? text : "";
}

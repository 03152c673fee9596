#include "AppConfig.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FileUtil.h"
#include "Log.h"
#include "platform/CodePage.h"
#include "platform/System.h"

namespace {

constexpr size_t kArgumentLimit = 511;  // longer arguments are cut

struct Token {
  bool found = false;
  std::string text;
};

// The next token ending at `delimiter`, after skipping any of `skip`; the delimiter is consumed.
Token NextToken(const std::string& text, size_t& pos, const char* skip, char delimiter) {
  while (pos < text.size() && std::strchr(skip, text[pos])) ++pos;
  if (pos >= text.size()) return {};
  size_t end = text.find(delimiter, pos);
  if (end == std::string::npos) end = text.size();
  Token token{true, text.substr(pos, end - pos)};
  pos = end < text.size() ? end + 1 : end;
  return token;
}

}  // namespace

long LeadingNumber(const std::string& text) {
  return std::strtol(text.c_str(), nullptr, 10);
}

const char* PlatformForChannel(long channel) {
  switch (channel) {
    case 1:
      return "union-10029-1";
    case 2:
      return "3366";
    case 6:
      return "union-10224-97";
    case 7:
      return "union";
    case 8:
      return "qzone";
    case 9:
      return "union-10041-1";
    case 10:
      return "website";
    case 14:
      return "union-10153-1";
    case 15:
      return "union";
    case 16:
      return "union-10215-1";
    case 17:
      return "union-10210-1";
    case 18:
      return "union-10194-1";
    default:
      return "qqgame";  // 3-5, 11-13 and every unknown number
  }
}

bool AppConfig::ParseCommandLine() {
  return ParseCommandLine(sys::Current().GetCommandLineArgs());
}

bool AppConfig::ParseCommandLine(const std::vector<std::string>& args) {
  sys::System& system = sys::Current();
  std::string root = GetWritableRoot();
  if (root.empty()) system.MessageBox("无法找到可写入的缓存磁盘！", "写入缓存失败");
  strWorkPath = root + "wan_tarn" + sys::kPathSeparator;
  if (!IsPathExist(strWorkPath)) system.CreateDirectory(strWorkPath);
  // One spelling of the folder from here on: absolute, since the current folder changes below,
  // and without links once it exists, as the running executable's path is.
  if (std::string full = system.GetFullPath(strWorkPath); !full.empty())
    strWorkPath =
        sys::EndsWithChar(full, {&sys::kPathSeparator, 1}) ? full : full + sys::kPathSeparator;
  system.SetCurrentDirectory(strWorkPath);
  strLogFile = strWorkPath + "log.txt";
  SetLogFile(strLogFile);
  LogPrint("set work path %s", strWorkPath.c_str());
  strGameName = "orca";
  for (const std::string& arg : args) {
    LogPrint("recv arg ... %s", arg.c_str());
    if (arg == "-killpid") bHandedOver = true;
    ParseArgument(arg.substr(0, kArgumentLimit));
  }
  return true;
}

void AppConfig::ParseArgument(const std::string& arg) {
  size_t pos = 0;
  while (true) {
    // Commas left before a key (an empty value's own comma, or doubled ones) are skipped.
    Token key = NextToken(arg, pos, "=,", '=');
    if (!key.found) return;
    std::string value;
    if (pos < arg.size() && arg[pos] == ',') {
      ++pos;  // "key=," is an empty value; it must not swallow the next pair
    } else {
      value = NextToken(arg, pos, ",", ',').text;
    }

    const std::string& k = key.text;
    if (k == "ID") {
      strAccount = value;
      strPlatform = "qqgame";
    } else if (k == "Key") {
      strToken = value;
    } else if (k == "PROCPARA") {
      strProcPara = value;
    } else if (k == "PID") {
      strPid = value;
      strPlatform = PlatformForChannel(LeadingNumber(value));
    } else if (k == "ModelID") {
      strModelId = value;
    } else if (k == "pfkey") {
      strPfKey = value;
    } else if (k == "pf") {
      strPlatform = value;
    } else if (k == "dev") {
      bDev = LeadingNumber(value) != 0;
    } else if (k == "ADId") {
      strAdId = value;
    }
  }
}

std::string AppConfig::GetGameExeName() const {
  return strGameName + ".exe";
}

std::string AppConfig::GetGameCommandLine(HWND hLauncherWnd) const {
  std::string head = "-host " + strHost + " -port " + strPort + " -datahost " + strDataHost;
  char tail[64];
  std::snprintf(tail, sizeof tail, " -launcher 2 -hwnd %u -newbie %d",
                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hLauncherWnd)), bNewbie ? 1 : 0);
  std::string line = head + tail;
  const std::pair<const char*, const std::string*> options[] = {
      {" -clientVersion ", &strClientVersion},
      {" -groupid ", &strGroupId},
      {" -account ", &strAccount},
      {" -token ", &strToken},
      {" -pfkey ", &strPfKey},
      {" -pf ", &strPf},
      {" -platform ", &strPlatform},
      {" -adid ", &strAdId},
      {" -arg ", &strArg},
  };
  for (const auto& [name, value] : options) {
    if (!value->empty()) line += name + *value;
  }
  return line;
}

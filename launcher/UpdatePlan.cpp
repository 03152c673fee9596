#include "UpdatePlan.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "AppConfig.h"
#include "FileUtil.h"
#include "Log.h"
#include "VersionInfos.h"
#include "platform/CodePage.h"
#include "platform/System.h"

namespace {

// Names are text in the system's code page, scanned a character at a time (sys::CharSize):
// in code page 936 a separator's byte may be the second half of a Chinese character.
constexpr std::string_view kSeparators = "/\\";

// The characters of `text`, each as the bytes that make it.
std::vector<std::string_view> Characters(std::string_view text) {
  std::vector<std::string_view> characters;
  for (size_t at = 0; at < text.size(); at += characters.back().size()) {
    characters.push_back(text.substr(at, sys::CharSize(text, at)));
  }
  return characters;
}

bool IsSeparator(std::string_view character) {
  return character.size() == 1 && kSeparators.find(character[0]) != std::string_view::npos;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = sys::FindText(text, from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
}

// A part made of dots and blanks with two dots or more: Windows drops trailing dots and
// blanks, so ". ." and "..." may act like "..".
bool IsParentPart(const std::string& part) {
  size_t dots = 0;
  for (char c : part) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

bool EndsWith(const std::string& text, const char* end) {
  const size_t size = std::char_traits<char>::length(end);
  return text.size() >= size && text.compare(text.size() - size, size, end) == 0;
}

// True (with the log line saying why) when the update stops at this entry; `seen` holds the
// local name keys of the entries before it.
bool RefuseEntry(const std::string& filename, const std::string& localName,
                 std::map<std::string, std::string>& seen) {
  if (!IsInsideWorkFolder(localName)) {
    LogPrint("file %s would be written outside the work folder, update stopped", filename.c_str());
    return true;
  }
  if (IsReservedLocalName(localName)) {
    LogPrint("file %s would replace a file of the launcher, update stopped", filename.c_str());
    return true;
  }
  // The same entry listed twice is still one file.
  const auto [it, added] = seen.emplace(LocalNameKey(localName), filename);
  if (!added && it->second != filename) {
    LogPrint("file %s would be written to the same file as %s, update stopped", filename.c_str(),
             it->second.c_str());
    return true;
  }
  return false;
}

// Removes what an ended job left of `path`'s download; no job runs while the plan is made.
void RemoveStaleTemporaryFiles(const std::string& path) {
  sys::System& system = sys::Current();
  for (const char* suffix : {".tmp", ".tmp2"}) {
    const std::string temporary = path + suffix;
    if (IsPathExist(temporary)) system.DeleteFile(temporary);
  }
}

}  // namespace

std::string VersionsUrl(const std::string& dataHost, uint32_t time) {
  return dataHost + "/versions.txt?t=" + std::to_string(time);
}

std::string GameFilesUrl(const std::string& dataHost, uint32_t time) {
  return dataHost + "standalone/launcher/gamefiles.txt?t=" + std::to_string(time);
}

std::string VersionsFilePath(const std::string& workPath) {
  return workPath + "versions.txt";
}

std::string GameFilesPath(const std::string& workPath) {
  return workPath + "gamefiles.txt";
}

std::string GameFileUrl(const std::string& dataHost, const std::string& name, int version) {
  const std::string url = dataHost + name + "." + std::to_string(version);
  std::string result;
  for (std::string_view c : Characters(url)) {
    if (c == "\\") {
      result += '/';
    } else if (c == " ") {
      result += "%20";
    } else {
      result += c;
    }
  }
  return result;
}

std::string LocalFileName(const std::string& name, int version) {
  std::string local = name;
  ReplaceAll(local, "standalone/", "");
  if (sys::FindText(local, "resourcelib/") != std::string::npos) {
    local = "Cached/" + local + "." + std::to_string(version);
  }
  return local;
}

bool IsInsideWorkFolder(const std::string& localName) {
  if (sys::FindChar(localName, kSeparators) == 0) return false;
  if (localName.size() >= 2 && std::isalpha(static_cast<unsigned char>(localName[0])) &&
      localName[1] == ':') {
    return false;
  }
  std::string part;
  for (std::string_view c : Characters(localName)) {
    if (IsSeparator(c)) {
      if (IsParentPart(part)) return false;
      part.clear();
    } else {
      part += c;
    }
  }
  return !IsParentPart(part);
}

std::string LocalNameKey(const std::string& localName) {
  std::string key, part;
  auto endPart = [&] {
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty()) key += (key.empty() ? "" : "/") + part;
    part.clear();
  };
  for (std::string_view c : Characters(localName)) {
    if (IsSeparator(c)) {
      endPart();
    } else if (c.size() == 1) {
      // ASCII letters only: the second byte of a double-byte character is no letter.
      const auto byte = static_cast<unsigned char>(c[0]);
      part += byte < 0x80 ? static_cast<char>(std::tolower(byte)) : c[0];
    } else {
      part += c;
    }
  }
  endPart();
  return key;
}

bool IsReservedLocalName(const std::string& localName) {
  const std::string key = LocalNameKey(localName);
  for (const char* own : {"versions.txt", "gamefiles.txt", "log.txt", "launcherversion.txt",
                          "launcher.exe", "cached/versions.txt"}) {
    if (key == own) return true;
  }
  return EndsWith(key, ".version") || EndsWith(key, ".tmp") || EndsWith(key, ".tmp2");
}

std::string LocalFilePath(const std::string& workPath, const std::string& localName) {
  const std::string joined = workPath + localName;
  std::string path;
  for (std::string_view c : Characters(joined)) {
    path += IsSeparator(c) ? std::string_view(&sys::kPathSeparator, 1) : c;
  }
  return path;
}

bool IsFileCurrent(const std::string& path, int version) {
  return ReadLocalVersion(path) == version && IsPathExist(path);
}

bool StartManifestJob(Downloader& downloader, const AppConfig& config,
                      const std::string& versionsFile, const std::string& gameFilesFile,
                      Downloader::ICallback* pCallback) {
  downloader.Reset();
  const auto time = static_cast<uint32_t>(sys::Current().GetTime());
  downloader.Add(VersionsUrl(config.GetDataHost(), time), versionsFile);
  downloader.Add(GameFilesUrl(config.GetDataHost(), time), gameFilesFile);
  return downloader.ExcuteThread(false, false, pCallback);
}

bool PlanGameUpdate(const std::string& versionsFile, const std::string& gameFilesFile,
                    AppConfig& config, Downloader& downloader, int& nAdded) {
  nAdded = 0;
  VersionInfos versionInfos;
  std::vector<std::string> filelist;
  if (!Check(GetVersionInfo(versionsFile, versionInfos), "UpgradeDlg", 325,
             "GetVersionInfo(m_VersionsFileName, versionInfos)") ||
      !Check(GetGameFiles(gameFilesFile, filelist), "UpgradeDlg", 326,
             "GetGameFiles(m_GameFilesName, filelist)")) {
    return false;
  }
  VersionInfo info;
  if (!Check(versionInfos.GetInfo("clientVersion", info), "UpgradeDlg", 328,
             "versionInfos.GetInfo(\"clientVersion\", info)")) {
    return false;
  }
  config.strClientVersion = std::to_string(info.version);
  LogPrint("set client version %s", config.strClientVersion.c_str());

  downloader.Reset();
  std::map<std::string, std::string> seen;  // local name key -> the entry that has it
  for (const std::string& filename : filelist) {
    bool stop = !Check(versionInfos.GetInfo(filename, info), "UpgradeDlg", 344,
                       "versionInfos.GetInfo(filename, info)") ||
                RefuseEntry(filename, LocalFileName(filename, info.version), seen);
    if (stop) {
      // Nothing of the list is downloaded when any entry is refused.
      downloader.Reset();
      nAdded = 0;
      return false;
    }
    const std::string path =
        LocalFilePath(config.GetWorkPath(), LocalFileName(filename, info.version));
    RemoveStaleTemporaryFiles(path);
    if (!IsFileCurrent(path, info.version)) {
      downloader.Add(GameFileUrl(config.GetDataHost(), filename, info.version), path);
      ++nAdded;
    }
  }
  return true;
}

bool StartFilesJob(Downloader& downloader, Downloader::ICallback* pCallback) {
  return Check(downloader.ExcuteThread(true, true, pCallback), "UpgradeDlg", 401,
               "m_Downloader.ExcuteThread(true, true, this)");
}

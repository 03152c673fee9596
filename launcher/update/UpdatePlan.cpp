#include "UpdatePlan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "AppConfig.h"
#include "FileUtil.h"
#include "Log.h"
#include "Patch.h"
#include "Signature.h"
#include "SignedTree.h"
#include "VersionInfos.h"
#include "WindowsNames.h"
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

// The launcher's own files in the work folder.
constexpr const char* kLaunchersFiles[] = {"versions.txt", "gamefiles.txt",
                                           "log.txt",      "launcherversion.txt",
                                           "Launcher.exe", "Cached/versions.txt"};

// The folders on the way to a local name key, outermost first.
std::vector<std::string> FoldersOf(const std::string& key) {
  std::vector<std::string> folders;
  for (size_t at = sys::FindChar(key, "/"); at != std::string::npos;
       at = sys::FindChar(key, "/", at + 1)) {
    folders.push_back(key.substr(0, at));
  }
  return folders;
}

// True (with the log line saying why) when the update stops at this entry; `taken` holds the
// names of the entries before it.
bool RefuseEntry(const std::string& filename, const std::string& localName,
                 WorkFolderNames& taken) {
  if (!IsInsideWorkFolder(localName)) {
    LogPrint("file %s would be written outside the work folder, update stopped", filename.c_str());
    return true;
  }
  if (IsReservedLocalName(localName)) {
    LogPrint("file %s would replace a file of the launcher, update stopped", filename.c_str());
    return true;
  }
  if (NamesADevice(localName)) {
    LogPrint("file %s names a device on Windows, update stopped", filename.c_str());
    return true;
  }
  if (MayBeAShortName(localName)) {
    LogPrint("file %s may be the short name of another file on Windows, update stopped",
             filename.c_str());
    return true;
  }
  std::string other;
  switch (taken.Take(filename, localName, other)) {
    case WorkFolderNames::Clash::None:
      return false;
    case WorkFolderNames::Clash::SameFile:
      LogPrint("file %s would be written to the same file as %s, update stopped", filename.c_str(),
               other.c_str());
      break;
    case WorkFolderNames::Clash::InsideFile:
      LogPrint("file %s would need a folder where %s has a file, update stopped", filename.c_str(),
               other.c_str());
      break;
    case WorkFolderNames::Clash::OverFolder:
      LogPrint("file %s would put a file where %s needs a folder, update stopped", filename.c_str(),
               other.c_str());
      break;
  }
  return true;
}

// The signed tree behind the local manifests: the list verifies, names both manifests as they
// are, and is no older than the last one accepted, which it then becomes.
bool LoadSignedTree(const std::string& versionsFile, const std::string& gameFilesFile,
                    const std::string& workPath, const std::string& publicKey, ContentList& list) {
  const SignedListFiles files = GameTreeListFiles(workPath);
  return Check(ReadSignedList(files, publicKey, list), "UpgradeDlg", 330,
               "ReadSignedList(m_ContentListName, m_SignatureName)") &&
         Check(IsSignedManifest(list, kVersionsManifest, versionsFile), "UpgradeDlg", 331,
               "IsSignedManifest(contentList, m_VersionsFileName)") &&
         Check(IsSignedManifest(list, kGameFilesManifest, gameFilesFile), "UpgradeDlg", 332,
               "IsSignedManifest(contentList, m_GameFilesName)") &&
         Check(!IsRollback(files, list), "UpgradeDlg", 333, "!IsRollback(contentList)") &&
         Check(AcceptSequence(files, list), "UpgradeDlg", 334, "AcceptSequence(contentList)");
}

// The signed entry of `filename`, or nullptr (with the log line saying why) when the update
// stops at it.
const ContentEntry* SignedEntryToInstall(const ContentList& list, const std::string& filename,
                                         int version, const std::string& localName) {
  const ContentEntry* entry = SignedEntry(list, filename, version);
  if (!Check(entry != nullptr, "UpgradeDlg", 345, "SignedEntry(contentList, filename, version)")) {
    return nullptr;
  }
  if (IsSignedListFile(localName)) {
    LogPrint("file %s would replace the content list, update stopped", filename.c_str());
    return nullptr;
  }
  return entry;
}

// With its marker naming the right version, a file is current only when it is still there with
// its signed content; what is wrong is logged and noted. Without, it is simply not installed yet.
bool HasSignedContent(const std::string& path, const ContentEntry& entry,
                      std::vector<std::string>* pFound) {
  if (ReadLocalVersion(path) != entry.version) return false;
  std::string why = "is missing";
  if (IsPathExist(path) && FileHasContent(path, entry.content, why)) return true;
  LogPrint("content check: %s %s", path.c_str(), why.c_str());
  if (pFound) pFound->push_back(path + " " + why);
  return false;
}

// True (with the log line) when the file at `path`, about to be replaced, is one of the
// launcher's own under another name that the name rules did not see (a link, or a short name
// Windows gave it): the files' identity decides, not their names.
bool RefuseAlias(const std::string& filename, const std::string& path,
                 const std::string& workPath) {
  sys::System& system = sys::Current();
  if (!IsPathExist(path)) return false;
  const SignedListFiles lists = GameTreeListFiles(workPath);
  std::vector<std::string> own = {system.GetModuleFileName(), lists.list, lists.signature,
                                  lists.accepted};
  for (const char* name : kLaunchersFiles) own.push_back(LocalFilePath(workPath, name));
  for (const std::string& file : own) {
    if (system.SameFile(path, file)) {
      LogPrint("file %s would replace a file of the launcher, update stopped", filename.c_str());
      return true;
    }
  }
  return false;
}

// Every backslash made "/" and every blank "%20"; nothing else is escaped.
std::string EscapeUrl(const std::string& url) {
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

// The list's patch that makes `content` (version `version`) out of the file at `path`: its
// marker must name the patch's base version, and base, patch and result must fit in memory.
const ContentPatch* UsablePatch(const ContentList& list, const std::string& name,
                                const std::string& path, int version,
                                const ContentDigest& content) {
  const ContentPatch* patch = FindPatch(list, name, ReadLocalVersion(path), version);
  if (!patch || patch->resultSha256 != content.sha256) return nullptr;
  return PatchFitsBase(path, content.size, patch->size) ? patch : nullptr;
}

// Removes what an ended job left of `path`'s download and marker; no job runs while the plan
// is made.
void RemoveStaleTemporaryFiles(const std::string& path) {
  sys::System& system = sys::Current();
  for (const std::string& temporary :
       {path + ".tmp", path + ".tmp2", sys::HiddenFileTemporary(VersionFileName(path))}) {
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
  return EscapeUrl(dataHost + name + "." + std::to_string(version));
}

std::string PatchUrl(const std::string& dataHost, const std::string& name, int from, int to) {
  return EscapeUrl(dataHost + name + "." + std::to_string(from) + "-" + std::to_string(to) +
                   ".patch");
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
    } else if (c.size() == 1 && static_cast<unsigned char>(c[0]) < 0x80) {
      // ASCII in lower case, as keys always were: it is ASCII in every code page.
      part += static_cast<char>(std::tolower(static_cast<unsigned char>(c[0])));
    } else {
      // Upper case as Windows compares names, of whole characters (the second byte of a
      // double-byte character is no letter); one whose upper case is ASCII ("ı" is "I") as
      // above.
      const std::string upper = sys::UpperCaseChar(c);
      const auto byte = static_cast<unsigned char>(upper[0]);
      part += upper.size() == 1 && byte < 0x80
                  ? std::string(1, static_cast<char>(std::tolower(byte)))
                  : upper;
    }
  }
  endPart();
  return key;
}

bool IsReservedLocalName(const std::string& localName) {
  static const std::vector<std::string> ownKeys = [] {
    std::vector<std::string> keys;
    for (const char* own : kLaunchersFiles) keys.push_back(LocalNameKey(own));
    return keys;
  }();
  const std::string key = LocalNameKey(localName);
  const std::vector<std::string> folders = FoldersOf(key);
  for (const std::string& own : ownKeys) {
    if (key == own || std::find(folders.begin(), folders.end(), own) != folders.end()) return true;
  }
  return EndsWith(key, ".version") || EndsWith(key, ".tmp") || EndsWith(key, ".tmp2");
}

WorkFolderNames::Clash WorkFolderNames::Take(const std::string& entry, const std::string& localName,
                                             std::string& other) {
  const std::string key = LocalNameKey(localName);
  if (const auto it = m_files.find(key); it != m_files.end()) {
    // The same entry listed twice is still one file.
    if (it->second == entry) return Clash::None;
    other = it->second;
    return Clash::SameFile;
  }
  const std::vector<std::string> folders = FoldersOf(key);
  for (const std::string& folder : folders) {
    if (const auto it = m_files.find(folder); it != m_files.end()) {
      other = it->second;
      return Clash::InsideFile;
    }
  }
  // The marker and the temporary files lie beside the file, named after it.
  const std::string files[] = {key, key + ".version", key + ".version.tmp", key + ".tmp",
                               key + ".tmp2"};
  for (const std::string& file : files) {
    if (const auto it = m_folders.find(file); it != m_folders.end()) {
      other = it->second;
      return Clash::OverFolder;
    }
  }
  for (const std::string& file : files) m_files.emplace(file, entry);
  for (const std::string& folder : folders) m_folders.emplace(folder, entry);
  return Clash::None;
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
  struct Manifest {
    std::string url, file;
    uint64_t maxSize;
  };
  std::vector<Manifest> manifests = {
      {VersionsUrl(config.GetDataHost(), time), versionsFile, Downloader::kUnbounded},
      {GameFilesUrl(config.GetDataHost(), time), gameFilesFile, Downloader::kUnbounded}};
  const SignedListFiles files = GameTreeListFiles(config.GetWorkPath());
  if (!config.strUpdatePublicKey.empty()) {
    manifests.push_back(
        {ContentListUrl(config.GetDataHost(), time), files.list, kMaxContentListBytes});
    manifests.push_back(
        {SignatureUrl(config.GetDataHost(), time), files.signature, kMaxSignatureBytes});
  }
  for (const Manifest& manifest : manifests) {
    // A job stopped at one manifest never got to the others, so nothing would ever replace
    // what an ended one left of them; no job runs now.
    RemoveStaleTemporaryFiles(manifest.file);
    downloader.Add(manifest.url, manifest.file, nullptr, manifest.maxSize);
  }
  // Without a key a tree may still publish its content list (sizes, digests and what else
  // it offers); an old tree has none, and its update goes on as ever.
  if (config.strUpdatePublicKey.empty()) {
    RemoveStaleTemporaryFiles(files.list);
    downloader.AddOptional(ContentListUrl(config.GetDataHost(), time), files.list,
                           kMaxContentListBytes);
  }
  return downloader.ExcuteThread(false, false, pCallback);
}

bool PlanGameUpdate(const std::string& versionsFile, const std::string& gameFilesFile,
                    AppConfig& config, Downloader& downloader, int& nAdded,
                    std::vector<std::string>* pFound) {
  nAdded = 0;
  const bool bSigned = !config.strUpdatePublicKey.empty();
  ContentList contentList;
  if (bSigned && !LoadSignedTree(versionsFile, gameFilesFile, config.GetWorkPath(),
                                 config.strUpdatePublicKey, contentList)) {
    return false;
  }
  // The tree's list, signed or not; null where the tree publishes none.
  const ContentList* pList = &contentList;
  if (!bSigned && !ReadUnsignedList(GameTreeListFiles(config.GetWorkPath()), contentList)) {
    pList = nullptr;
  }
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
  // Nothing of the list is downloaded when any entry is refused.
  auto stopAll = [&] {
    downloader.Reset();
    nAdded = 0;
    return false;
  };
  WorkFolderNames taken;
  std::set<std::string> listed;
  for (const std::string& filename : filelist) {
    // Two transfers of one entry at once would write one temporary file.
    if (!listed.insert(filename).second) {
      LogPrint("file %s is listed again, downloaded once", filename.c_str());
      continue;
    }
    const ContentEntry* pSigned = nullptr;
    bool stop =
        !Check(versionInfos.GetInfo(filename, info), "UpgradeDlg", 344,
               "versionInfos.GetInfo(filename, info)") ||
        RefuseEntry(filename, LocalFileName(filename, info.version), taken) ||
        (bSigned && !(pSigned = SignedEntryToInstall(contentList, filename, info.version,
                                                     LocalFileName(filename, info.version))));
    if (stop) return stopAll();
    // An unsigned list's digest guards the transfer alike; an entry it gives another version
    // (a list older than the manifests) guards nothing.
    const ContentEntry* pListed = pList ? SignedEntry(*pList, filename, info.version) : nullptr;
    const std::string path =
        LocalFilePath(config.GetWorkPath(), LocalFileName(filename, info.version));
    RemoveStaleTemporaryFiles(path);
    const bool current = pSigned && config.bVerifyContent ? HasSignedContent(path, *pSigned, pFound)
                                                          : IsFileCurrent(path, info.version);
    if (!current && RefuseAlias(filename, path, config.GetWorkPath())) return stopAll();
    if (current) continue;
    const std::string url = GameFileUrl(config.GetDataHost(), filename, info.version);
    const ContentPatch* patch =
        pListed && config.bUsePatches
            ? UsablePatch(*pList, filename, path, info.version, pListed->content)
            : nullptr;
    if (patch) {
      downloader.AddPatched(url, path, pListed->content,
                            {PatchUrl(config.GetDataHost(), filename, patch->from, info.version),
                             patch->size, patch->baseSha256});
    } else {
      downloader.Add(url, path, pListed ? &pListed->content : nullptr);
    }
    ++nAdded;
  }
  return true;
}

bool StartFilesJob(Downloader& downloader, Downloader::ICallback* pCallback) {
  return Check(downloader.ExcuteThread(true, true, pCallback), "UpgradeDlg", 401,
               "m_Downloader.ExcuteThread(true, true, this)");
}

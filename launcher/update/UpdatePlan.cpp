#include "UpdatePlan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "AppConfig.h"
#include "DiskSpace.h"
#include "FileUtil.h"
#include "Log.h"
#include "Patch.h"
#include "Refusal.h"
#include "Resume.h"
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

// The signed tree behind the local manifests: a signed list (a tree that publishes none is
// refused as such, not as a forgery), naming both manifests as they are, of the expected tree,
// not expired, and no older than the last one accepted, which it then becomes. False when the
// update stops, with `refusal` set when the tree is refused.
bool LoadSignedTree(const std::string& versionsFile, const std::string& gameFilesFile,
                    const AppConfig& config, ContentList& list, UpdateRefusal& refusal) {
  const SignedListFiles files = GameTreeListFiles(config.GetWorkPath());
  auto refuse = [&refusal](Refusal kind, const std::string& reason) {
    refusal = {kind, reason};
    return false;
  };
  if (!Check(ReadSignedList(files, config.strUpdatePublicKey, list), "UpgradeDlg", 330,
             "ReadSignedList(m_ContentListName, m_SignatureName)")) {
    return IsPathExist(files.list) && IsPathExist(files.signature)
               ? refuse(Refusal::NotGenuine, "the content list is not signed by the key")
               : refuse(Refusal::NotSigned, "the tree publishes no signed content list");
  }
  if (!Check(IsSignedManifest(list, kVersionsManifest, versionsFile), "UpgradeDlg", 331,
             "IsSignedManifest(contentList, m_VersionsFileName)") ||
      !Check(IsSignedManifest(list, kGameFilesManifest, gameFilesFile), "UpgradeDlg", 332,
             "IsSignedManifest(contentList, m_GameFilesName)")) {
    return refuse(Refusal::NotGenuine, "a manifest is not the signed one");
  }
  if (!Check(IsExpectedTree(files, list, config.GetUpdateTree()), "UpgradeDlg", 336,
             "IsExpectedTree(contentList, m_config.GetUpdateTree())")) {
    return refuse(Refusal::OtherTree, "the content list is of tree \"" + list.tree + "\", not \"" +
                                          config.GetUpdateTree() + "\"");
  }
  if (!Check(!IsExpired(files, list, sys::Current().GetTime()), "UpgradeDlg", 335,
             "!IsExpired(contentList)")) {
    return refuse(Refusal::OutOfDate, "the content list expired at " +
                                          std::to_string(list.expires) +
                                          " (seconds since 1970): the server is out of date");
  }
  if (!Check(!IsRollback(files, list, config.nLowestSequence), "UpgradeDlg", 333,
             "!IsRollback(contentList)")) {
    return refuse(Refusal::OutOfDate, "the content list has sequence " +
                                          std::to_string(list.sequence) +
                                          ", older than this launcher takes");
  }
  return Check(AcceptSequence(files, list), "UpgradeDlg", 334, "AcceptSequence(contentList)");
}

// A refused tree's manifests and list go: a later update whose manifests job fails would plan
// from them, and nothing of a refused tree should look like an accepted one.
void ForgetRefusedTree(const std::string& versionsFile, const std::string& gameFilesFile,
                       const std::string& workPath) {
  const SignedListFiles files = GameTreeListFiles(workPath);
  for (const std::string& path : {versionsFile, gameFilesFile, files.list, files.signature}) {
    sys::Current().DeleteFile(path);
  }
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
// is made. A body cut short whose record names `url` (the version is in it) and `digest` stays,
// for the download to continue; one of another version goes.
void RemoveStaleTemporaryFiles(const std::string& path, const std::string& url = "",
                               const std::string& digest = "") {
  sys::System& system = sys::Current();
  std::vector<std::string> stale = {path + ".tmp2",
                                    sys::HiddenFileTemporary(VersionFileName(path))};
  ResumeRecord kept;
  if (url.empty() || !ReadResumeRecord(path, kept) || !MayResume(kept, url, digest)) {
    stale.push_back(path + ".tmp");
    stale.push_back(ResumeRecordName(path));
  }
  for (const std::string& temporary : stale) {
    if (IsPathExist(temporary)) system.DeleteFile(temporary);
  }
}

// What installing the file at `path` does to the disk, from the list's sizes of the version to
// install; false when the list does not give them.
bool TakeFileSpace(const ContentList* pList, const std::string& name, int version,
                   const std::string& path, std::vector<FileSpace>& files) {
  if (!pList) return false;
  const ContentEntry* entry = SignedEntry(*pList, name, version);
  const auto payload = pList->payloads.find(name);
  if (!entry || payload == pList->payloads.end() || payload->second.version != version) {
    return false;
  }
  files.push_back(
      {entry->content.size, FileSize(path), payload->second.size, FileSize(path + ".tmp")});
  return true;
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
  return UrlText(dataHost + name + "." + std::to_string(version));
}

std::string PatchUrl(const std::string& dataHost, const std::string& name, int from, int to) {
  return UrlText(dataHost + name + "." + std::to_string(from) + "-" + std::to_string(to) +
                 ".patch");
}

std::string UrlText(const std::string& text) {
  std::string result;
  for (std::string_view c : Characters(text)) {
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
  return EndsWith(key, ".version") || EndsWith(key, ".tmp") || EndsWith(key, ".tmp2") ||
         EndsWith(key, ".tmp.range");
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
  const std::string files[] = {key,          key + ".version", key + ".version.tmp",
                               key + ".tmp", key + ".tmp2",    key + ".tmp.range"};
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
    bool optional;
  };
  const SignedListFiles files = GameTreeListFiles(config.GetWorkPath());
  // The content list (and under a key its signature) a tree may lack: without a key an old
  // tree's update goes on as ever; under one, a tree that publishes none is refused as such by
  // the plan instead of being retried as a network failure.
  std::vector<Manifest> manifests = {
      {VersionsUrl(config.GetDataHost(), time), versionsFile, Downloader::kUnbounded, false},
      {GameFilesUrl(config.GetDataHost(), time), gameFilesFile, Downloader::kUnbounded, false},
      {ContentListUrl(config.GetDataHost(), time), files.list, kMaxContentListBytes, true}};
  if (!config.strUpdatePublicKey.empty()) {
    manifests.push_back(
        {SignatureUrl(config.GetDataHost(), time), files.signature, kMaxSignatureBytes, true});
  }
  for (const Manifest& manifest : manifests) {
    // A job stopped at one manifest never got to the others, so nothing would ever replace
    // what an ended one left of them; no job runs now.
    RemoveStaleTemporaryFiles(manifest.file);
    if (manifest.optional) {
      downloader.AddOptional(manifest.url, manifest.file, manifest.maxSize);
    } else {
      downloader.Add(manifest.url, manifest.file, nullptr, manifest.maxSize);
    }
  }
  return downloader.ExcuteThread(false, false, pCallback);
}

bool PlanGameUpdate(const std::string& versionsFile, const std::string& gameFilesFile,
                    AppConfig& config, Downloader& downloader, int& nAdded,
                    std::vector<std::string>* pFound) {
  nAdded = 0;
  const bool bSigned = !config.strUpdatePublicKey.empty();
  // Nothing of the list is downloaded when any entry is refused.
  auto stopAll = [&] {
    downloader.Reset();
    nAdded = 0;
    return false;
  };
  UpdateRefusal refusal;
  auto refuseTree = [&] {
    LogPrint("update refused: %s", refusal.reason.c_str());
    ForgetRefusedTree(versionsFile, gameFilesFile, config.GetWorkPath());
    stopAll();
    downloader.Refuse(refusal);
    return false;
  };
  ContentList contentList;
  if (bSigned && !LoadSignedTree(versionsFile, gameFilesFile, config, contentList, refusal)) {
    return refusal.kind == Refusal::None ? false : refuseTree();
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
  WorkFolderNames taken;
  std::set<std::string> listed;
  std::vector<FileSpace> spaces;
  bool spaceKnown = true;
  for (const std::string& filename : filelist) {
    // Two transfers of one entry at once would write one temporary file.
    if (!listed.insert(filename).second) {
      LogPrint("file %s is listed again, downloaded once", filename.c_str());
      continue;
    }
    if (!Check(versionInfos.GetInfo(filename, info), "UpgradeDlg", 344,
               "versionInfos.GetInfo(filename, info)") ||
        RefuseEntry(filename, LocalFileName(filename, info.version), taken)) {
      return stopAll();
    }
    // An unsigned list's digest guards the transfer alike; an entry it gives another version
    // (a list older than the manifests) guards nothing.
    const ContentEntry* pListed = pList ? SignedEntry(*pList, filename, info.version) : nullptr;
    if (bSigned && !Check(pListed != nullptr, "UpgradeDlg", 345,
                          "SignedEntry(contentList, filename, version)")) {
      refusal = {Refusal::NotGenuine, "file " + filename +
                                          " is not in the signed content list with version " +
                                          std::to_string(info.version)};
      return refuseTree();
    }
    if (bSigned && IsSignedListFile(LocalFileName(filename, info.version))) {
      LogPrint("file %s would replace the content list, update stopped", filename.c_str());
      return stopAll();
    }
    const std::string path =
        LocalFilePath(config.GetWorkPath(), LocalFileName(filename, info.version));
    const std::string url = GameFileUrl(config.GetDataHost(), filename, info.version);
    RemoveStaleTemporaryFiles(path, url, pListed ? pListed->content.sha256 : "");
    const bool current = bSigned && config.bVerifyContent ? HasSignedContent(path, *pListed, pFound)
                                                          : IsFileCurrent(path, info.version);
    if (!current && RefuseAlias(filename, path, config.GetWorkPath())) return stopAll();
    if (current) continue;
    // A signed digest is the publisher's word on the content: other content is refused, not
    // retried; an unsigned one only guards against damage.
    const ContentPatch* patch =
        pListed && config.bUsePatches
            ? UsablePatch(*pList, filename, path, info.version, pListed->content)
            : nullptr;
    if (patch) {
      downloader.AddPatched(url, path, pListed->content,
                            {PatchUrl(config.GetDataHost(), filename, patch->from, info.version),
                             patch->size, patch->baseSha256},
                            bSigned);
    } else if (bSigned) {
      downloader.AddSigned(url, path, pListed->content);
    } else {
      downloader.Add(url, path, pListed ? &pListed->content : nullptr);
    }
    ++nAdded;
    spaceKnown = spaceKnown && TakeFileSpace(pList, filename, info.version, path, spaces);
  }
  // The tree's mirrors hold the same files. The manifests and the list came from the data host
  // alone: a launcher learns of mirrors from it.
  if (nAdded > 0 && pList && !pList->mirrors.empty()) {
    downloader.SetMirrors(UrlText(config.GetDataHost()), pList->mirrors);
  }
  // Nothing is fetched for an update the disk cannot hold; where a size is not known, each
  // transfer still refuses a body longer than the space left.
  if (spaceKnown && nAdded > 0 &&
      !HasRoomForUpdate(config.GetWorkPath(), PeakDiskNeed(spaces, downloader.Connections()))) {
    return stopAll();
  }
  return true;
}

bool StartFilesJob(Downloader& downloader, Downloader::ICallback* pCallback) {
  return Check(downloader.ExcuteThread(true, true, pCallback), "UpgradeDlg", 401,
               "m_Downloader.ExcuteThread(true, true, this)");
}

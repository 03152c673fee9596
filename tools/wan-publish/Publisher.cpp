#include "Publisher.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "XzEncode.h"
#include "update/Decompressor.h"
#include "update/SignedTree.h"
#include "update/UpdatePlan.h"
#include "update/VersionInfos.h"
#include "update/WindowsNames.h"

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool SameFiles(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  char ba[65536], bb[65536];
  while (true) {
    fa.read(ba, sizeof ba);
    fb.read(bb, sizeof bb);
    if (fa.gcount() != fb.gcount() || !std::equal(ba, ba + fa.gcount(), bb)) return false;
    if (fa.gcount() == 0) return true;
  }
}

}  // namespace

std::string RefusedName(const std::string& name) {
  if (name.find_first_of("\t\r\n") != std::string::npos) return "holds a tab or a line end";
  if (name.find('\\') != std::string::npos) return "holds a backslash, a folder separator there";
  if (name.size() > kMaxManifestField) return "is longer than the manifests allow";
  if (name == "clientVersion") return "is the manifest's reserved name";
  if (name == kGameFilesManifest) return "is a file of the update itself";
  if (IsReservedLocalName(LocalFileName(name, 1))) {
    return "would replace a file of the launcher in the work folder";
  }
  if (NamesADevice(LocalFileName(name, 1))) return "names a device on Windows";
  if (MayBeAShortName(LocalFileName(name, 1))) {
    return "may be the short name of another file on Windows";
  }
  return "";
}

std::string ClashingLocalNames(const std::vector<std::string>& names) {
  // Every entry starts at the same version, so two "resourcelib/" files of one local name
  // would meet in the cache too.
  WorkFolderNames taken;
  for (const std::string& name : names) {
    std::string other;
    switch (taken.Take(name, LocalFileName(name, 1), other)) {
      case WorkFolderNames::Clash::None:
        break;
      case WorkFolderNames::Clash::SameFile:
        return "\"" + other + "\" and \"" + name + "\" would be installed as one file";
      case WorkFolderNames::Clash::InsideFile:
        return "\"" + name + "\" would be installed inside a file of \"" + other + "\"";
      case WorkFolderNames::Clash::OverFolder:
        return "\"" + name + "\" would be installed where \"" + other + "\" needs a folder";
    }
  }
  return "";
}

Publisher::Publisher(const std::string& buildDir, const std::string& treeDir)
    : m_buildDir(WithSlash(buildDir)), m_treeDir(WithSlash(treeDir)) {}

void Publisher::AddFile(const std::string& name, const std::string& source) {
  m_added[name] = source;
}

std::string Publisher::SourceOf(const std::string& name) const {
  const auto added = m_added.find(name);
  return added != m_added.end() ? added->second : m_buildDir + name;
}

bool Publisher::ListBuild(std::vector<std::string>& names, std::string& error) const {
  std::error_code ec;
  fs::recursive_directory_iterator it(m_buildDir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string name = it->path().lexically_relative(m_buildDir).generic_string();
    if (!m_added.count(name)) names.push_back(std::move(name));
  }
  if (ec) {
    error = m_buildDir + ": " + ec.message();
    return false;
  }
  for (const auto& [name, source] : m_added) {
    if (!fs::is_regular_file(source, ec)) {
      error = source + ": not a file";
      return false;
    }
    names.push_back(name);
  }
  for (const std::string& name : names) {
    std::string why = RefusedName(name);
    if (why.empty() && m_bSigned && IsSignedListFile(LocalFileName(name, 1))) {
      why = "would replace the content list in the work folder";
    }
    if (!why.empty()) {
      error = "\"" + name + "\" " + why;
      return false;
    }
  }
  std::sort(names.begin(), names.end());
  error = ClashingLocalNames(names);
  return error.empty();
}

bool Publisher::SameContent(const std::string& payload, const std::string& file) {
  const std::string unpacked = m_treeDir + ".wan-publish-compare";
  bool same = Decompressor().Decompress(payload, unpacked) && SameFiles(unpacked, file);
  std::remove(unpacked.c_str());
  return same;
}

// Finds the version for one build file: the current one when its payload holds the same
// content, else the next one whose payload name is free (a stale payload is never reused for
// other content), which gets a new payload.
bool Publisher::PublishFile(const std::string& name, int& version, bool& written,
                            std::string& error) {
  const std::string source = SourceOf(name);
  written = false;
  for (;; ++version) {
    const std::string payload = m_treeDir + name + "." + std::to_string(version);
    if (!fs::exists(payload)) break;
    if (SameContent(payload, source)) return true;
  }
  const std::string payload = m_treeDir + name + "." + std::to_string(version);
  std::error_code ec;
  fs::create_directories(fs::path(payload).parent_path(), ec);
  const std::string part = payload + ".part";
  if (!XzCompressFile(source, part, error)) return false;
  fs::rename(part, payload, ec);
  if (ec) {
    error = payload + ": " + ec.message();
    return false;
  }
  written = true;
  return true;
}

bool Publisher::WriteManifest(const std::string& relative, const std::string& text,
                              std::string& error) {
  const std::string path = m_treeDir + relative;
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  return WriteReplacing(path, text, error);
}

bool Publisher::Publish(const std::string& clientVersion, PublishResult& result,
                        std::string& error) {
  std::vector<std::string> names;
  if (!ListBuild(names, error)) return false;

  VersionInfos previous;
  if (fs::exists(m_treeDir + kVersionsManifest))
    GetVersionInfo(m_treeDir + kVersionsManifest, previous);
  VersionInfo info;
  result.clientVersion = !clientVersion.empty()                    ? clientVersion
                         : previous.GetInfo("clientVersion", info) ? std::to_string(info.version)
                                                                   : "1";
  std::string versions =
      "wan-publish versions manifest\nclientVersion\t" + result.clientVersion + "\t0\n";
  std::string gamefiles;
  for (const std::string& name : names) {
    int version = previous.GetInfo(name, info) ? info.version : 1;
    bool written = false;
    if (!PublishFile(name, version, written, error)) return false;
    versions += name + "\t" + std::to_string(version) + "\t0\n";
    result.published.push_back({name, version, SourceOf(name)});
    gamefiles += name + "\n";
    result.written += written;
  }
  result.files = static_cast<int>(names.size());
  // The versions first: a client that reads the new file list finds every name in it.
  return WriteManifest(kVersionsManifest, versions, error) &&
         WriteManifest(kGameFilesManifest, gamefiles, error);
}

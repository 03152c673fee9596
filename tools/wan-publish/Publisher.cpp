#include "Publisher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "Deltas.h"
#include "TreePaths.h"
#include "XzEncode.h"
#include "update/Decompressor.h"
#include "update/SignedTree.h"
#include "update/UpdatePlan.h"
#include "update/VersionInfos.h"
#include "update/WindowsNames.h"

namespace fs = std::filesystem;

namespace {

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

// One build file: what a worker needs and what it found.
struct Publisher::FileJob {
  std::string name;
  uint64_t size = 0;
  int previous = 0;  // the version the tree listed before, 0 for none (versions start at 1)
  int version = 0;   // from the previous one (or 1) up to the one published
  bool written = false;
  uint64_t payloadBytes = 0;
  std::string error;
};

struct Publisher::Counters {
  std::atomic<int> filesDone = 0;
  std::atomic<uint64_t> bytesDone = 0;
};

bool Publisher::SameContent(const std::string& payload, const std::string& file) {
  // Named after the payload: workers compare other files at the same time.
  const std::string unpacked = payload + ".compare";
  bool same = Decompressor().Decompress(payload, unpacked) && SameFiles(unpacked, file);
  std::remove(unpacked.c_str());
  return same;
}

// Finds the version for one build file: the current one when its payload holds the same
// content, else the next one whose payload name is free (a stale payload is never reused for
// other content), which gets a new payload.
bool Publisher::PublishFile(FileJob& job, Counters& counters) {
  const std::string source = SourceOf(job.name);
  std::string payload;
  bool same = false;
  for (;; ++job.version) {
    payload = m_treeDir + job.name + "." + std::to_string(job.version);
    if (!fs::exists(payload) || (same = SameContent(payload, source))) break;
  }
  std::error_code ec;
  if (same) {
    counters.bytesDone += job.size;
  } else {
    fs::create_directories(fs::path(payload).parent_path(), ec);
    const std::string part = payload + ".part";
    std::unique_lock large(m_largeFile, std::defer_lock);
    if (IsLargeFile(job.size, m_encoding)) large.lock();
    if (!XzCompressFile(source, part, m_encoding, counters.bytesDone, job.error)) return false;
    fs::rename(part, payload, ec);
    job.written = !ec;
  }
  if (!ec) job.payloadBytes = fs::file_size(payload, ec);
  if (ec) job.error = payload + ": " + ec.message();
  return !ec;
}

// Workers take the files largest first, so that no large file starts last and runs alone; the
// first failure stops them taking more.
void Publisher::PublishAll(std::vector<FileJob>& jobs, uint64_t bytes) {
  std::vector<size_t> order(jobs.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return jobs[a].size > jobs[b].size; });
  Counters counters;
  std::atomic<size_t> next = 0;
  std::atomic<bool> failed = false;
  std::mutex mutex;
  std::condition_variable ended;
  uint32_t running = m_encoding.threads;
  auto work = [&] {
    for (size_t i; !failed && (i = next++) < order.size(); ++counters.filesDone) {
      if (!PublishFile(jobs[order[i]], counters)) failed = true;
    }
    std::lock_guard lock(mutex);
    --running;
    ended.notify_one();
  };
  std::vector<std::thread> workers;
  for (uint32_t i = 0; i < m_encoding.threads; ++i) workers.emplace_back(work);
  auto report = [&] {
    if (m_report) {
      m_report({static_cast<int>(jobs.size()), counters.filesDone, bytes, counters.bytesDone});
    }
  };
  {
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(200), [&] { return running == 0; })) {
      report();
    }
  }
  for (std::thread& worker : workers) worker.join();
  report();
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
  const bool hadManifest = fs::exists(m_treeDir + kVersionsManifest);
  if (hadManifest) GetVersionInfo(m_treeDir + kVersionsManifest, previous);
  VersionInfo info;
  result.clientVersion = !clientVersion.empty()                    ? clientVersion
                         : previous.GetInfo("clientVersion", info) ? std::to_string(info.version)
                                                                   : "1";
  std::vector<FileJob> jobs(names.size());
  uint64_t bytes = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    FileJob& job = jobs[i];
    job.name = names[i];
    std::error_code ec;
    job.size = fs::file_size(SourceOf(job.name), ec);
    if (ec) {
      error = SourceOf(job.name) + ": " + ec.message();
      return false;
    }
    bytes += job.size;
    const bool listed = previous.GetInfo(job.name, info);
    job.previous = listed ? info.version : 0;
    job.version = listed ? info.version : 1;
  }
  PublishAll(jobs, bytes);

  std::string versions =
      "wan-publish versions manifest\nclientVersion\t" + result.clientVersion + "\t0\n";
  std::string gamefiles;
  if (hadManifest) result.fromLastVersion.emplace();
  for (const FileJob& job : jobs) {
    if (!job.error.empty()) {
      error = job.error;
      return false;
    }
    versions += job.name + "\t" + std::to_string(job.version) + "\t0\n";
    result.published.push_back({job.name, job.version, SourceOf(job.name), job.payloadBytes, {}});
    gamefiles += job.name + "\n";
    result.written += job.written;
    // A player's file is current when its marker names the manifest's version.
    if (hadManifest && job.previous != job.version) {
      result.fromLastVersion->files++;
      result.fromLastVersion->bytes += job.payloadBytes;
    }
    result.fromNothing.files++;
    result.fromNothing.bytes += job.payloadBytes;
  }
  result.files = static_cast<int>(names.size());
  // The manifest being replaced is one a player may still have installed.
  if (m_deltas > 0 && !RecordHistory(m_treeDir, m_deltas, error)) return false;
  // The versions first: a client that reads the new file list finds every name in it.
  return WriteManifest(kVersionsManifest, versions, error) &&
         WriteManifest(kGameFilesManifest, gamefiles, error) &&
         (m_deltas == 0 || PublishPatches(m_treeDir, result.published, m_encoding.threads, error));
}

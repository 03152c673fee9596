// Turns a game build folder into an update tree: "versions.txt", the game file list
// "standalone/launcher/gamefiles.txt", and every file as "NAME.VERSION", xz-compressed.
// Publishing again into the same tree raises the version of exactly the files whose content
// changed; unchanged files keep their version and payload. Files are compressed in parallel,
// largest first; the manifests are written in name order once every file is done.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "TreeSigner.h"
#include "XzEncode.h"

// The payloads a player downloads to come up to the published tree.
struct Download {
  int files = 0;
  uint64_t bytes = 0;
};

struct PublishResult {
  int files = 0;    // files listed
  int written = 0;  // new or changed files, each with a new payload
  std::string clientVersion;
  std::vector<PublishedFile> published;  // every listed file, in the manifests' order
  // From the versions the tree listed before (none for a new tree): the files whose version
  // changed or that it lacked. The tree keeps no older manifest, so this is the only one known.
  std::optional<Download> fromLastVersion;
  Download fromNothing;  // a fresh install: every payload
};

// How far a publish has come: build files and their bytes, each read for compression or
// compared with its payload.
struct PublishProgress {
  int files = 0;
  int filesDone = 0;
  uint64_t bytes = 0;
  uint64_t bytesDone = 0;
};

class Publisher {
 public:
  Publisher(const std::string& buildDir, const std::string& treeDir);

  // Publishes `source` as the build's file `name`, as if the build folder held it there (in
  // place of a file of that name it does hold): the demo's game build gets its stand-in game.
  void AddFile(const std::string& name, const std::string& source);
  // The tree will have a content list: a build file may not take its place either.
  void SetSigned(bool bSigned) { m_bSigned = bSigned; }
  // The threads that compress (one file each, or together on a large file) and the size of a
  // large file.
  void SetEncoding(const XzEncoding& encoding) { m_encoding = encoding; }
  // Patches from the versions the last `publishes` publishes listed (Deltas.h); 0: none.
  void SetDeltas(int publishes) { m_deltas = publishes; }
  // Called on the thread of Publish a few times a second while files are being published, and
  // once when they are all done.
  void SetProgress(std::function<void(const PublishProgress&)> report) {
    m_report = std::move(report);
  }

  // `clientVersion` empty keeps the tree's (1 for a new tree). False with `error` set; the
  // manifests are replaced only at the end, each in one step.
  bool Publish(const std::string& clientVersion, PublishResult& result, std::string& error);

 private:
  struct FileJob;
  struct Counters;

  bool ListBuild(std::vector<std::string>& names, std::string& error) const;
  void PublishAll(std::vector<FileJob>& jobs, uint64_t bytes);
  bool PublishFile(FileJob& job, Counters& counters);
  bool SameContent(const std::string& payload, const std::string& file);
  std::string SourceOf(const std::string& name) const;
  bool WriteManifest(const std::string& relative, const std::string& text, std::string& error);

  std::string m_buildDir;  // both end with "/"
  std::string m_treeDir;
  std::map<std::string, std::string> m_added;  // name -> source file
  bool m_bSigned = false;
  XzEncoding m_encoding;
  int m_deltas = 0;
  std::function<void(const PublishProgress&)> m_report;
  std::mutex m_largeFile;  // one large file at a time: its encoder already uses every thread
};

// Why a build file cannot be published under `name` (empty when it can).
std::string RefusedName(const std::string& name);
// Why the build files `names` cannot be published together: two of them would be one file in
// a work folder, or one would need a folder where another has a file (empty when none would).
std::string ClashingLocalNames(const std::vector<std::string>& names);

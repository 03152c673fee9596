// Turns a game build folder into an update tree: "versions.txt", the game file list
// "standalone/launcher/gamefiles.txt", and every file as "NAME.VERSION", xz-compressed.
// Publishing again into the same tree raises the version of exactly the files whose content
// changed; unchanged files keep their version and payload.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "TreeSigner.h"

struct PublishResult {
  int files = 0;    // files listed
  int written = 0;  // new or changed files, each with a new payload
  std::string clientVersion;
  std::vector<PublishedFile> published;  // every listed file, in the manifests' order
};

class Publisher {
 public:
  Publisher(const std::string& buildDir, const std::string& treeDir);

  // Publishes `source` as the build's file `name`, as if the build folder held it there (in
  // place of a file of that name it does hold): the demo's game build gets its stand-in game.
  void AddFile(const std::string& name, const std::string& source);
  // The tree will be signed: a build file may not take the content list's place either.
  void SetSigned(bool bSigned) { m_bSigned = bSigned; }

  // `clientVersion` empty keeps the tree's (1 for a new tree). False with `error` set; the
  // manifests are replaced only at the end, each in one step.
  bool Publish(const std::string& clientVersion, PublishResult& result, std::string& error);

 private:
  bool ListBuild(std::vector<std::string>& names, std::string& error) const;
  bool PublishFile(const std::string& name, int& version, bool& written, std::string& error);
  bool SameContent(const std::string& payload, const std::string& file);
  std::string SourceOf(const std::string& name) const;
  bool WriteManifest(const std::string& relative, const std::string& text, std::string& error);

  std::string m_buildDir;  // both end with "/"
  std::string m_treeDir;
  std::map<std::string, std::string> m_added;  // name -> source file
  bool m_bSigned = false;
};

// Why a build file cannot be published under `name` (empty when it can).
std::string RefusedName(const std::string& name);
// Why the build files `names` cannot be published together: two of them would be one file in
// a work folder, or one would need a folder where another has a file (empty when none would).
std::string ClashingLocalNames(const std::vector<std::string>& names);

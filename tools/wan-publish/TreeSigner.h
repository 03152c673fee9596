// Signs a published update tree: writes its content list (every file's version, size and
// SHA-256 as installed, both manifests, and the launcher build of a launcher folder) and the
// list's detached Ed25519 signature beside the manifests. The existing files of the tree stay
// as they are, so launchers that check nothing read the tree as before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/ContentList.h"

// One file of the published build: its name in the manifests, its version, the build file
// whose bytes a player installs, the size of its payload in the tree and its patches.
struct PublishedFile {
  std::string name;
  int version = 0;
  std::string source;
  uint64_t payloadBytes = 0;
  std::vector<ContentPatch> patches;  // to this version, each from another base
};

struct SignOptions {
  // Secret key files from MakeKeys: one signature line each, so that launchers carrying any of
  // their public keys accept the tree (two while a key is being replaced).
  std::vector<std::string> secretKeyFiles;
  // A launcher update folder ("launcherversion.txt" and the build it names) to name in the
  // list and to give the same list and signature; empty: none.
  std::string launcherDir;
  // Other hosts of the same tree, as folder URLs (IsMirrorUrl), for the list to name.
  std::vector<std::string> mirrors;
  // The tree the list is published for (IsTreeId), which launchers expecting one compare;
  // empty: the list names none.
  std::string tree;
  // Seconds since 1970 from which launchers with a key refuse the list; 0: never.
  uint64_t expires = 0;
};

// Writes `text` to `path` through "PATH.part" and one rename, so that a server never serves a
// half-written file. False with `error` set.
bool WriteReplacing(const std::string& path, const std::string& text, std::string& error);

// Writes "contentlist.txt" and "contentlist.sig" into `treeDir` (and `launcherDir`), each
// replaced in one rename; with no key, the list alone into `treeDir`. The sequence is one above the
// highest of the lists it replaces. False with `error` set.
bool SignTree(const std::string& treeDir, const std::vector<PublishedFile>& files,
              const SignOptions& options, uint64_t& sequence, std::string& error);

// Makes a key pair: NAME.key (the secret key, readable by its owner only) and NAME.pub (the
// public key the launcher is built with). Neither file may exist yet.
bool MakeKeys(const std::string& name, std::string& publicKey, std::string& error);

// The tree's content list, which an unsigned publish leaves behind when it changes the manifests.
bool HasContentList(const std::string& treeDir);

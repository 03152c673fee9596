// The content list of a signed update tree: what every file of the tree must hold once
// installed (its size and the SHA-256 of its unpacked content), the two manifests it goes with,
// the launcher build it names, and a sequence number that only grows from one publish to the
// next. The publisher signs the list's bytes; a client that checks the signature can trust
// every digest in it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A file's content as installed: its size and the SHA-256 of its bytes as 64 lower-case hex
// digits.
struct ContentDigest {
  uint64_t size = 0;
  std::string sha256;

  bool operator==(const ContentDigest&) const = default;
};

// One game file of the tree: the version the versions manifest gives it and its content.
struct ContentEntry {
  int version = 0;
  ContentDigest content;

  bool operator==(const ContentEntry&) const = default;
};

// A patch the tree offers for one file: applied to the installed version `from`, whose bytes
// hash to `baseSha256`, it gives version `to`, whose bytes hash to `resultSha256`.
struct ContentPatch {
  int from = 0;
  int to = 0;
  uint64_t size = 0;  // the patch file's bytes
  std::string baseSha256;
  std::string resultSha256;

  bool operator==(const ContentPatch&) const = default;
};

struct ContentList {
  uint64_t sequence = 0;
  std::map<std::string, ContentDigest> manifests;  // "versions.txt", ".../gamefiles.txt"
  std::string launcherName;                        // "Launcher.exe.VERSION"; empty: none named
  ContentDigest launcher;
  std::map<std::string, ContentEntry> files;  // by the name the manifests give
  // By the name the manifests give, each from another base version, in the order written.
  std::map<std::string, std::vector<ContentPatch>> patches;

  bool operator==(const ContentList&) const = default;
};

// The first line of every list; a list of another layout gets another line.
inline constexpr const char* kContentListHeader = "wan content list 1";

// Lines, after the header, each a keyword and tab-separated fields:
//   sequence N
//   manifest NAME SIZE SHA256
//   launcher NAME SIZE SHA256
//   file NAME VERSION SIZE SHA256
//   patch NAME FROMVERSION TOVERSION SIZE BASESHA256 RESULTSHA256
// The list is written by wan-publish only: anything else (an unknown keyword, a missing or
// extra field, a malformed number or digest, a name given twice (a patch: a name and base
// version given twice), no sequence) makes the whole
// list unreadable, with `error` saying where.
bool ParseContentList(const std::string& text, ContentList& list, std::string& error);
// The list as ParseContentList reads it; names must not hold a tab or a line end.
std::string FormatContentList(const ContentList& list);
// The list's patch of `name` from the installed version `from` to `to`, else nullptr.
const ContentPatch* FindPatch(const ContentList& list, const std::string& name, int from, int to);

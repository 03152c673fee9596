// The content list of a signed update tree: what every file of the tree must hold once
// installed (its size and the SHA-256 of its unpacked content), the two manifests it goes with,
// the launcher build it names, a sequence number that only grows from one publish to the
// next, and optionally the tree it was published for and the time it expires. The publisher
// signs the list's bytes; a client that checks the signature can trust every digest in it.
#pragma once

#include <cstddef>
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

// The payload of one game file as the tree serves it (xz-compressed): its version and size, which
// an update adds up before it starts to know the disk space it needs.
struct PayloadEntry {
  int version = 0;
  uint64_t size = 0;

  bool operator==(const PayloadEntry&) const = default;
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
  std::string tree;      // the tree it was published for (IsTreeId); empty: it names none
  uint64_t expires = 0;  // seconds since 1970 from which it is no longer trusted; 0: never
  std::map<std::string, ContentDigest> manifests;  // "versions.txt", ".../gamefiles.txt"
  std::string launcherName;                        // "Launcher.exe.VERSION"; empty: none named
  ContentDigest launcher;
  std::map<std::string, ContentEntry> files;     // by the name the manifests give
  std::map<std::string, PayloadEntry> payloads;  // likewise; none in lists of older publishers
  // By the name the manifests give, each from another base version, in the order written.
  std::map<std::string, std::vector<ContentPatch>> patches;
  // Other data hosts holding the same tree, each a folder URL ending with "/", in the order a
  // launcher tries them after the data host it was given.
  std::vector<std::string> mirrors;

  bool operator==(const ContentList&) const = default;
};

// The first line of every list; a list of another layout gets another line.
inline constexpr const char* kContentListHeader = "wan content list 1";

// Lines, after the header, each a keyword and tab-separated fields:
//   sequence N
//   tree ID                  (at most once)
//   expires SECONDS_SINCE_1970  (at most once, above 0)
//   manifest NAME SIZE SHA256
//   launcher NAME SIZE SHA256
//   file NAME VERSION SIZE SHA256
//   mirror URL
//   payload NAME VERSION SIZE
//   patch NAME FROMVERSION TOVERSION SIZE BASESHA256 RESULTSHA256
// The list is written by wan-publish only: anything else (an unknown keyword, a missing or
// extra field, a malformed number or digest, a name given twice (a patch: a name and base
// version given twice), no sequence) makes the whole
// list unreadable, with `error` saying where.
bool ParseContentList(const std::string& text, ContentList& list, std::string& error);
// The most mirrors a list may name: a launcher tries each for every file that fails.
inline constexpr size_t kMaxMirrors = 16;

// A mirror as a list may name it: an http:// or https:// folder URL (ending with "/") of at most
// 1024 bytes, of printable ASCII without blanks or backslashes. A list is the server's word: no
// other text may reach libcurl or the log.
bool IsMirrorUrl(const std::string& url);

// The list as ParseContentList reads it; names must not hold a tab or a line end.
std::string FormatContentList(const ContentList& list);

// A tree's identifier as publishers choose it and launchers expect it: 1 to 64 ASCII letters,
// digits, ".", "_" and "-", so that it is one word in a list, a URL fragment and a build setting.
bool IsTreeId(const std::string& text);
// The list's patch of `name` from the installed version `from` to `to`, else nullptr.
const ContentPatch* FindPatch(const ContentList& list, const std::string& name, int from, int to);

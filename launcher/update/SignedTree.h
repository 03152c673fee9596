// The rules of signed update trees on the client: which files carry the signed content list,
// when a list is trusted (its signature verifies with the compiled-in public key, it is of the
// tree expected, it has not expired, and it is no older than one accepted before or than the
// build), and what it says a file must hold. With no public key
// compiled in, none of this runs and an update reads the manifests alone.
#pragma once

#include <cstdint>
#include <string>

#include "ContentList.h"

// The manifests' names in the tree, as the content list names them.
inline constexpr const char* kVersionsManifest = "versions.txt";
inline constexpr const char* kGameFilesManifest = "standalone/launcher/gamefiles.txt";

// LAUNCHER_UPDATE_PUBLIC_KEY: the publisher's public key as hex; empty for unsigned servers.
std::string UpdatePublicKey();
// LAUNCHER_UPDATE_TREE: the tree this build updates from; empty: the page's data host may name
// one (DataHostTree), else any tree of the key is taken.
std::string UpdateTree();
// LAUNCHER_UPDATE_MIN_SEQUENCE: the lowest sequence this build takes, so that a fresh folder
// (which has accepted nothing yet) takes no tree older than the build.
uint64_t LowestUpdateSequence();

// The most bytes of a list and of its signature, as downloaded and as read: far above any real
// list (a hundred thousand files take some 15 MB) and far below memory limits; a signature is
// a line of some 130 bytes per key, two while a key is replaced.
inline constexpr uint64_t kMaxContentListBytes = 64ull << 20;
inline constexpr uint64_t kMaxSignatureBytes = 4096;

// The list and its signature in a folder of the server; `folder` ends with "/" (a data host
// normally does). The time keeps caches from answering, as for the manifests.
std::string ContentListUrl(const std::string& folder, uint32_t time);
std::string SignatureUrl(const std::string& folder, uint32_t time);

// The local files of one signed source: the list's copy, the signature's copy, and the highest
// sequence accepted from that source. The game tree and the launcher folder each have their
// own, since an operator may publish one without the other.
struct SignedListFiles {
  std::string list;
  std::string signature;
  std::string accepted;
};
SignedListFiles GameTreeListFiles(const std::string& workPath);
SignedListFiles LauncherListFiles(const std::string& workPath);
// True for a local name that is one of the files above: a signed tree may not install over them.
bool IsSignedListFile(const std::string& localName);

// Reads the local copies into `list` when the signature is `publicKey`'s signature of the
// list's exact bytes and the list is readable; false with a log line saying which failed.
bool ReadSignedList(const SignedListFiles& files, const std::string& publicKey, ContentList& list);
// Reads the local copy of a list published without a signature into `list`: false when there is
// none, or (with a log line) when it does not read. Its digests guard against damage, not
// against a hostile server.
bool ReadUnsignedList(const SignedListFiles& files, ContentList& list);
// True when the file at `path` holds the manifest the list names `name`; false with a log line.
bool IsSignedManifest(const ContentList& list, const std::string& name, const std::string& path);
// True when the list is older than the newest accepted from its source, or than `lowest` where
// that is higher: an old signed tree replayed by someone between the player and the server, or
// served by a mirror that stopped syncing, which would bring back old files.
bool IsRollback(const SignedListFiles& files, const ContentList& list, uint64_t lowest);
// True (with a log line) when the list has expired at `now` (seconds since 1970): it is
// trusted until its expiry, not from then on, so a server that stops being re-published is
// refused instead of serving its last tree for ever. A list without an expiry never expires.
bool IsExpired(const SignedListFiles& files, const ContentList& list, int64_t now);
// True when the list is of the tree `expected`: a launcher that expects a tree takes no list of
// another, nor one that names none (published before trees had names); one that expects none
// takes any. False with a log line.
bool IsExpectedTree(const SignedListFiles& files, const ContentList& list,
                    const std::string& expected);
// Records the list's sequence as the newest accepted; false when it cannot be written.
bool AcceptSequence(const SignedListFiles& files, const ContentList& list);
// The list's entry for `name` when it gives it `version`, else nullptr.
const ContentEntry* SignedEntry(const ContentList& list, const std::string& name, int version);

// The rules of a game update, shared by the update dialog and the wan-update tool: where the
// manifests and game files come from, where files go in the work folder, which installed files
// are current, and the decision step between the manifests job and the files job.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Downloader.h"

struct AppConfig;

// "%s/versions.txt?t=%u" and "%sstandalone/launcher/gamefiles.txt?t=%u": the data host exactly
// as given, then the time that keeps caches from answering.
std::string VersionsUrl(const std::string& dataHost, uint32_t time);
std::string GameFilesUrl(const std::string& dataHost, uint32_t time);
// Local copies of the two manifests: "%sversions.txt" and "%sgamefiles.txt".
std::string VersionsFilePath(const std::string& workPath);
std::string GameFilesPath(const std::string& workPath);

// "%s%s.%d" with every backslash made "/" and every blank "%20"; nothing else is escaped.
std::string GameFileUrl(const std::string& dataHost, const std::string& name, int version);
// `text` escaped as GameFileUrl escapes its URL: the data host as it begins every file's URL.
std::string UrlText(const std::string& text);
// The patch of `name` from version `from` to `to`, "%s%s.%d-%d.patch" escaped alike: no payload
// ("NAME.VERSION" ends in a digit) or file of the tree's own can have that name.
std::string PatchUrl(const std::string& dataHost, const std::string& name, int from, int to);
// The name on disk: "standalone/" removed, and a "resourcelib/" file kept per version as
// "Cached/%s.%d".
std::string LocalFileName(const std::string& name, int version);
// False for a name that would leave the work folder: absolute, with a drive letter, or with a
// ".." part, "/" and "\" both separating folders.
bool IsInsideWorkFolder(const std::string& localName);
// The local name as a file system compares it, so that two names of one file are one key:
// "/" and "\" alike, empty and "." parts dropped, dots and blanks at the end of a part dropped
// and letters in one case as Windows compares them (sys::UpperCaseChar: "Ａ" and "ａ", "Σ" and
// "σ" are one letter there; ASCII comes out in lower case). Both clients read the same tree,
// so a tree that would clash on Windows is refused on Linux too.
std::string LocalNameKey(const std::string& localName);
// True for a local name that is one of the launcher's own files in the work folder: the
// manifests' copies, the log, the launcher and its version word, the cached versions manifest
// the start deletes, and any marker or temporary file (of every game file, which a game file
// of that name would replace or lose to). A name inside one of the launcher's named files
// ("log.txt/x") is reserved too: its folder could only take that file's place.
bool IsReservedLocalName(const std::string& localName);
// The names a tree's entries take in the work folder, compared by LocalNameKey: each entry's
// file with its marker and temporary files, and the folders on the way to it. Entries share
// folders, but no name can be one entry's file and another's folder: the install could put
// only the first in place, and every attempt at the other would fail.
class WorkFolderNames {
 public:
  enum class Clash {
    None,
    SameFile,    // the entry's file is `other`'s
    InsideFile,  // the entry needs a folder where `other` has a file
    OverFolder,  // the entry has a file where `other` needs a folder
  };
  // Takes the names of `entry`, installed as `localName`, unless they clash with those of an
  // entry taken before, which `other` then names. An entry taken again is no clash.
  Clash Take(const std::string& entry, const std::string& localName, std::string& other);

 private:
  std::map<std::string, std::string> m_files;    // name -> the entry whose file it is
  std::map<std::string, std::string> m_folders;  // name -> the first entry inside that folder
};
// The work folder followed by the local name, both separators made the system's.
std::string LocalFilePath(const std::string& workPath, const std::string& localName);
// Installed and current: its marker names `version` and the file exists.
bool IsFileCurrent(const std::string& path, int version);

// The manifests job, made afresh on `downloader` and started on a worker thread: neither
// unpacked nor marked. The tree's content list (with a public key in `config`, and its
// signature) comes with the manifests, as files the tree may lack. Temporary files an ended
// job left of these files are removed first. Its end comes through pCallback->OnComplete().
bool StartManifestJob(Downloader& downloader, const AppConfig& config,
                      const std::string& versionsFile, const std::string& gameFilesFile,
                      Downloader::ICallback* pCallback);

// The decision step after the manifests job: reads the local manifests, sets the client
// version, and adds every listed file that is not current to a fresh job on `downloader`
// (unstarted). Temporary files left beside a listed file by an ended job are removed (none
// runs while the plan is made), but for a body cut short of the version to install, which the
// download continues (Resume.h). False when the update stops (the log says why; nothing is
// left to run): among other reasons, when two entries would be one local file, an entry
// would be one of the launcher's own files (by its name, or an existing file by its identity),
// or a name is one Windows takes for another file or a device (WindowsNames.h). An entry
// listed again is planned once.
// Where the tree's content list gives every planned file's sizes, the update also stops when
// the work folder's drive cannot hold it at its peak (DiskSpace.h), before anything is fetched.
// `nAdded` is the number of files to download: 0 means the folder is current.
// With a public key in `config` (strUpdatePublicKey), the tree is refused (the refusal's kind
// and reason on `downloader`, GetRefusal; its manifests and list deleted) when the tree
// publishes no signed list, the signature does not verify, a manifest is not the one signed,
// the list is of another tree than expected (GetUpdateTree), has expired, is older than one
// accepted before or than nLowestSequence, or lacks an entry; every download must then hold its
// signed content, and one that does not is refused by the files job.
// The tree's list (signed, or without a key one the tree publishes unsigned) may name mirrors:
// the job then fetches each file from them when the data host fails it. Where it offers a patch
// from the installed version, the file's marker names that version, and the patch fits in
// memory (Patch.h), the download takes the patch first (unless config.bUsePatches is off).
// With bVerifyContent too, an installed file counts as current only when its content is the
// signed one (every file is read), and `pFound` gets a line for each one missing or changed.
bool PlanGameUpdate(const std::string& versionsFile, const std::string& gameFilesFile,
                    AppConfig& config, Downloader& downloader, int& nAdded,
                    std::vector<std::string>* pFound = nullptr);

// The files job on a worker thread: downloads are unpacked when .xz and receive markers.
bool StartFilesJob(Downloader& downloader, Downloader::ICallback* pCallback);

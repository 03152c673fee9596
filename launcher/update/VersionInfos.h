// The version manifests of the update server ("versions.txt", "gamefiles.txt") and the
// ".version" marker kept beside every installed game file.
#pragma once

#include <map>
#include <string>
#include <vector>

// One entry of the versions manifest.
struct VersionInfo {
  int version = 0;
  int extra = 0;  // the third column: kept, read by nobody
};

// The parsed versions manifest: names compare byte by byte, the first occurrence of a name wins.
class VersionInfos {
 public:
  virtual ~VersionInfos() = default;

  // Copies the entry into `info`; false (and `info` untouched) when there is none.
  bool GetInfo(const std::string& name, VersionInfo& info) const;
  // Adds an entry unless the name is already present; true when it was added.
  bool Insert(const std::string& name, const VersionInfo& info);
  const std::map<std::string, VersionInfo>& Entries() const { return m_infos; }

 private:
  std::map<std::string, VersionInfo> m_infos;  // std::string orders as unsigned bytes
};

// Fields and lines hold at most this many characters; a longer one makes the file unreadable.
inline constexpr size_t kMaxManifestField = 259;

// Reads a local versions manifest into `versionInfos`; false when it cannot be opened or holds
// a field longer than kMaxManifestField (the entries before that field are then incomplete).
bool GetVersionInfo(const std::string& fileName, VersionInfos& versionInfos);
// Appends every line of a local game file list to `filelist`; false as GetVersionInfo is.
bool GetGameFiles(const std::string& fileName, std::vector<std::string>& filelist);

// The version that the marker of `path` (path + ".version") names; 0 without a readable marker.
int ReadLocalVersion(const std::string& path);
// Writes the text after the last "." of `url` as the marker of `fileName`. Nothing is written
// when `url` has no "."; false when the marker could not be written.
bool WriteVersionFile(const std::string& url, const std::string& fileName);
// Writes `version` as the marker of `fileName`, replacing any earlier one; false on failure.
bool WriteVersionMarker(const std::string& fileName, const std::string& version);
// The marker's path for an installed file.
std::string VersionFileName(const std::string& fileName);

// Leading blanks, an optional sign and the digits up to the first non-digit; 0 without digits.
int LenientNumber(const std::string& text);

#include "VersionInfos.h"

#include <climits>
#include <cstdio>

#include "AppConfig.h"
#include "FileUtil.h"
#include "Log.h"
#include "platform/System.h"

namespace {

// Reads a manifest in text mode: a CR right before an LF is dropped, as the Windows C library
// drops it, so CR LF files read like LF files.
class ManifestReader {
 public:
  explicit ManifestReader(const std::string& fileName)
      : m_file(std::fopen(fileName.c_str(), "rb")) {}
  ~ManifestReader() {
    if (m_file) std::fclose(m_file);
  }
  ManifestReader(const ManifestReader&) = delete;
  ManifestReader& operator=(const ManifestReader&) = delete;

  bool is_open() const { return m_file != nullptr; }
  // Whether reading may go on: not at the end and no over-long field met.
  bool good() const { return !m_bEnd && !m_bTooLong; }
  bool TooLong() const { return m_bTooLong; }

  // Reads up to `delimiter` (consumed, not stored) or the end of the file. False when nothing at
  // all was consumed, or when the field grew past the limit (the whole file then counts as
  // unreadable).
  bool ReadField(char delimiter, std::string& field) {
    field.clear();
    if (!good()) return false;
    bool consumed = false;
    for (int c; (c = Get()) != EOF;) {
      consumed = true;
      if (c == delimiter) return true;
      if (field.size() == kMaxManifestField) {
        m_bTooLong = true;
        return false;
      }
      field += static_cast<char>(c);
    }
    m_bEnd = true;
    return consumed;
  }

 private:
  int Get() {
    int c = std::getc(m_file);
    if (c == '\r') {
      int next = std::getc(m_file);
      if (next == '\n') return next;
      if (next != EOF) std::ungetc(next, m_file);
    }
    return c;
  }

  FILE* m_file;
  bool m_bEnd = false;
  bool m_bTooLong = false;
};

// A cut-off manifest is unreadable rather than shorter: the entries after the cut were never
// checked, so what came before must not pass for the whole list.
bool ReadToTheEnd(const ManifestReader& file, const std::string& fileName) {
  if (!file.TooLong()) return true;
  LogPrint("%s: a field is longer than %zu characters, the file is unreadable", fileName.c_str(),
           kMaxManifestField);
  return false;
}

}  // namespace

bool VersionInfos::GetInfo(const std::string& name, VersionInfo& info) const {
  auto it = m_infos.find(name);
  if (it == m_infos.end()) return false;
  info = it->second;
  return true;
}

bool VersionInfos::Insert(const std::string& name, const VersionInfo& info) {
  return m_infos.emplace(name, info).second;
}

int LenientNumber(const std::string& text) {
  long value = LeadingNumber(text);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool GetVersionInfo(const std::string& fileName, VersionInfos& versionInfos) {
  ManifestReader file(fileName);
  if (!Check(file.is_open(), "UpgradeDlg", 246, "file.is_open()")) return false;
  std::string header, name, version, extra;
  file.ReadField('\n', header);
  while (file.good()) {
    if (!file.ReadField('\t', name) || !file.ReadField('\t', version) ||
        !file.ReadField('\n', extra)) {
      continue;
    }
    versionInfos.Insert(name, {LenientNumber(version), LenientNumber(extra)});
  }
  return ReadToTheEnd(file, fileName);
}

bool GetGameFiles(const std::string& fileName, std::vector<std::string>& filelist) {
  ManifestReader file(fileName);
  if (!Check(file.is_open(), "UpgradeDlg", 287, "file.is_open()")) return false;
  for (std::string line; file.good();) {
    if (file.ReadField('\n', line)) filelist.push_back(line);
  }
  return ReadToTheEnd(file, fileName);
}

std::string VersionFileName(const std::string& fileName) {
  return fileName + ".version";
}

int ReadLocalVersion(const std::string& path) {
  return LenientNumber(ReadFileWord(VersionFileName(path)));
}

bool WriteVersionFile(const std::string& url, const std::string& fileName) {
  size_t dot = url.rfind('.');
  if (dot == std::string::npos) return true;
  return WriteVersionMarker(fileName, url.substr(dot + 1));
}

bool WriteVersionMarker(const std::string& fileName, const std::string& version) {
  const std::string marker = VersionFileName(fileName);
  sys::System& system = sys::Current();
  if (!system.WriteHiddenFile(marker, version)) {
    LogPrint("write version file %s failed!(%d)", marker.c_str(), system.GetLastError());
    return false;
  }
  return true;
}

#include "FileUtil.h"

#include <sys/stat.h>

#include <cstdio>

#include "Log.h"
#include "platform/CodePage.h"
#include "platform/System.h"

std::string GetWritableRoot() {
  sys::System& system = sys::Current();
  const uint32_t tick = system.GetTickCount();
  uint64_t bestFree = 0;
  std::string result;
  // Ties keep the earlier drive: only strictly more free space replaces the best.
  for (const sys::Drive& drive : system.GetFixedDrives()) {
    if (drive.freeBytes <= bestFree) continue;
    char probe[64];
    std::snprintf(probe, sizeof probe, "orca_%u.txt", tick);
    std::string probePath = drive.root + probe;
    if (!system.CreateNewFile(probePath)) continue;
    system.DeleteFile(probePath);
    bestFree = drive.freeBytes;
    result = drive.root;
  }
  if (result.empty()) {
    std::string appData;
    if (system.GetSpecialFolder(sys::Folder::AppData, appData)) {
      result = appData + sys::kPathSeparator;
      LogPrint("no writeable disk, set path %s", result.c_str());
    } else {
      LogPrint("no writeable disk and get user app path failed");
    }
  }
  return result;
}

bool IsPathExist(const std::string& path) {
  return sys::Current().PathExists(path);
}

uint64_t FileSize(const std::string& path) {
#ifdef _WIN32
  struct _stat64 st {};
  return _stat64(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
#else
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
#endif
}

size_t FindLastSeparator(const std::string& path) {
  const size_t last = sys::FindLastChar(path, "/\\");
  return last != std::string::npos && last >= 1 ? last : std::string::npos;
}

bool CreateDirectoryRecursive(const std::string& path) {
  if (path.empty()) return false;
  sys::System& system = sys::Current();
  if (IsPathExist(path) || system.CreateDirectory(path)) return true;
  size_t separator = FindLastSeparator(path);
  if (separator == std::string::npos) return false;
  CreateDirectoryRecursive(path.substr(0, separator));
  // A path ending in a separator names the folder the call above has just made.
  if (system.CreateDirectory(path) || system.IsDirectory(path)) return true;
  LogPrint("CreateDirectory(%s) failed!(%d)", path.c_str(), system.GetLastError());
  return false;
}

bool CreateParentDirectory(const std::string& path) {
  size_t separator = FindLastSeparator(path);
  if (separator == std::string::npos) return false;
  return CreateDirectoryRecursive(path.substr(0, separator));
}

std::string ReadFileWord(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return "";
  char word[261] = {};
  // One character more than a word may hold tells a word that is too long.
  int read = std::fscanf(file, "%260s", word);
  std::fclose(file);
  std::string result = read == 1 ? word : "";
  return result.size() <= 259 ? result : "";
}

bool DeleteDirectoryTree(const std::string& path) {
  sys::System& system = sys::Current();
  std::string folder = path;
  if (!folder.empty() && !sys::EndsWithChar(folder, "/\\")) folder += sys::kPathSeparator;
  std::vector<std::string> names;
  system.ListDirectory(path, names);
  for (const std::string& name : names) {
    std::string full = folder + name;
    if (system.IsDirectory(full)) {
      DeleteDirectoryTree(full);
    } else {
      system.DeleteFile(full);
    }
  }
  return system.RemoveDirectory(path);
}

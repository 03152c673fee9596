// System services on Linux.
#pragma once

#include "../System.h"

namespace sys {

class PosixSystem : public System {
 public:
  std::vector<Drive> GetFixedDrives() override;
  bool FreeSpaceOf(const std::string& path, Drive& drive) override;
  bool GetSpecialFolder(Folder folder, std::string& path) override;
  std::string GetModuleFileName() override;
  std::vector<std::string> GetCommandLineArgs() override;
  uint32_t GetCurrentProcessId() override;
  uint32_t GetTickCount() override;
  int64_t GetTime() override;
  LocalTime ToLocalTime(int64_t time) override;
  void Sleep(uint32_t milliseconds) override;
  void OutputDebugString(const std::string& text) override;
  bool MessageBox(const std::string& text, const std::string& caption) override;

  int GetLastError() override;
  bool PathExists(const std::string& path) override;
  bool IsDirectory(const std::string& path) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateNewFile(const std::string& path) override;
  bool MoveFileReplace(const std::string& from, const std::string& to) override;
  bool CopyFile(const std::string& from, const std::string& to) override;
  bool ListDirectory(const std::string& path, std::vector<std::string>& names) override;
  bool SetCurrentDirectory(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  std::string GetFullPath(const std::string& path) override;
  bool WriteHiddenFile(const std::string& path, const std::string& content) override;
  bool GetFileVersion(const std::string& path, uint32_t& high, uint32_t& low) override;

  bool StartProcess(const std::string& file, const std::string& params, const std::string& workDir,
                    Process* started) override;
  void CloseProcess(Process& process) override;
  bool HasProcessEnded(const Process& process) override;
  bool OpenUrl(const std::string& url) override;
  bool SaveShortcut(const std::string& folder, const std::string& name,
                    const Shortcut& shortcut) override;
  bool TrustShortcut(const std::string& folder, const std::string& name) override;
  bool GetShellVerbs(const std::string& folder, const std::string& item,
                     std::vector<std::string>& verbs) override;
  bool InvokeShellVerb(const std::string& folder, const std::string& item, size_t index) override;
};

// Whether a mount of this file-system type on this device counts as a fixed local disk.
bool IsFixedDiskMount(const std::string& device, const std::string& fsType);

// The desktop folder that a user-dirs.dirs text (as xdg-user-dirs writes it) names in
// XDG_DESKTOP_DIR, with "$HOME" replaced by `home`; empty when the text names none.
std::string DesktopFolderFromUserDirs(const std::string& text, const std::string& home);

}  // namespace sys

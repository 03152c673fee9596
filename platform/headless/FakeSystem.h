// System services for tests: files and folders are real (tests keep them inside their own
// temporary folder), everything that would reach the machine is configured and recorded.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "../posix/PosixSystem.h"

namespace sys {

class FakeSystem : public PosixSystem {
 public:
  struct FakeDrive {
    std::string root;  // a folder of the test's, ending with the separator
    uint64_t freeBytes = 0;
    bool writable = true;
  };
  struct MessageBoxCall {
    std::string text, caption;
  };
  struct StartCall {
    std::string file, params, workDir;
  };
  struct VerbCall {
    std::string folder, item, verb;
  };

  // Installs itself as the current system; the destructor restores the previous one.
  FakeSystem();
  ~FakeSystem() override;

  // Configuration.
  std::vector<FakeDrive> drives;
  std::map<Folder, std::string> folders;
  std::string moduleFileName = "/opt/launcher/Launcher.exe";
  std::vector<std::string> commandLineArgs;
  uint32_t processId = 4242;
  uint32_t tickCount = 1000;
  int64_t time = 1796598460;  // 2026-12-06 23:07:40 UTC; local time here is UTC
  bool startSucceeds = true;
  // Paths that behave like files held open by another program: they cannot be deleted,
  // replaced or written.
  void Lock(const std::string& path);
  void Unlock(const std::string& path);
  // The process `id` (the n-th start gets processId + n) counts as ended from now on.
  void EndProcess(uint32_t id);
  // The verbs the shell offers on every item (none by default, as on the Linux desktop).
  std::vector<std::string> shellVerbs;
  // Called (on the calling thread) for every message box; the box is confirmed when it returns.
  std::function<void(const MessageBoxCall&)> onMessageBox;

  // What happened.
  std::vector<MessageBoxCall> MessageBoxes();
  std::vector<StartCall> Starts();
  // Process handles handed out and not given back yet, and give-backs of a handle that was not
  // out (closed twice, or never handed out).
  size_t OpenProcessHandles();
  size_t StrayProcessCloses();
  std::vector<std::string> OpenedUrls();
  std::vector<VerbCall> InvokedVerbs();
  // Shortcuts marked trusted, as folder + "/" + name.
  std::vector<std::string> TrustedShortcuts();
  std::vector<std::string> DebugOutput();
  uint64_t SleptMilliseconds();

  // System.
  std::vector<Drive> GetFixedDrives() override;
  // The configured drive whose root `path` lies in (the longest), else the real one.
  bool FreeSpaceOf(const std::string& path, Drive& drive) override;
  bool GetSpecialFolder(Folder folder, std::string& path) override;
  std::string GetModuleFileName() override { return moduleFileName; }
  std::vector<std::string> GetCommandLineArgs() override { return commandLineArgs; }
  uint32_t GetCurrentProcessId() override { return processId; }
  uint32_t GetTickCount() override { return tickCount; }
  int64_t GetTime() override { return time; }
  LocalTime ToLocalTime(int64_t time) override;
  void Sleep(uint32_t milliseconds) override;
  // Recorded as Sleep is, without sleeping; wakes at once when `wake` is already set.
  bool Pause(uint32_t milliseconds, const Signal& wake) override;
  void OutputDebugString(const std::string& text) override;
  bool MessageBox(const std::string& text, const std::string& caption) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateNewFile(const std::string& path) override;
  bool MoveFileReplace(const std::string& from, const std::string& to) override;
  bool CopyFile(const std::string& from, const std::string& to) override;
  bool StartProcess(const std::string& file, const std::string& params, const std::string& workDir,
                    Process* started) override;
  void CloseProcess(Process& process) override;
  bool HasProcessEnded(const Process& process) override;
  bool OpenUrl(const std::string& url) override;
  bool GetShellVerbs(const std::string& folder, const std::string& item,
                     std::vector<std::string>& verbs) override;
  bool InvokeShellVerb(const std::string& folder, const std::string& item, size_t index) override;
  bool TrustShortcut(const std::string& folder, const std::string& name) override;

 private:
  bool IsLocked(const std::string& path);
  bool RefusedByDrive(const std::string& path);

  System* m_previous = nullptr;
  std::mutex m_mutex;
  std::set<std::string> m_locked;
  std::vector<MessageBoxCall> m_messageBoxes;
  std::vector<StartCall> m_starts;
  std::set<uint64_t> m_openProcesses;
  size_t m_strayCloses = 0;
  std::set<uint32_t> m_endedProcesses;
  std::vector<std::string> m_urls;
  std::vector<VerbCall> m_verbs;
  std::vector<std::string> m_trusted;
  std::vector<std::string> m_debug;
  uint64_t m_slept = 0;
};

}  // namespace sys

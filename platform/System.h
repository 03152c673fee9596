// System services the launcher is written against: drives, special folders, files and
// folders, processes, clock, debugger output and the modal message box.
//
// One implementation is current per process. The real program uses the POSIX one
// (platform/posix); tests install a FakeSystem (platform/headless) that they configure.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace sys {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A fixed drive: its root (ending with the path separator) and the bytes free to the caller.
struct Drive {
  std::string root;
  uint64_t freeBytes = 0;
};

// The special folders the launcher uses.
enum class Folder {
  AppData,         // the user's roaming application-data folder
  Desktop,         // the user's desktop folder
  CommonPrograms,  // the all-users program menu
};

struct LocalTime {
  int year = 0;   // full year, e.g. 2026
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The fields of a broken-down time as the system's localtime/gmtime functions fill it.
LocalTime ToLocalTime(const std::tm& tm);

// A shortcut to a program: the file it starts, its working folder and the text shown for it.
// Where the desktop reads a shortcut's picture from a file of its own rather than from the
// program (Linux), `iconPng` is that picture; `windowClass` is the class of the program's main
// window, by which such desktops tie the running window to its shortcut. Windows takes both
// from the program itself and ignores them.
struct Shortcut {
  std::string target, workDir, description;
  std::string iconPng{};
  std::string windowClass{};
};

// A started process. `handle` is what the backend waits on or asks about (the pid on POSIX);
// whoever asked StartProcess for it owns it until System::CloseProcess gives it back.
struct Process {
  uint32_t id = 0;
  uint64_t handle = 0;
};

// A flag that one thread raises and others test or wait for (a job being ended, ...).
class Signal {
 public:
  void Set();
  void Clear();
  bool IsSet() const { return m_set.load(); }
  // Waits up to `milliseconds` by the monotonic clock; true when the flag is or gets set.
  bool WaitFor(uint32_t milliseconds) const;

 private:
  std::atomic<bool> m_set{false};
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
};

class System {
 public:
  virtual ~System() = default;

  // The machine.
  virtual std::vector<Drive> GetFixedDrives() = 0;
  // The drive (volume, mount) that holds the existing `path`: its root and the bytes free there
  // to the caller, which an update weighs against what it is about to write.
  virtual bool FreeSpaceOf(const std::string& path, Drive& drive) = 0;
  virtual bool GetSpecialFolder(Folder folder, std::string& path) = 0;  // no trailing separator
  virtual std::string GetModuleFileName() = 0;
  // The process's arguments after the program name.
  virtual std::vector<std::string> GetCommandLineArgs() = 0;
  virtual uint32_t GetCurrentProcessId() = 0;
  virtual uint32_t GetTickCount() = 0;  // milliseconds, wraps after 49 days
  virtual int64_t GetTime() = 0;        // seconds since 1970
  virtual LocalTime ToLocalTime(int64_t time) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Sleeps like Sleep, but wakes as soon as `wake` is set; true when it was.
  virtual bool Pause(uint32_t milliseconds, const Signal& wake) {
    return wake.WaitFor(milliseconds);
  }
  virtual void OutputDebugString(const std::string& text) = 0;

  // A modal box with an OK button and no owner. Blocks the calling thread until confirmed;
  // false when it could not be shown (the program is ending).
  virtual bool MessageBox(const std::string& text, const std::string& caption) = 0;

  // Files and folders. Failures return false and leave the reason in GetLastError().
  virtual int GetLastError() = 0;
  virtual bool PathExists(const std::string& path) = 0;
  virtual bool IsDirectory(const std::string& path) = 0;
  virtual bool CreateDirectory(const std::string& path) = 0;  // one level
  virtual bool RemoveDirectory(const std::string& path) = 0;  // empty folders only
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool CreateNewFile(const std::string& path) = 0;  // empty, replacing any file
  // Replaces `to` by `from` in one step: `to` is the old file or the new one at every moment.
  virtual bool MoveFileReplace(const std::string& from, const std::string& to) = 0;
  virtual bool CopyFile(const std::string& from, const std::string& to) = 0;  // overwrites
  virtual bool ListDirectory(const std::string& path, std::vector<std::string>& names) = 0;
  virtual bool SetCurrentDirectory(const std::string& path) = 0;
  // Whether both paths name one existing file (the same file, not equal texts): links, "..",
  // doubled separators and hard links all lead to it. False when either does not exist.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // The absolute form of `path`: for an existing one without links, "." or "..", otherwise
  // joined to the current folder. Empty when neither can be had.
  virtual std::string GetFullPath(const std::string& path) = 0;
  // Writes a small file the user does not see (a version marker), replacing one of that name,
  // hidden or not. The content goes out in one write to HiddenFileTemporary(path), which then
  // replaces `path` in one step: at every moment `path` is the old file, the new one or absent,
  // never part of one. A failed write removes the temporary file.
  virtual bool WriteHiddenFile(const std::string& path, const std::string& content) = 0;
  // The file version an executable carries, as a version resource holds it: major << 16 | minor
  // in `high`, build << 16 | revision in `low`. False when the file has none.
  virtual bool GetFileVersion(const std::string& path, uint32_t& high, uint32_t& low) = 0;

  // Processes and the shell. `params` is split into arguments as a Windows command line is.
  // With `started`, the caller gets the process and owns its handle; without, nothing of the
  // process is kept. A failed start hands nothing out.
  virtual bool StartProcess(const std::string& file, const std::string& params,
                            const std::string& workDir, Process* started) = 0;
  // Gives back the handle of a process StartProcess handed out and empties `process`, so
  // nothing uses the handle afterwards (the system may give its value to another object).
  // Nothing for an empty one.
  virtual void CloseProcess(Process& process) = 0;
  // Whether a process StartProcess handed out has ended (true for an empty one).
  virtual bool HasProcessEnded(const Process& process) = 0;
  virtual bool OpenUrl(const std::string& url) = 0;  // in the user's browser
  // Writes the shortcut called `name` into `folder`, replacing one of that name.
  virtual bool SaveShortcut(const std::string& folder, const std::string& name,
                            const Shortcut& shortcut) = 0;
  // Marks the saved shortcut `name` in `folder` as one the user trusts, where the desktop
  // starts a shortcut on its desktop only once it is marked. True when nothing needed doing.
  virtual bool TrustShortcut(const std::string& folder, const std::string& name) = 0;
  // The display names of the shell's verbs on `item` inside `folder`, in the shell's order;
  // false when the shell does not know the folder or the item.
  virtual bool GetShellVerbs(const std::string& folder, const std::string& item,
                             std::vector<std::string>& verbs) = 0;
  // Carries out the verb at `index` of GetShellVerbs' list.
  virtual bool InvokeShellVerb(const std::string& folder, const std::string& item,
                               size_t index) = 0;
};

// The current implementation; the POSIX one unless a test or the GUI installed another.
System& Current();
// Installs `system` as the current one (nullptr restores the default) and returns the previous.
System* Install(System* system);

// Splits a parameter string into arguments the way the Windows start-up code does:
// blanks and tabs separate, double quotes group, backslashes escape only before quotes.
std::vector<std::string> SplitCommandLine(const std::string& params);

// Where WriteHiddenFile writes `path`'s new content before it replaces `path`: `path` + ".tmp",
// a name the update reserves and clears away when a killed process left it.
std::string HiddenFileTemporary(const std::string& path);

// The folders LAUNCHER_FIXED_DRIVES lists, separated by `separator` (":" on Linux, ";" on
// Windows), each ending with the path separator; none when it is unset. Test rigs and the demo
// confine the launcher to these stand-ins for the drives.
std::vector<std::string> StandInDrives(char separator);

}  // namespace sys

// The real Launcher.exe on an Xvfb of the test's own: a temporary folder holding the home and
// XDG folders, the stand-in drive, the served tree and every log; a demo-server on a loopback
// port the kernel chose that stands for every site; and every process the run starts (the
// test is their subreaper, so detached ones stay its descendants) ended when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "TempDir.h"

// Polls `done` every 50 ms for up to `seconds`; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int seconds = 30);
// A process that exists and is not a zombie.
bool Alive(pid_t pid);
// The arguments of a running process, argv[0] first.
std::vector<std::string> ProcessArgs(pid_t pid);
// Runs a program to its end (bounded); returns its exit status, standard output in `output`.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);

// What the X server knows of a top-level window.
struct WindowInfo {
  bool exists = false;
  bool viewable = false;
  int x = 0, y = 0, width = 0, height = 0;
};
WindowInfo Info(uint32_t window);
// The top-level windows of a process, hidden ones included.
std::vector<uint32_t> WindowsOf(pid_t pid);
// The process's window of that class, 0 when it has none.
uint32_t WindowOf(pid_t pid, const std::string& className);
// Clicks the screen point with the pointer.
void ClickAt(int x, int y);
// Clicks the screen point once it shows `colour`: the page there is painted and on top.
void ClickWhenShown(int x, int y, uint32_t colour);

inline constexpr const char* kMainDialogClass = "DODuzoDizuzide";
// The colours of the served pages' whole-page links.
inline constexpr uint32_t kServerLinkColour = 0x223344, kLinkPageColour = 0x443322;

class LauncherE2E : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Work() const { return m_dir / "drive/wan_tarn/"; }
  std::string Root() const { return m_dir / "root/"; }
  // Starts a program with the run's environment; its output goes to <name>.out in the folder.
  pid_t Start(const std::vector<std::string>& argv, const std::string& cwd);
  // Puts the built Launcher.exe at `path` (its folders made).
  void PlaceLauncher(const std::string& path);
  // The server's answer to the self-update check.
  void ServeLauncherVersion(const std::string& version);
  // Publishes a small game build whose orca.exe is `orca` and serves a server list whose one
  // link, covering the whole page, starts it as a new player.
  void PublishGame(const std::string& orca);

  // The launcher's log, one entry per line without its time stamp.
  std::vector<std::string> Log() const;
  bool LogHas(const std::string& line) const;
  // Entries that begin with `prefix`.
  int LogCount(const std::string& prefix) const;
  std::string LogText() const;
  // Telemetry as received: the kind, or for login states "event " and the state.
  std::vector<std::string> Telemetry() const;
  std::string OrcaLog() const { return ReadFile(Work() + "orca.log"); }
  bool OrcaLogHas(const std::string& line) const;

  // Waits for the shown main dialog of `pid`; 0 if none came.
  uint32_t WaitForMainDialog(pid_t pid);
  // Clicks the server link in the middle of the main dialog's web area.
  void ClickServerLink(uint32_t dialog);

  TempDir m_dir;
  std::string m_origin;  // http://127.0.0.1:PORT
  std::set<pid_t> m_before;
};

// `expected` appear in `entries` in this order (others may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& entries,
                                   const std::vector<std::string>& expected);
// The file a process runs.
std::string ProcessExe(pid_t pid);

// The version note's description of a file version as the ELF note holds it.
bool PatchVersionNote(const std::string& path, const std::string& from, const std::string& to);

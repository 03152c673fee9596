// The stand-in game against a window of the test's own standing in for the launcher's: what
// reaches that window, what orca.log says, and how the game ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "OrcaLayout.h"
#include "TempDir.h"
#include "XvfbEnvironment.h"
#include "platform/Afx.h"
#include "platform/System.h"

// Xlib's header defines macros other headers trip over: it comes last.
#include <X11/Xlib.h>

namespace {

struct Received {
  UINT message;
  ULONG_PTR kind;
  std::string text;
};

class CLauncherStandIn : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  LRESULT OnGameInit(WPARAM, LPARAM) {
    received.push_back({WM_USER + 1, 0, ""});
    return 0;
  }
  LRESULT OnRunLauncher(WPARAM, LPARAM) {
    received.push_back({2030, 0, ""});
    return 0;
  }
  BOOL OnCopyData(CWnd*, COPYDATASTRUCT* data) {
    received.push_back({WM_COPYDATA, data->dwData,
                        std::string(static_cast<const char*>(data->lpData), data->cbData)});
    return 0;
  }
  bool Got(UINT message) const {
    for (const Received& r : received) {
      if (r.message == message) return true;
    }
    return false;
  }
  std::vector<Received> received;
};

const MessageMap& CLauncherStandIn::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CLauncherStandIn>(
      {
          OnMessageNumber(WM_USER + 1, &CLauncherStandIn::OnGameInit),
          OnMessageNumber(2030, &CLauncherStandIn::OnRunLauncher),
          OnCopyDataMsg(&CLauncherStandIn::OnCopyData),
      },
      &CWnd::GetThisMessageMap);
  return map;
}

// orca.exe started as the launcher starts it: the parameter string split into arguments, a
// folder of its own as the current one.
class Orca {
 public:
  Orca(const std::string& params, const std::string& folder) : m_folder(folder) {
    std::vector<std::string> args = sys::SplitCommandLine(params);
    args.insert(args.begin(), ORCA_EXE);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      if (chdir(folder.c_str()) == 0) execv(ORCA_EXE, argv.data());
      _exit(127);
    }
  }
  ~Orca() {
    if (m_pid > 0 && !m_exited) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  // Its first parentless top-level window, as the launcher's search takes it; 0 until it has one.
  HWND Window() const {
    std::pair<DWORD, HWND> search{static_cast<DWORD>(m_pid), 0};
    EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
          auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(lParam);
          DWORD pid = 0;
          GetWindowThreadProcessId(hwnd, &pid);
          if (pid != s->first || GetParent(hwnd)) return TRUE;
          s->second = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
  }
  bool Exited() {
    int status = 0;
    if (!m_exited && waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_exited = true;
      m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return m_exited;
  }
  int ExitStatus() const { return m_exitStatus; }
  std::string Log() const { return ReadFile(m_folder + "orca.log"); }
  bool LogHas(const std::string& line) const {
    return ("\n" + Log()).find("\n" + line + "\n") != std::string::npos;
  }

 private:
  std::string m_folder;
  pid_t m_pid = -1;
  bool m_exited = false;
  int m_exitStatus = -1;
};

// Clicks the middle of `button` of orca's window with the pointer (the X server's own input).
void Click(HWND orcaWindow, const RECT& button) {
  Display* display = TestDisplay();
  int x = 0, y = 0;
  Window child = 0;
  ASSERT_TRUE(XTranslateCoordinates(display, static_cast<Window>(orcaWindow),
                                    DefaultRootWindow(display), 0, 0, &x, &y, &child));
  x += (button.left + button.right) / 2;
  y += (button.top + button.bottom) / 2;
  ASSERT_EQ(RunWhileLooping("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                            " click 1"),
            0);
}

class OrcaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_launcher.CreateEx(0, "GameE2ELauncher", "launcher", WS_POPUP,
                                    RECT{0, 0, 100, 100}, nullptr, 0));
    m_launcher.ShowWindow(SW_SHOW);
  }
  std::string Params(const std::string& hwnd) const {
    return "-host 127.0.0.1 -port 7000 -datahost http://127.0.0.1:18080/game/ -launcher 2 -hwnd " +
           hwnd + " -newbie 1 -clientVersion 3 -account a1 -platform p1 -arg two words";
  }

  TempDir m_dir;
  CLauncherStandIn m_launcher;
};

TEST_F(OrcaTest, ReportsToTheLauncherAsksForThePopupAndEndsOnWmQuit) {
  const std::string hwnd = std::to_string(m_launcher.m_hWnd);
  const std::string params = Params(hwnd);
  Orca orca(params, m_dir.path());
  ASSERT_TRUE(RunLoopUntil([&] { return m_launcher.Got(WM_USER + 1); }, 20000));
  HWND window = 0;
  ASSERT_TRUE(RunLoopUntil([&] { return (window = orca.Window()) != 0; }));
  EXPECT_EQ(FindWindow(orca::kWindowClass, nullptr), window);

  Click(window, orca::kPopupButton);
  ASSERT_TRUE(RunLoopUntil([&] { return m_launcher.Got(WM_COPYDATA); }));
  Click(window, orca::kLauncherButton);
  ASSERT_TRUE(RunLoopUntil([&] { return m_launcher.Got(2030); }));
  ASSERT_EQ(m_launcher.received.size(), 3u);
  EXPECT_EQ(m_launcher.received[0].message, WM_USER + 1u);
  EXPECT_EQ(m_launcher.received[1].kind, 1u);
  EXPECT_EQ(m_launcher.received[1].text, "480,360,http://127.0.0.1:18080/popup.html");
  EXPECT_EQ(m_launcher.received[2].message, 2030u);

  ASSERT_TRUE(PostMessage(window, WM_QUIT, 0, 0));
  ASSERT_TRUE(RunLoopUntil([&] { return orca.Exited(); }, 20000));
  EXPECT_EQ(orca.ExitStatus(), 0);
  EXPECT_EQ(orca.Log().substr(0, orca.Log().find('\n')), "args: " + params);
  EXPECT_TRUE(orca.LogHas("sent WM_USER+1 to " + hwnd + ", result 0")) << orca.Log();
  EXPECT_TRUE(orca.LogHas("sent 2030 to " + hwnd + ", result 0")) << orca.Log();
  EXPECT_TRUE(orca.LogHas("WM_QUIT received, exit code 0")) << orca.Log();
  EXPECT_FALSE(orca.LogHas("window closed")) << orca.Log();
}

TEST_F(OrcaTest, ClosingItsWindowEndsIt) {
  Orca orca(Params(std::to_string(m_launcher.m_hWnd)), m_dir.path());
  ASSERT_TRUE(RunLoopUntil([&] { return m_launcher.Got(WM_USER + 1); }, 20000));
  HWND window = 0;
  ASSERT_TRUE(RunLoopUntil([&] { return (window = orca.Window()) != 0; }));
  ASSERT_TRUE(PostMessage(window, WM_CLOSE, 0, 0));
  ASSERT_TRUE(RunLoopUntil([&] { return orca.Exited(); }, 20000));
  EXPECT_EQ(orca.ExitStatus(), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(orca.LogHas("window closed")) << orca.Log();
  EXPECT_FALSE(orca.LogHas("WM_QUIT received, exit code 0")) << orca.Log();
}

// Values a lax reader would turn into this test's window: trailing text, and the window id
// plus 2^32.
TEST_F(OrcaTest, AMalformedHwndSendsNothing) {
  for (const std::string& hwnd : {std::to_string(m_launcher.m_hWnd) + "abc",
                                  std::to_string(m_launcher.m_hWnd + 0x100000000ull)}) {
    SCOPED_TRACE(hwnd);
    TempDir folder;
    Orca orca(Params(hwnd), folder.path());
    HWND window = 0;
    ASSERT_TRUE(RunLoopUntil([&] { return (window = orca.Window()) != 0; }, 20000));
    // Both buttons, clicked once the window is up (a command message from another process is
    // not accepted).
    ASSERT_TRUE(RunLoopUntil([&] { return orca.LogHas("window shown"); }));
    Click(window, orca::kPopupButton);
    Click(window, orca::kLauncherButton);
    // Each line is written after the send it reports would have returned.
    ASSERT_TRUE(RunLoopUntil([&] { return orca.LogHas("not sent: 2030 (no launcher window)"); }))
        << orca.Log();
    EXPECT_TRUE(m_launcher.received.empty());
    EXPECT_TRUE(orca.LogHas("-hwnd \"" + hwnd + "\" is not a window id: nothing will be sent"));
    EXPECT_TRUE(orca.LogHas("not sent: WM_USER+1 (no launcher window)")) << orca.Log();
    EXPECT_TRUE(orca.LogHas(
        "not sent: copy data 1 \"480,360,http://127.0.0.1:18080/popup.html\" (no launcher window)"))
        << orca.Log();
    ASSERT_TRUE(PostMessage(window, WM_QUIT, 0, 0));
    ASSERT_TRUE(RunLoopUntil([&] { return orca.Exited(); }, 20000));
  }
}

}  // namespace

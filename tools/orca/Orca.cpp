// orca.exe, the stand-in game: it keeps the game's side of the launch contract so that the
// launcher's whole road can be run without the real game. It shows the parameter string it was
// started with, reports to the launcher's "-hwnd" window once its own window is up, asks the
// launcher for the demo pop-up or to come forward on its buttons, and ends on WM_QUIT or when
// its window is closed. Every step is a line in "orca.log" in its current folder (the
// launcher's work folder), which end-to-end tests read.
#include <fstream>
#include <string>
#include <vector>

#include "OrcaLayout.h"
#include "OrcaRules.h"
#include "launcher/Messages.h"
#include "platform/Afx.h"
#include "platform/System.h"

namespace {

constexpr UINT WM_GAME_INIT = WM_USER + 1;
// Posted to itself once its window is shown, so the launcher hears of a window that is up.
constexpr UINT WM_ORCA_SHOWN = WM_USER + 100;
constexpr int kLineHeight = 20;

// Appends one line; line ends inside a hostile argument are escaped so a line stays a line.
void Log(const std::string& text) {
  std::string line;
  for (char c : text) line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  std::ofstream("orca.log", std::ios::app) << line << '\n';
}

class COrcaWnd : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  bool Create(const std::vector<std::string>& args) {
    m_options = ParseGameArgs(args);
    const std::string hwnd = GameOptionValue(m_options, "hwnd");
    m_hasLauncher = ParseLauncherWindow(hwnd, &m_launcher);
    if (!m_hasLauncher) Log("-hwnd \"" + hwnd + "\" is not a window id: nothing will be sent");

    char title[260] = "";
    LoadString(129, title, sizeof title);
    const std::string caption = std::string(title) + " (stand-in game)";
    if (!CreateEx(0, orca::kWindowClass, caption.c_str(), WS_CAPTION | WS_SYSMENU,
                  RECT{0, 0, orca::kWindowWidth, orca::kWindowHeight}, nullptr, 0)) {
      Log("cannot create the window");
      return false;
    }
    if (HICON icon = LoadIconResource(128)) SetIcon(icon, TRUE);
    m_btnPopup.Create("Open pop-up", WS_CHILD | WS_VISIBLE, orca::kPopupButton, this,
                      orca::kPopupButtonId);
    m_btnLauncher.Create("Show launcher", WS_CHILD | WS_VISIBLE, orca::kLauncherButton, this,
                         orca::kLauncherButtonId);
    CenterWindow();
    ShowWindow(SW_SHOW);
    PostMessage(WM_ORCA_SHOWN);
    return true;
  }

 protected:
  void OnPaint() {
    CPaintDC dc(this);
    std::vector<std::string> lines = {
        GetWindowText(),
        m_hasLauncher ? "reports to launcher window " + std::to_string(m_launcher)
                      : "no launcher window to report to",
        "started with:"};
    for (const GameOption& option : m_options) {
      std::string line =
          (option.name.empty() ? "(other)" : "-" + option.name) + "  " + option.value;
      if (line.size() > 72) line = line.substr(0, 69) + "...";
      lines.push_back(line);
    }
    int top = 10;
    for (const std::string& line : lines) {
      if (top + kLineHeight > orca::kPopupButton.top) break;
      dc.DrawText(line.c_str(), RECT{0, top, orca::kWindowWidth, top + kLineHeight}, 0xFF000000);
      top += kLineHeight;
    }
  }
  LRESULT OnShown(WPARAM, LPARAM) {
    Log("window shown");
    SendToLauncher(WM_GAME_INIT, 0, 0, "WM_USER+1");
    return 0;
  }
  void OnBnClickedPopup() {
    const std::string text = PopupCommand(GameOptionValue(m_options, "datahost"));
    if (text.empty()) {
      Log("no pop-up address from -datahost: nothing sent");
      return;
    }
    COPYDATASTRUCT data;
    data.dwData = 1;
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = const_cast<char*>(text.data());
    SendToLauncher(WM_COPYDATA, m_hWnd, reinterpret_cast<LPARAM>(&data),
                   "copy data 1 \"" + text + "\"");
  }
  void OnBnClickedShowLauncher() { SendToLauncher(WM_RUN_LAUNCHER, 0, 0, "2030"); }
  void OnClose() {
    Log("window closed");
    DestroyWindow();
    PostQuitMessage(0);
  }

 private:
  void SendToLauncher(UINT message, WPARAM wParam, LPARAM lParam, const std::string& what) {
    if (!m_hasLauncher) {
      Log("not sent: " + what + " (no launcher window)");
      return;
    }
    const std::string target = std::to_string(m_launcher);
    if (!IsWindow(m_launcher)) {
      Log("not sent: " + what + " (window " + target + " does not exist)");
      return;
    }
    const LRESULT result = ::SendMessage(m_launcher, message, wParam, lParam);
    Log("sent " + what + " to " + target + ", result " + std::to_string(result));
  }

  std::vector<GameOption> m_options;
  bool m_hasLauncher = false;
  uint32_t m_launcher = 0;
  CButton m_btnPopup, m_btnLauncher;
};

const MessageMap& COrcaWnd::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<COrcaWnd>(
      {
          OnPaintMsg(&COrcaWnd::OnPaint),
          OnMessageNumber(WM_ORCA_SHOWN, &COrcaWnd::OnShown),
          OnCommandId(orca::kPopupButtonId, &COrcaWnd::OnBnClickedPopup),
          OnCommandId(orca::kLauncherButtonId, &COrcaWnd::OnBnClickedShowLauncher),
          OnCloseMsg(&COrcaWnd::OnClose),
      },
      &CWnd::GetThisMessageMap);
  return map;
}

class COrcaApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    const std::vector<std::string> args = sys::Current().GetCommandLineArgs();
    Log(ArgsLogLine(args));
    m_pMainWnd = &m_wnd;
    return m_wnd.Create(args);
  }
  int ExitInstance() override {
    // The loop ends on a WM_QUIT. A close destroys the window before posting its own, so a
    // window still there means the WM_QUIT came from elsewhere.
    if (m_wnd.m_hWnd) Log("WM_QUIT received, exit code " + std::to_string(m_nExitCode));
    m_wnd.DestroyWindow();
    Log("exit");
    return CWinApp::ExitInstance();
  }

 private:
  COrcaWnd m_wnd;
};

COrcaApp theApp;

}  // namespace

int main(int argc, char** argv) {
  return AfxWinMain(argc, argv);
}

#include "Launcher.h"

#include <curl/curl.h>

#include <new>
#include <string>
#include <utility>

#include "AppLocation.h"
#include "LauncherDlg.h"
#include "Messages.h"
#include "RunningLauncher.h"
#include "SelfUpdate.h"
#include "Telemetry.h"
#include "UpgradeDlg.h"
#include "platform/Backend.h"
#include "platform/System.h"
#include "update/FileUtil.h"
#include "update/Log.h"
#include "update/SignedTree.h"

CLauncherDlg* g_pLauncherDlg = nullptr;
CUpgradeDlg* g_pUpgradeDlg = nullptr;

namespace {

// Brings another process's window, or one of ours, forward without leaving it topmost.
void BringToTop(HWND hwnd) {
  if (IsIconic(hwnd)) {
    ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
  }
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetFocus(hwnd);
}

// The main-window pointer belongs to the UI thread, so a worker hides that window from there.
// A game without a known window is handed to the timer's watch in the same call; a process the
// watch does not take is given back.
void HideForGame(CLauncherApp& app, sys::Process& process) {
  ui::RunOnUiThread([&] {
    if (app.m_pMainWnd) app.m_pMainWnd->ShowWindow(SW_HIDE);
    if (!app.m_hGameWnd && process.id) std::swap(app.m_gameProcess, process);
  });
  sys::Current().CloseProcess(process);
}
}  // namespace

const MessageMap& CLauncherApp::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CLauncherApp>({
      OnThreadMessageNumber(WM_LAUNCHER_STARTGAME, &CLauncherApp::OnStartGame),
  });
  return map;
}

CLauncherApp::CLauncherApp() : CWinApp(nullptr) {}

CLauncherApp* GetLauncherApp() {
  return dynamic_cast<CLauncherApp*>(AfxGetApp());
}

BOOL CLauncherApp::InitInstance() {
  // The main dialog is a standard dialog under a class name that other programs look for.
  WNDCLASS wc;
  GetClassInfo(nullptr, "#32770", &wc);
  wc.lpszClassName = "DODuzoDizuzide";
  AfxRegisterClass(&wc);

  INITCOMMONCONTROLSEX initCtrls{sizeof(INITCOMMONCONTROLSEX), 0xFF};
  InitCommonControlsEx(&initCtrls);
  CWinApp::InitInstance();
  SetRegistryKey("应用程序向导生成的本地应用程序");
  Gdiplus::GdiplusStartupInput gdiplusStartupInput;
  Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplusStartupInput, nullptr);
  curl_global_init(CURL_GLOBAL_WIN32);

  m_config.ParseCommandLine();
  m_config.strUpdatePublicKey = UpdatePublicKey();
  m_config.strUpdateTree = UpdateTree();
  m_config.nLowestSequence = LowestUpdateSequence();
  const std::string module = sys::Current().GetModuleFileName();
  LogPrint("%s", std::string(100, '-').c_str());
  LogPrint("Launcher start ...%s", module.c_str());

  if (CheckRunningLauncher(m_config)) return FALSE;
  if (!m_config.bDev) {
    if (CheckNeedMoveAppLocation(m_config)) return FALSE;
    if (TryUpgradeApp(m_config, m_downloader)) return FALSE;
  }
  // On X11 the model id names the windows' group (WM_CLASS), as the taskbar id does elsewhere.
  if (!m_config.strModelId.empty()) {
    SetCurrentProcessExplicitAppUserModelID(m_config.strModelId.c_str());
  }
  PostLoginState(m_config, kLoginStateStart);
  ShowMainDialog();
  m_nTimerId = SetTimer(0, 0, 1000, AppTimerProc);
  m_bInitialized = TRUE;
  return TRUE;
}

BOOL CLauncherApp::PreTranslateMessage(MSG* pMsg) {
  return CWinApp::PreTranslateMessage(pMsg);
}

int CLauncherApp::ExitInstance() {
  if (m_bInitialized) {
    if (m_nTimerId) {
      KillTimer(0, m_nTimerId);
      m_nTimerId = 0;
    }
    m_pMainWnd = nullptr;
    // The update dialog goes first: deleting it ends its worker, which may be starting the game
    // and reading the main dialog's handle.
    delete g_pUpgradeDlg;
    g_pUpgradeDlg = nullptr;
    delete g_pLauncherDlg;
    g_pLauncherDlg = nullptr;
    curl_global_cleanup();
    if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
    // Closing the launcher asks a game that still runs to quit.
    if (HWND hGameWnd = m_hGameWnd) PostMessage(hGameWnd, WM_QUIT, 0, 0);
    sys::Current().CloseProcess(m_gameProcess);
    LogPrint("Exit ... \n\n\n");
  }
  m_downloader.Reset();
  return CWinApp::ExitInstance();
}

void CLauncherApp::ReportStartFailure(const char* reason) {
  // The command line names the log; LogPrint also writes the line to the debugger output.
  m_config.ParseCommandLine();
  LogPrint("%s", reason);
}

void CLauncherApp::ShowMainDialog() {
  if (!g_pLauncherDlg) {
    g_pLauncherDlg = new CLauncherDlg(m_config);
    g_pLauncherDlg->Create(102, nullptr);
  }
  m_pMainWnd = g_pLauncherDlg;
  m_pMainWnd->UpdateWindow();
  m_pMainWnd->ShowWindow(SW_SHOW);
}

// A request while an update or a game start is under way would restart it and hide whatever
// window that road shows (the update dialog, as the remembered main window).
void CLauncherApp::OnStartGame(WPARAM, LPARAM) {
  if (g_pUpgradeDlg && g_pUpgradeDlg->IsUnderWay()) {
    LogPrint("start game ignored: an update or a game start is under way");
    return;
  }
  CWnd* pOldMainWnd = m_pMainWnd;
  PostLoginState(m_config, kLoginStateDownloadGame);
  LogPrint("click start game %s", m_config.strGroupId.c_str());
  // The next update fetches the server's list afresh.
  const std::string cachedVersions =
      m_config.GetWorkPath() + "Cached" + sys::kPathSeparator + "versions.txt";
  if (IsPathExist(cachedVersions)) sys::Current().DeleteFile(cachedVersions);
  if (m_config.bDev) {
    StartGame(m_config);
    return;
  }
  if (g_pLauncherDlg) g_pLauncherDlg->ShowWindow(SW_HIDE);
  if (!g_pUpgradeDlg) {
    g_pUpgradeDlg = new (std::nothrow) CUpgradeDlg(m_config);
    if (g_pUpgradeDlg) g_pUpgradeDlg->Create(104, nullptr);
  }
  if (g_pUpgradeDlg) {
    g_pUpgradeDlg->ShowWindow(SW_SHOW);
    g_pUpgradeDlg->StartUpdate();
    m_pMainWnd = g_pUpgradeDlg;
  }
  if (pOldMainWnd) pOldMainWnd->ShowWindow(SW_HIDE);
}

void AppTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  CLauncherApp* app = GetLauncherApp();
  if (!app) return;
  if (HWND hGameWnd = app->m_hGameWnd; hGameWnd && !IsWindow(hGameWnd)) {
    LogPrint("game closed ...");
    app->m_hGameWnd = 0;
    PostQuitMessage(0);
  }
  if (app->m_gameProcess.id && sys::Current().HasProcessEnded(app->m_gameProcess)) {
    sys::Current().CloseProcess(app->m_gameProcess);
    ReturnToMainDialog("game ended before its window was found");
  }
  if (!app->m_bStartupSent) {
    PostStartup(app->m_config);
    app->m_bStartupSent = true;
  }
}

void ActivateLauncher() {
  CLauncherApp* app = GetLauncherApp();
  if (!app) return;
  if (HWND hGameWnd = app->m_hGameWnd) {
    BringToTop(hGameWnd);
    LogPrint("run launcher, bring game to top");
    return;
  }
  app->ShowMainDialog();
  if (app->m_pMainWnd) BringToTop(app->m_pMainWnd->m_hWnd);
  LogPrint("run launcher, open main dialog");
}

void ReturnToMainDialog(const char* why) {
  LogPrint("%s, open main dialog", why);
  ui::RunOnUiThread([] {
    if (CLauncherApp* app = GetLauncherApp()) app->ShowMainDialog();
  });
}

void StartGame(const AppConfig& config) {
  CLauncherApp* app = GetLauncherApp();
  if (!app) return;
  if (app->m_hGameWnd) {
    LogPrint("start game but game wnd exist!");
    MessageBoxA(0, "游戏客户端已经启动", "启动失败", MB_OK);
    return;
  }
  if (config.bNewbie) PostInstall(config);
  PostLoginState(config, kLoginStateStartGame);
  LogPrint("start orca.exe ... ");
  const HWND hLauncherWnd = g_pLauncherDlg ? g_pLauncherDlg->GetSafeHwnd() : 0;
  sys::Process process;
  if (!sys::Current().StartProcess(config.GetGameExeName(), config.GetGameCommandLine(hLauncherWnd),
                                   config.GetWorkPath(), &process) ||
      !process.handle) {
    MessageBoxA(0, "游戏进程启动失败", "错误", MB_OK);
    ReturnToMainDialog("game did not start");
    return;
  }
  if (process.id) {
    // The game is looked for once, when it waits for input; one slower than that is not found.
    WaitForInputIdle(process, 3000);
    GameWindowSearch search{process.id, 0};
    EnumWindows(EnumGameWindowProc, reinterpret_cast<LPARAM>(&search));
    app->m_hGameWnd = search.hwnd;
  }
  HideForGame(*app, process);
}

BOOL EnumGameWindowProc(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<GameWindowSearch*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(hwnd, &processId);
  if (processId != search->processId || GetParent(hwnd)) return TRUE;
  search->hwnd = hwnd;
  return FALSE;
}

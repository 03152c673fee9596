// The application object: start-up (relocation, self-update, the main dialog, the one-second
// timer), the start of the game, and shut-down. Its one instance is the program's global.
#pragma once

#include <atomic>

#include "platform/Afx.h"
#include "update/AppConfig.h"
#include "update/Downloader.h"

class CLauncherDlg;
class CUpgradeDlg;

class CLauncherApp : public CWinApp {
  DECLARE_MESSAGE_MAP()

 public:
  CLauncherApp();

  BOOL InitInstance() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  int ExitInstance() override;
  // Logs why the launcher ends before it starts, in the work folder's log like every run.
  void ReportStartFailure(const char* reason) override;

  // Creates the main dialog once and makes it the shown main window.
  void ShowMainDialog();

  ULONG_PTR m_gdiplusToken = 0;
  AppConfig m_config;
  // Written by the thread that starts the game (a download worker), read and cleared on the
  // UI thread.
  std::atomic<HWND> m_hGameWnd{0};
  UINT_PTR m_nTimerId = 0;
  BOOL m_bInitialized = FALSE;
  Downloader m_downloader;      // the self-update's; the game update has its own
  bool m_bStartupSent = false;  // the first timer tick reports the start-up, once
  // A started game whose window was not found, watched by the timer until it ends (UI thread).
  sys::Process m_gameProcess;

 protected:
  void OnStartGame(WPARAM wParam, LPARAM lParam);
};

// The application object, or null when the running application is another kind.
CLauncherApp* GetLauncherApp();

// The one main dialog and the one update dialog, owned by the application object.
extern CLauncherDlg* g_pLauncherDlg;
extern CUpgradeDlg* g_pUpgradeDlg;

// Brings the running game forward, or else the main dialog (message 2030).
void ActivateLauncher();
// Starts "orca.exe" in the work folder with the parameters of `config`, finds its window and
// hides the launcher; a game whose window is not found is watched by its process instead. Runs
// on the UI thread in developer mode and on the update's worker thread otherwise, with the copy
// of the parameters its job took.
void StartGame(const AppConfig& config);
// Back to the main dialog after a start that reached no game (any thread): logs `why`.
void ReturnToMainDialog(const char* why);
// The one-second timer: ends the launcher when the game's window has gone.
void AppTimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD time);

// What EnumGameWindowProc looks for and finds.
struct GameWindowSearch {
  DWORD processId = 0;
  HWND hwnd = 0;
};
// The game's window is the first top-level window of its process without parent or owner.
BOOL EnumGameWindowProc(HWND hwnd, LPARAM lParam);

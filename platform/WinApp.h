// The application object, its message loop, thread messages, thread timers and worker threads.
#pragma once

#include "Wnd.h"
#include "WorkerJoin.h"

class CWinThread : public CCmdTarget {
 public:
  CWnd* m_pMainWnd = nullptr;
  DWORD m_nThreadID = 0;
  // Keys and other input pass through here before dispatch; TRUE means consumed. The default
  // runs the thread message map for window-less messages, then lets the target window and its
  // parents translate the message.
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Lets the message's window and then its parents translate it; TRUE when one did.
  static BOOL WalkPreTranslateTree(MSG* msg);
};

class CWinApp : public CWinThread {
 public:
  explicit CWinApp(const char* appName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int Run();  // the message loop, until WM_QUIT
  virtual int ExitInstance() { return m_nExitCode; }
  // The program ends without InitInstance, for `reason` (no desktop to show windows on). The
  // default says it on the debugger output; an application with a log of its own logs it.
  virtual void ReportStartFailure(const char* reason);

  int m_nExitCode = 0;  // from PostQuitMessage

 protected:
  // Names where the program's settings would be kept. This program keeps none, on any desktop.
  void SetRegistryKey(const char*) {}
};

CWinApp* AfxGetApp();
// The id under which the desktop groups the process's windows; windows made afterwards carry it.
BOOL SetCurrentProcessExplicitAppUserModelID(const char* id);
// Runs the application object: InitInstance, the loop when it returned TRUE, ExitInstance.
int AfxRunApplication();
// Ends the program that cannot start: the application object reports `reason`; returns the
// exit status, 1.
int AfxFailApplication(const char* reason);
// The program's entry into the framework, provided by the backend the program links
// (it sets up the display and the system services, then runs the application object).
int AfxWinMain(int argc, char** argv);

// Thread messages go to the application's main thread; callable from any thread.
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
DWORD GetCurrentThreadId();
void PostQuitMessage(int exitCode);
// Thread timers (hwnd 0) call `proc` from the loop; window timers send WM_TIMER.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
// Pre-translation (the application's, or the window tree's without one) and dispatch of one
// message, as the loop does it.
BOOL PreTranslate(MSG& msg);
void ProcessMessage(MSG& msg);
LRESULT DispatchMessage(const MSG* msg);

// Worker threads. The thread object deletes itself when the thread ends.
using AFX_THREADPROC = UINT (*)(void*);
CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param);

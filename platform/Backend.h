// What a window-system backend provides to the framework (not part of the launcher's API).
// The framework keeps every window's state itself (WindowTable.h); a backend mirrors top-level
// windows on the display, runs the main loop and timers, and reaches other processes' windows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "WinUser.h"

namespace sys {
struct Process;
}

namespace ui {

struct WindowRecord;

// What changed on a top-level window, for Backend::Sync.
enum SyncFlags : unsigned {
  kSyncGeometry = 1,
  kSyncVisibility = 2,
  kSyncTitle = 4,
  kSyncIcon = 8,
  kSyncRegion = 16,
  kSyncOwner = 32,
  kSyncTopmost = 64,
  kSyncIconic = 128,
  kSyncRaise = 256,
  kSyncFocus = 512,
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Top-level windows. CreateTopLevel returns the handle of the new window (0 on failure).
  virtual HWND CreateTopLevel(WindowRecord& record) = 0;
  virtual void DestroyTopLevel(WindowRecord& record) = 0;
  virtual void Sync(WindowRecord& record, unsigned what) = 0;
  // A child's place or visibility changed (hosted native widgets follow it).
  virtual void SyncChild(WindowRecord&) {}
  virtual void DestroyChild(WindowRecord&) {}
  // The top-level window is to be painted again and `area` of it (client coordinates) shown
  // anew; what it shows elsewhere has not changed.
  virtual void QueueRedraw(WindowRecord& topLevel, const RECT& area) = 0;
  virtual void UpdateLayered(WindowRecord& record) = 0;
  // Moves the window with the pointer while the button that pressed it stays down.
  virtual void BeginMoveDrag(WindowRecord& record) = 0;
  // The primary monitor's rectangle on the desktop, origin included: windows open on it.
  virtual RECT PrimaryMonitor() = 0;
  // The name the desktop groups this process's windows under (taskbar, window switcher).
  virtual void SetApplicationId(const std::string&) {}

  // Main loop and timers. WakeUp may be called from any thread: the UI thread then runs
  // DispatchPending() soon.
  virtual void WakeUp() = 0;
  virtual void RunLoop() = 0;
  virtual void QuitLoop() = 0;
  virtual UINT_PTR StartTimer(UINT milliseconds, std::function<void()> tick) = 0;
  virtual void StopTimer(UINT_PTR id) = 0;

  // Windows of other processes (or all top-level windows where the backend sees them).
  virtual bool IsForeignWindow(HWND) { return false; }
  virtual bool PostForeign(HWND, UINT, WPARAM, LPARAM) { return false; }
  virtual bool SendForeign(HWND, UINT, WPARAM, LPARAM, LRESULT*) { return false; }
  virtual bool SendCopyData(HWND, HWND, const COPYDATASTRUCT&, LRESULT*) { return false; }
  // All top-level windows from the top of the stacking order; false when the backend cannot
  // see beyond this process.
  virtual bool ListTopLevel(std::vector<HWND>&) { return false; }
  virtual bool ForeignProcessId(HWND, DWORD*) { return false; }
  virtual HWND ForeignOwner(HWND) { return 0; }
  virtual bool ForeignIsIconic(HWND) { return false; }
  // Restores, raises and activates another process's window.
  virtual bool ActivateForeign(HWND) { return false; }
  virtual std::string ForeignClass(HWND) { return ""; }
  // Blocks until a process this one started waits for input, or until `milliseconds` have
  // passed; 0 when it does, 258 (the wait time-out code) or another failure code otherwise.
  // Where the system keeps no such state (X11) a process is ready once it has a main window.
  virtual DWORD WaitForInputIdle(const sys::Process& process, DWORD milliseconds);
};

void InstallBackend(Backend* backend);  // by the thread that becomes the UI thread
Backend& GetBackend();
bool HasBackend();
bool IsUiThread();

// Stops the timers of a window that is going.
void KillTimersOf(HWND hwnd);
// Queues a message for the UI thread (any thread).
void PostToQueue(const MSG& msg);
// Runs queued messages and cross-thread calls on the UI thread; returns false once WM_QUIT
// has been taken from the queue.
bool DispatchPending();
// Runs `call` on the UI thread and waits for it (directly when already there, or where no
// backend is installed). False when it was not carried out: the UI thread's loop has ended, or
// the UI thread is waiting for worker threads (WorkerJoin, WinApp.h); the call is then
// withdrawn, or refused at once, instead of waiting for a thread that will not run it.
bool RunOnUiThread(const std::function<void()>& call);

// Input from the display, in the top-level window's client coordinates: routed to the child
// under the pointer (or the capture), with hover and leave tracking, through
// CWinApp::PreTranslateMessage and the window's message map.
void DeliverMouse(HWND topLevel, UINT message, int x, int y);
void DeliverPointerLeft(HWND topLevel);
// Keys go to `target` (0: the window with the focus). Returns false when nothing took the key
// and the target hosts a native widget, which should then have it.
bool DeliverKey(HWND topLevel, UINT message, UINT virtualKey, HWND target = 0);
// The display moved, resized, minimised or restored a top-level window (its outer rectangle).
void NoteGeometry(HWND topLevel, int x, int y, int width, int height);
// A window manager framed a top-level window (`frame`: what the frame adds on each side).
void NoteFrame(HWND topLevel, const RECT& frame);
void NoteIconic(HWND topLevel, bool iconic);
// Paints the windows of `topLevel` that need it into its backing surface.
void PaintTopLevel(HWND topLevel);

}  // namespace ui

// Windows: CCmdTarget (anything with a message map) and CWnd (a window handle and the
// operations on it). A window's state lives in the framework's window table, keyed by handle;
// a CWnd is the C++ object attached to it, so subclassing a control just re-attaches it.
#pragma once

#include <string>

#include "Gdi.h"
#include "MessageMap.h"

namespace sys {
struct Process;
}

class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  static const MessageMap& GetThisMessageMap();
  virtual const MessageMap& GetMessageMap() const { return GetThisMessageMap(); }
};

class CWnd : public CCmdTarget {
  DECLARE_MESSAGE_MAP()

 public:
  CWnd() = default;
  ~CWnd() override;  // destroys the window if it still exists
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = 0;
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // The attached object of a window of this process (null for foreign or unknown handles).
  static CWnd* FromHandle(HWND hwnd);

  // Creation. A window without WS_CHILD is a top-level window owned by `parent`.
  virtual BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                        const RECT& rect, CWnd* parent, UINT id);
  BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
              CWnd* parent, UINT id);
  virtual BOOL DestroyWindow();
  // Attaches this object to an existing window of this process (control subclassing).
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();

  // Messages.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // The window procedure: message map, then default handling.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Default handling of the message being handled (what the class's own procedure does).
  LRESULT Default();
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual void PreSubclassWindow() {}
  virtual void PostNcDestroy() {}

  // Showing and placing.
  BOOL ShowWindow(int cmd);
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  BOOL IsWindowEnabled() const;
  BOOL EnableWindow(BOOL enable);
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  void MoveWindow(const RECT& rect, BOOL repaint = TRUE);
  BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
  void GetWindowRect(RECT* rect) const;  // screen coordinates
  void GetClientRect(RECT* rect) const;  // (0, 0, width, height)
  void ScreenToClient(RECT* rect) const;
  BOOL CloseWindow();  // minimises, as the window system's CloseWindow does
  BOOL BringWindowToTop();
  BOOL SetForegroundWindow();
  CWnd* SetFocus();
  void CenterWindow();

  // Attributes.
  void SetWindowText(const char* text);
  std::string GetWindowText() const;
  HICON SetIcon(HICON icon, BOOL big);
  int SetWindowRgn(HRGN region, BOOL redraw);  // the window keeps a copy of the region
  int GetWindowRgn(HRGN region) const;         // copies it; ERROR when the window has none
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
  LONG GetWindowLong(int index) const;
  LONG SetWindowLong(int index, LONG value);
  UINT GetDlgCtrlID() const;
  CWnd* GetDlgItem(UINT id) const;
  CWnd* GetParent() const;  // the parent of a child, the owner of a top-level window
  CWnd* GetOwner() const;

  // Painting.
  void Invalidate(BOOL erase = TRUE);
  void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
  void UpdateWindow();
  CDC* GetDC();
  int ReleaseDC(CDC* dc);

  // Control notification reflected from the parent (owner-drawn buttons).
  virtual BOOL ReflectDrawItem(LPDRAWITEMSTRUCT) { return FALSE; }

 protected:
  // Handlers whose default is the window's default handling.
  void OnPaint() { Default(); }
  BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
  void OnShowWindow(BOOL, UINT) { Default(); }
  void OnWindowPosChanged(WINDOWPOS*) { Default(); }
  void OnSize(UINT, int, int) { Default(); }
  void OnMouseMove(UINT, POINT) { Default(); }
  void OnLButtonDown(UINT, POINT) { Default(); }
  void OnLButtonUp(UINT, POINT) { Default(); }
  void OnClose() { Default(); }
  void OnDestroy() { Default(); }
  BOOL OnCopyData(CWnd*, COPYDATASTRUCT*) { return static_cast<BOOL>(Default()); }

 private:
  friend LRESULT DispatchToWindow(HWND, UINT, WPARAM, LPARAM);
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  CurrentMessage m_current{};
};

// Paint-time device context: BeginPaint / EndPaint.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;

 private:
  CWnd* m_wnd;
  Surface m_scratch;  // when painting outside a paint cycle
};

// Window functions that take handles: they reach windows of this process and, where the
// backend can, windows of other processes (post, send, copy-data, find, enumerate, owner).
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL SetForegroundWindow(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND GetParent(HWND hwnd);  // parent of a child, owner of a top-level window, 0 otherwise
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);
HWND FindWindow(const char* className, const char* windowName);
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);
// Top-level windows from the top of the stacking order down.
BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam);
// Blocks until `process` has a top-level window without parent or owner, until it has ended,
// or until `milliseconds` have passed by the monotonic clock. Returns 0 when it has a window,
// 0xFFFFFFFF (the wait failure code) when it ended without one, 258 (the wait time-out code)
// otherwise.
DWORD WaitForProcessWindow(const sys::Process& process, DWORD milliseconds);
// Blocks until the started `process` waits for the user's input (it has made its first windows
// and reached its message loop), at most `milliseconds`; the backend's, see Backend.h.
DWORD WaitForInputIdle(const sys::Process& process, DWORD milliseconds);
BOOL TrackMouseEvent(TRACKMOUSEEVENT* track);
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
// SM_CXSCREEN and SM_CYSCREEN are the primary monitor's size.
int GetSystemMetrics(int index);
// The framework knows the primary monitor only: MonitorFromPoint gives it for a point on it, and
// for any other point with MONITOR_DEFAULTTOPRIMARY (0 otherwise). Windows puts that monitor's
// corner at (0, 0); an X11 desktop may put it anywhere, so rcMonitor has its origin.
HMONITOR MonitorFromPoint(POINT pt, DWORD flags);
BOOL GetMonitorInfo(HMONITOR monitor, MONITORINFO* info);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
#ifndef _WIN32
// On Windows these are the system's own: the same per-thread value.
DWORD GetLastError();
void SetLastError(DWORD error);
#endif
// Dialog base units: the pixel size of 4 horizontal and 8 vertical dialog units.
RECT MapDialogRect(const RECT& dialogUnits);

// The window functions that take handles: windows of this process through their objects,
// other processes' windows through the backend.
#include <algorithm>
#include <chrono>
#include <thread>

#include "Backend.h"
#include "System.h"
#include "WinApp.h"
#include "WindowTable.h"
#include "Wnd.h"

using ui::FindRecord;
using ui::WindowRecord;

LRESULT DispatchToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  return wnd ? wnd->WindowProc(message, wParam, lParam) : 0;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (FindRecord(hwnd)) {
    if (ui::IsUiThread()) return DispatchToWindow(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    ui::RunOnUiThread([&] { result = DispatchToWindow(hwnd, message, wParam, lParam); });
    return result;
  }
  if (!ui::HasBackend()) return 0;
  LRESULT result = 0;
  if (message == WM_COPYDATA) {
    auto* data = reinterpret_cast<COPYDATASTRUCT*>(lParam);
    if (!data || !ui::GetBackend().SendCopyData(hwnd, static_cast<HWND>(wParam), *data, &result))
      return 0;
  } else if (!ui::GetBackend().SendForeign(hwnd, message, wParam, lParam, &result)) {
    return 0;
  }
  return result;
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (FindRecord(hwnd)) {
    ui::PostToQueue(MSG{hwnd, message, wParam, lParam, 0, {}});
    return TRUE;
  }
  return ui::HasBackend() && ui::GetBackend().PostForeign(hwnd, message, wParam, lParam);
}

BOOL IsWindow(HWND hwnd) {
  if (!hwnd) return FALSE;
  if (FindRecord(hwnd)) return TRUE;
  return ui::HasBackend() && ui::GetBackend().IsForeignWindow(hwnd);
}

// Another process's window can be asked about, restored and brought forward, nothing more.
namespace {
BOOL ActivateForeign(HWND hwnd) {
  return ui::HasBackend() && ui::GetBackend().ActivateForeign(hwnd);
}
}  // namespace

BOOL IsIconic(HWND hwnd) {
  if (WindowRecord* r = FindRecord(hwnd)) return r->iconic;
  return ui::HasBackend() && ui::GetBackend().ForeignIsIconic(hwnd);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  if (CWnd* wnd = CWnd::FromHandle(hwnd)) return wnd->ShowWindow(cmd);
  return (cmd == SW_RESTORE || cmd == SW_SHOW || cmd == SW_SHOWNORMAL) && ActivateForeign(hwnd);
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (CWnd* wnd = CWnd::FromHandle(hwnd))
    return wnd->SetWindowPos(insertAfter, x, y, cx, cy, flags);
  if (flags & SWP_NOZORDER || insertAfter == HWND_NOTOPMOST) return IsWindow(hwnd);
  return ActivateForeign(hwnd);
}

BOOL SetForegroundWindow(HWND hwnd) {
  WindowRecord* r = ui::TopLevelOf(hwnd);
  if (!r) return ActivateForeign(hwnd);
  ui::GetBackend().Sync(*r, ui::kSyncRaise | ui::kSyncFocus);
  return TRUE;
}

HWND SetFocus(HWND hwnd) {
  WindowRecord* top = ui::TopLevelOf(hwnd);
  if (!top) {
    ActivateForeign(hwnd);
    return 0;
  }
  HWND old = top->focus ? top->focus : top->hwnd;
  top->focus = hwnd;
  ui::GetBackend().Sync(*top, ui::kSyncFocus);
  return old;
}

HWND GetFocus() {
  for (HWND top : ui::LocalTopLevels()) {
    WindowRecord* r = FindRecord(top);
    if (r && r->focus) return r->focus;
  }
  return 0;
}

HWND GetParent(HWND hwnd) {
  if (WindowRecord* r = FindRecord(hwnd)) return r->IsChild() ? r->parent : r->owner;
  return ui::HasBackend() ? ui::GetBackend().ForeignOwner(hwnd) : 0;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  DWORD pid = 0;
  if (FindRecord(hwnd)) {
    pid = sys::Current().GetCurrentProcessId();
  } else if (!ui::HasBackend() || !ui::GetBackend().ForeignProcessId(hwnd, &pid)) {
    pid = 0;
  }
  if (processId) *processId = pid;
  return pid ? 1 : 0;
}

namespace {
std::vector<HWND> TopLevelsFromTop() {
  std::vector<HWND> list;
  if (ui::HasBackend() && ui::GetBackend().ListTopLevel(list)) return list;
  list = ui::LocalTopLevels();
  std::reverse(list.begin(), list.end());
  return list;
}

std::string ClassOf(HWND hwnd) {
  if (WindowRecord* r = FindRecord(hwnd)) return r->className;
  return ui::HasBackend() ? ui::GetBackend().ForeignClass(hwnd) : "";
}

bool SameText(std::string a, std::string b) {
  auto lower = [](std::string& s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  lower(a);
  lower(b);
  return a == b;
}
}  // namespace

HWND FindWindow(const char* className, const char* windowName) {
  for (HWND hwnd : TopLevelsFromTop()) {
    if (className && !SameText(ClassOf(hwnd), className)) continue;
    if (windowName) {
      WindowRecord* r = FindRecord(hwnd);
      if (!r || r->text != windowName) continue;
    }
    return hwnd;
  }
  return 0;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  for (HWND hwnd : TopLevelsFromTop()) {
    if (!proc(hwnd, lParam)) break;
  }
  return TRUE;
}

namespace {
// A window of the process that stands on its own: neither a child nor owned (an owned splash
// is not the program's main window).
bool HasMainWindow(DWORD processId) {
  for (HWND hwnd : TopLevelsFromTop()) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == processId && !GetParent(hwnd)) return true;
  }
  return false;
}
}  // namespace

DWORD WaitForProcessWindow(const sys::Process& process, DWORD milliseconds) {
  // By the monotonic clock: looking through the windows takes time of its own (round trips to
  // the display for each of them), and the system's clock may be a test's, standing still.
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds * 1ms;
  while (!HasMainWindow(process.id)) {
    // A process that has ended (crashed at once) will show no window.
    if (sys::Current().HasProcessEnded(process)) return 0xFFFFFFFF;
    const auto left = deadline - steady_clock::now();
    if (left <= 0ms) return 258;
    std::this_thread::sleep_for(std::min<steady_clock::duration>(left, 50ms));
  }
  return 0;
}

DWORD ui::Backend::WaitForInputIdle(const sys::Process& process, DWORD milliseconds) {
  return WaitForProcessWindow(process, milliseconds);
}

DWORD WaitForInputIdle(const sys::Process& process, DWORD milliseconds) {
  if (!ui::HasBackend()) return WaitForProcessWindow(process, milliseconds);
  return ui::GetBackend().WaitForInputIdle(process, milliseconds);
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: {
      const RECT monitor = ui::GetBackend().PrimaryMonitor();
      return monitor.right - monitor.left;
    }
    case SM_CYSCREEN: {
      const RECT monitor = ui::GetBackend().PrimaryMonitor();
      return monitor.bottom - monitor.top;
    }
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}

namespace {
constexpr HMONITOR kPrimaryMonitor = 1;
}  // namespace

HMONITOR MonitorFromPoint(POINT pt, DWORD flags) {
  const RECT m = ui::GetBackend().PrimaryMonitor();
  const bool onIt = pt.x >= m.left && pt.x < m.right && pt.y >= m.top && pt.y < m.bottom;
  return onIt || flags == MONITOR_DEFAULTTOPRIMARY ? kPrimaryMonitor : 0;
}

BOOL GetMonitorInfo(HMONITOR monitor, MONITORINFO* info) {
  if (monitor != kPrimaryMonitor || !info || info->cbSize != sizeof(MONITORINFO)) return FALSE;
  info->rcMonitor = ui::GetBackend().PrimaryMonitor();
  return TRUE;
}

int MessageBoxA(HWND, const char* text, const char* caption, UINT) {
  ui::ModalLoop modal;
  return sys::Current().MessageBox(text ? text : "", caption ? caption : "") ? IDOK : 0;
}

#ifndef _WIN32
namespace {
thread_local DWORD t_lastError = 0;
}  // namespace

DWORD GetLastError() {
  return t_lastError;
}
void SetLastError(DWORD error) {
  t_lastError = error;
}
#endif

// Fixed dialog base units: 6 x 13 pixels (those of the 8-point dialog font at 96 dots per inch).
RECT MapDialogRect(const RECT& du) {
  auto x = [](LONG v) { return static_cast<LONG>((v * 6 + (v >= 0 ? 2 : -2)) / 4); };
  auto y = [](LONG v) { return static_cast<LONG>((v * 13 + (v >= 0 ? 4 : -4)) / 8); };
  return RECT{x(du.left), y(du.top), x(du.right), y(du.bottom)};
}

BOOL UpdateLayeredWindow(HWND hwnd, HDC, POINT* dstPoint, SIZE* size, HDC src, POINT* srcPoint,
                         COLORREF, BLENDFUNCTION*, DWORD) {
  WindowRecord* r = FindRecord(hwnd);
  if (!r || r->IsChild() || !r->IsLayered()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!src || !src->GetSurface()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int w = size ? size->cx : r->Width(), h = size ? size->cy : r->Height();
  const int x = dstPoint ? dstPoint->x : r->rect.left, y = dstPoint ? dstPoint->y : r->rect.top;
  const bool moved = r->rect.left != x || r->rect.top != y || r->Width() != w || r->Height() != h;
  const POINT from = srcPoint ? *srcPoint : POINT{};
  const Surface* source = src->GetSurface();
  if (from.x == 0 && from.y == 0 && src->GetOrigin().x == 0 && src->GetOrigin().y == 0 &&
      source->width == w && source->height == h) {
    // The usual call, a bitmap of the window's size. An owner refreshes its layered window on
    // each of its paints, most of them for a hover elsewhere: the same pixels at the same place
    // need nothing from the display, and new ones reuse the buffer.
    if (!moved && source->pixels == r->layered.pixels) return TRUE;
    r->layered = *source;
  } else {
    r->layered = Surface(std::max(0, w), std::max(0, h));
    CDC target(&r->layered, POINT{}, RECT{0, 0, w, h});
    target.BitBlt(0, 0, w, h, src, from.x, from.y, SRCCOPY);
  }
  if (moved) {
    r->rect = RECT{x, y, x + w, y + h};
    ui::GetBackend().Sync(*r, ui::kSyncGeometry);
  }
  ui::GetBackend().UpdateLayered(*r);
  return TRUE;
}

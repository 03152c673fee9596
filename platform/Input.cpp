// Pointer and keyboard input: routing to the window under the pointer or the capture, hover
// and leave tracking, pre-translation.
#include <algorithm>

#include "Backend.h"
#include "WinApp.h"
#include "WindowTable.h"
#include "Wnd.h"

using ui::FindRecord;
using ui::WindowRecord;

namespace ui {
namespace {
HWND g_capture = 0;
HWND g_hover = 0;

bool Contains(const RECT& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

HWND ChildAt(HWND hwnd, int x, int y, POINT* local) {
  WindowRecord* record = FindRecord(hwnd);
  *local = POINT{x, y};
  if (!record) return 0;
  for (auto it = record->children.rbegin(); it != record->children.rend(); ++it) {
    WindowRecord* c = FindRecord(*it);
    if (!c || !c->IsVisible() || (c->style & WS_DISABLED) || !Contains(c->rect, x, y)) continue;
    // Statics without SS_NOTIFY are transparent to the mouse.
    if (c->classKey == "static" && !(c->style & SS_NOTIFY)) continue;
    return ChildAt(*it, x - c->rect.left, y - c->rect.top, local);
  }
  return hwnd;
}

void SetHover(HWND hwnd) {
  if (g_hover == hwnd) return;
  HWND old = g_hover;
  g_hover = hwnd;
  WindowRecord* r = FindRecord(old);
  if (!r) return;
  if (r->hoverTimer) GetBackend().StopTimer(r->hoverTimer), r->hoverTimer = 0;
  if (r->trackFlags & TME_LEAVE) {
    r->trackFlags = 0;
    PostToQueue(MSG{old, WM_MOUSELEAVE, 0, 0, 0, {}});
  }
}

void ArmHover(WindowRecord& record) {
  if (!(record.trackFlags & TME_HOVER) || record.hoverTimer) return;
  const HWND hwnd = record.hwnd;
  record.hoverTimer = GetBackend().StartTimer(std::max<DWORD>(record.hoverTime, 1), [hwnd] {
    WindowRecord* r = FindRecord(hwnd);
    if (!r) return;
    GetBackend().StopTimer(r->hoverTimer);
    r->hoverTimer = 0;
    if (g_hover != hwnd || !(r->trackFlags & TME_HOVER)) return;
    r->trackFlags &= ~TME_HOVER;  // hover is reported once per request
    PostToQueue(MSG{hwnd, WM_MOUSEHOVER, 0, 0, 0, {}});
  });
}
}  // namespace

void DeliverMouse(HWND topLevel, UINT message, int x, int y) {
  POINT local;
  HWND target;
  if (g_capture && FindRecord(g_capture)) {
    const POINT offset = OffsetInTopLevel(g_capture);
    target = g_capture;
    local = POINT{x - offset.x, y - offset.y};
  } else {
    target = ChildAt(topLevel, x, y, &local);
  }
  if (!target) return;
  SetHover(target);
  MSG msg{
      target, message,    message == WM_LBUTTONDOWN ? MK_LBUTTON : 0u, MAKELPARAM(local.x, local.y),
      0,      POINT{x, y}};
  ProcessMessage(msg);
  if (message == WM_MOUSEMOVE) {
    if (WindowRecord* r = FindRecord(target)) ArmHover(*r);
  }
}

void DeliverPointerLeft(HWND) {
  if (!g_capture) SetHover(0);
}

bool DeliverKey(HWND topLevel, UINT message, UINT virtualKey, HWND target) {
  WindowRecord* top = FindRecord(topLevel);
  if (!top) return false;
  if (!target) target = top->focus && FindRecord(top->focus) ? top->focus : topLevel;
  MSG msg{target, message, virtualKey, 1, 0, {}};
  if (PreTranslate(msg)) return true;
  WindowRecord* r = FindRecord(target);
  if (r && r->hostedWidget) return false;
  DispatchMessage(&msg);
  return true;
}

void NoteGeometry(HWND topLevel, int x, int y, int width, int height) {
  WindowRecord* r = FindRecord(topLevel);
  if (!r) return;
  if (r->rect.left == x && r->rect.top == y && r->Width() == width && r->Height() == height) return;
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (r->Width() == width && r->Height() == height) flags |= SWP_NOSIZE;
  if (r->rect.left == x && r->rect.top == y) flags |= SWP_NOMOVE;
  r->rect = RECT{x, y, x + width, y + height};
  if (!(flags & SWP_NOSIZE)) r->needsPaint = true;
  WINDOWPOS pos{topLevel, 0, x, y, width, height, flags};
  ::SendMessage(topLevel, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
}

void NoteFrame(HWND topLevel, const RECT& frame) {
  WindowRecord* r = FindRecord(topLevel);
  if (!r || r->IsChild()) return;
  const RECT& f = r->frame;
  if (f.left == frame.left && f.top == frame.top && f.right == frame.right &&
      f.bottom == frame.bottom) {
    return;
  }
  // The outer size stays what the program asked for: the client area makes room for the frame.
  r->frame = frame;
  r->needsPaint = true;
  GetBackend().Sync(*r, kSyncGeometry);
  WINDOWPOS pos{topLevel,
                0,
                r->rect.left,
                r->rect.top,
                r->Width(),
                r->Height(),
                SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE};
  ::SendMessage(topLevel, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
}

void NoteIconic(HWND topLevel, bool iconic) {
  WindowRecord* r = FindRecord(topLevel);
  if (!r || r->iconic == iconic) return;
  if (CWnd* wnd = CWnd::FromHandle(topLevel)) wnd->ShowWindow(iconic ? SW_MINIMIZE : SW_RESTORE);
}

void ForgetInput(HWND hwnd) {
  if (g_capture == hwnd) g_capture = 0;
  if (g_hover == hwnd) g_hover = 0;
}

}  // namespace ui

BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) return FALSE;
  WindowRecord* r = FindRecord(track->hwndTrack);
  if (!r) return FALSE;
  if (track->dwFlags & TME_CANCEL) {
    r->trackFlags &= ~track->dwFlags;
    return TRUE;
  }
  r->trackFlags |= track->dwFlags & (TME_HOVER | TME_LEAVE);
  r->hoverTime = track->dwHoverTime;
  // Leave tracking asked for by a window the pointer is not over reports the leave at once.
  if ((track->dwFlags & TME_LEAVE) && ui::g_hover != r->hwnd) {
    r->trackFlags = 0;
    ui::PostToQueue(MSG{r->hwnd, WM_MOUSELEAVE, 0, 0, 0, {}});
  }
  return TRUE;
}

HWND SetCapture(HWND hwnd) {
  HWND old = ui::g_capture;
  ui::g_capture = FindRecord(hwnd) ? hwnd : 0;
  return old;
}

BOOL ReleaseCapture() {
  ui::g_capture = 0;
  return TRUE;
}

#include "Wnd.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "Backend.h"
#include "Controls.h"
#include "System.h"
#include "WinApp.h"
#include "WindowTable.h"

// ---------------------------------------------------------------------------------------------
// The window table

namespace ui {
namespace {
// Lookups may come from worker threads (IsWindow, GetParent); records change on the UI thread.
std::recursive_mutex g_tableMutex;
std::map<HWND, std::unique_ptr<WindowRecord>> g_windows;
std::vector<HWND> g_topLevels;
// Child handles come from a range X11 never gives out (its ids stay below 2^29).
HWND g_nextChild = 0x40000001;
HWND g_capture = 0;
HWND g_hover = 0;
thread_local DWORD t_lastError = 0;

void Register(std::unique_ptr<WindowRecord> record) {
  std::lock_guard lock(g_tableMutex);
  if (!record->IsChild()) g_topLevels.push_back(record->hwnd);
  HWND hwnd = record->hwnd;
  g_windows[hwnd] = std::move(record);
}

void Unregister(HWND hwnd) {
  std::lock_guard lock(g_tableMutex);
  g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), hwnd), g_topLevels.end());
  g_windows.erase(hwnd);
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool Contains(const RECT& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// A child counts as shown only if it and all its ancestors are.
bool IsShown(const WindowRecord* record) {
  for (; record; record = record->IsChild() ? FindRecord(record->parent) : nullptr) {
    if (!record->IsVisible()) return false;
  }
  return true;
}
}  // namespace

WindowRecord* FindRecord(HWND hwnd) {
  std::lock_guard lock(g_tableMutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second.get();
}

WindowRecord* TopLevelOf(HWND hwnd) {
  WindowRecord* record = FindRecord(hwnd);
  while (record && record->IsChild()) record = FindRecord(record->parent);
  return record;
}

std::vector<HWND> LocalTopLevels() {
  std::lock_guard lock(g_tableMutex);
  return g_topLevels;
}

POINT OffsetInTopLevel(HWND hwnd) {
  POINT offset;
  for (WindowRecord* r = FindRecord(hwnd); r && r->IsChild(); r = FindRecord(r->parent)) {
    offset.x += r->rect.left;
    offset.y += r->rect.top;
  }
  return offset;
}

// ---------------------------------------------------------------------------------------------
// Painting

namespace {
void PaintTree(WindowRecord& record, Surface& surface, POINT origin, RECT clip) {
  CDC dc(&surface, origin, clip);
  record.paintDC = &dc;
  const HWND hwnd = record.hwnd;
  ::SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0);
  if (record.IsChild()) ::SendMessage(hwnd, WM_NCPAINT, 1, 0);
  ::SendMessage(hwnd, WM_PAINT, 0, 0);
  WindowRecord* still = FindRecord(hwnd);  // a handler may have destroyed the window
  if (!still) return;
  still->paintDC = nullptr;
  for (HWND child : std::vector<HWND>(still->children)) {
    WindowRecord* c = FindRecord(child);
    if (!c || !c->IsVisible()) continue;
    RECT childClip = Intersect(clip, RECT{origin.x + c->rect.left, origin.y + c->rect.top,
                                          origin.x + c->rect.right, origin.y + c->rect.bottom});
    if (childClip.right <= childClip.left || childClip.bottom <= childClip.top) continue;
    PaintTree(*c, surface, POINT{origin.x + c->rect.left, origin.y + c->rect.top}, childClip);
  }
}
}  // namespace

void PaintTopLevel(HWND topLevel) {
  WindowRecord* record = FindRecord(topLevel);
  if (!record || record->IsChild() || !record->needsPaint) return;
  record->needsPaint = false;
  const int w = std::max(0, record->Width()), h = std::max(0, record->Height());
  if (record->backing.width != w || record->backing.height != h) record->backing = Surface(w, h);
  if (w == 0 || h == 0) return;
  PaintTree(*record, record->backing, POINT{}, RECT{0, 0, w, h});
}

// ---------------------------------------------------------------------------------------------
// Mouse and keyboard input

namespace {
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
  CWinApp* app = AfxGetApp();
  if (app && app->PreTranslateMessage(&msg)) return true;
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

void NoteIconic(HWND topLevel, bool iconic) {
  WindowRecord* r = FindRecord(topLevel);
  if (!r || r->iconic == iconic) return;
  if (CWnd* wnd = CWnd::FromHandle(topLevel)) wnd->ShowWindow(iconic ? SW_MINIMIZE : SW_RESTORE);
}

}  // namespace ui

using ui::FindRecord;
using ui::WindowRecord;

// ---------------------------------------------------------------------------------------------
// Message maps

const MessageEntry* MessageMap::Find(UINT message, WPARAM wParam) const {
  for (const MessageMap* map = this; map; map = map->m_base ? &map->m_base() : nullptr) {
    for (const MessageEntry& e : map->m_entries) {
      if (e.message != message) continue;
      if (message == WM_COMMAND && (e.id != LOWORD(wParam) || e.code != HIWORD(wParam))) continue;
      return &e;
    }
  }
  return nullptr;
}

POINT msgmap::PointOf(LPARAM lp) {
  return POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
}

const MessageMap& CCmdTarget::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CCmdTarget>({});
  return map;
}

const MessageMap& CWnd::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CWnd>({}, &CCmdTarget::GetThisMessageMap);
  return map;
}

// ---------------------------------------------------------------------------------------------
// CWnd

CWnd::~CWnd() {
  if (m_hWnd && FindRecord(m_hWnd)) DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  WindowRecord* r = FindRecord(hwnd);
  return r ? r->wnd : nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id) {
  if (m_hWnd) return FALSE;
  auto record = std::make_unique<WindowRecord>();
  record->className = className && *className ? className : "window";
  record->classKey = record->className;
  std::transform(record->classKey.begin(), record->classKey.end(), record->classKey.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  record->text = windowName ? windowName : "";
  record->style = style & ~WS_VISIBLE;
  record->exStyle = exStyle;
  record->id = id;
  record->rect = rect;
  if (style & WS_CHILD) {
    if (!parent || !FindRecord(parent->m_hWnd))
      return SetLastError(ERROR_INVALID_WINDOW_HANDLE), FALSE;
    record->parent = parent->m_hWnd;
    record->hwnd = ui::g_nextChild++;
  } else {
    WindowRecord* owner = parent ? ui::TopLevelOf(parent->m_hWnd) : nullptr;
    record->owner = owner ? owner->hwnd : 0;
    record->topmost = (exStyle & WS_EX_TOPMOST) != 0;
    record->hwnd = ui::GetBackend().CreateTopLevel(*record);
    if (!record->hwnd) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  }
  record->wnd = this;
  m_hWnd = record->hwnd;
  WindowRecord* raw = record.get();
  ui::Register(std::move(record));
  if (raw->IsChild()) {
    FindRecord(raw->parent)->children.push_back(m_hWnd);
  } else {
    ui::GetBackend().Sync(*raw, ui::kSyncTitle | ui::kSyncOwner | ui::kSyncTopmost);
  }
  SendMessage(WM_CREATE, 0, 0);
  if ((style & WS_VISIBLE) && m_hWnd) ShowWindow(SW_SHOW);
  return m_hWnd != 0;
}

BOOL CWnd::Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id) {
  return CreateEx(0, className, windowName, style, rect, parent, id);
}

BOOL CWnd::DestroyWindow() {
  if (!ui::IsUiThread()) {
    BOOL result = FALSE;
    ui::RunOnUiThread([&] { result = DestroyWindow(); });
    return result;
  }
  const HWND hwnd = m_hWnd;
  WindowRecord* record = FindRecord(hwnd);
  if (!record) return FALSE;
  // Owned windows go first, as the window system destroys them with their owner.
  for (HWND top : ui::LocalTopLevels()) {
    WindowRecord* r = FindRecord(top);
    if (r && r->owner == hwnd && r->wnd) r->wnd->DestroyWindow();
  }
  SendMessage(WM_DESTROY);
  record = FindRecord(hwnd);
  if (!record) return TRUE;
  for (HWND child : std::vector<HWND>(record->children)) {
    if (CWnd* c = FromHandle(child)) c->DestroyWindow();
  }
  SendMessage(WM_NCDESTROY);
  record = FindRecord(hwnd);
  if (!record) return TRUE;
  if (ui::g_capture == hwnd) ui::g_capture = 0;
  if (ui::g_hover == hwnd) ui::g_hover = 0;
  if (record->hoverTimer) ui::GetBackend().StopTimer(record->hoverTimer);
  ui::KillTimersOf(hwnd);
  if (record->IsChild()) {
    if (WindowRecord* parent = FindRecord(record->parent)) {
      auto& siblings = parent->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
      if (record->IsVisible()) InvalidateRect(nullptr, FALSE);
    }
    ui::GetBackend().DestroyChild(*record);
  } else {
    ui::GetBackend().DestroyTopLevel(*record);
  }
  CWnd* wnd = record->wnd;
  ui::Unregister(hwnd);
  if (wnd) {
    wnd->m_hWnd = 0;
    wnd->PostNcDestroy();
  }
  return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  WindowRecord* record = FindRecord(hwnd);
  if (!record || m_hWnd) return FALSE;
  if (record->wnd && record->wnd != this) record->wnd->m_hWnd = 0;
  record->wnd = this;
  m_hWnd = hwnd;
  PreSubclassWindow();
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  CWnd* item = parent ? parent->GetDlgItem(id) : nullptr;
  return item ? SubclassWindow(item->m_hWnd) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  HWND hwnd = m_hWnd;
  if (WindowRecord* r = FindRecord(hwnd)) r->wnd = nullptr;
  m_hWnd = 0;
  return hwnd;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage saved = m_current;
  m_current = CurrentMessage{message, wParam, lParam};
  const MessageEntry* entry = GetMessageMap().Find(message, wParam);
  const LRESULT result =
      entry ? entry->handler(*this, wParam, lParam) : DefWindowProc(message, wParam, lParam);
  m_current = saved;
  return result;
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FindRecord(m_hWnd);
  if (!record) return 0;
  LRESULT result = 0;
  if (ui::ClassProc(*record, message, wParam, lParam, &result)) return result;
  switch (message) {
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    case WM_ERASEBKGND:
      // Top-level windows other than layered ones start from the dialog face colour.
      if (!record->IsChild() && !record->IsLayered()) {
        RECT rc;
        GetClientRect(&rc);
        reinterpret_cast<CDC*>(wParam)->FillSolidRect(rc, RGB(0xF0, 0xF0, 0xF0));
      }
      return TRUE;
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION && !record->IsChild()) ui::GetBackend().BeginMoveDrag(*record);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) ShowWindow(SW_MINIMIZE);
      if ((wParam & 0xFFF0) == SC_RESTORE) ShowWindow(SW_RESTORE);
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessage(WM_CLOSE);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (pos && !(pos->flags & SWP_NOSIZE))
        SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(pos->cx, pos->cy));
      return 0;
    }
    case WM_SETICON: {
      HICON old = wParam == ICON_BIG ? record->iconBig : record->iconSmall;
      (wParam == ICON_BIG ? record->iconBig : record->iconSmall) = reinterpret_cast<HICON>(lParam);
      if (!record->IsChild()) ui::GetBackend().Sync(*record, ui::kSyncIcon);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_DRAWITEM: {
      // Owner-drawn controls draw themselves: the notice is reflected to the control's object.
      auto* item = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
      CWnd* control = item ? FromHandle(item->hwndItem) : nullptr;
      return control ? control->ReflectDrawItem(item) : FALSE;
    }
    case WM_QUERYDRAGICON:
      return reinterpret_cast<LRESULT>(record->iconBig);
    default:
      return 0;
  }
}

BOOL CWnd::PreTranslateMessage(MSG*) {
  return FALSE;
}

namespace {
void SetVisible(WindowRecord& r, bool visible) {
  if (visible)
    r.style |= WS_VISIBLE;
  else
    r.style &= ~WS_VISIBLE;
  if (r.IsChild()) {
    ui::GetBackend().SyncChild(r);
  } else {
    ui::GetBackend().Sync(r, ui::kSyncVisibility);
  }
}

void SetOwnedHidden(HWND owner, bool hide) {
  for (HWND top : ui::LocalTopLevels()) {
    WindowRecord* r = FindRecord(top);
    if (!r || r->owner != owner) continue;
    if (hide && r->IsVisible()) {
      r->hiddenWithOwner = true;
      SetVisible(*r, false);
    } else if (!hide && r->hiddenWithOwner) {
      r->hiddenWithOwner = false;
      SetVisible(*r, true);
    }
  }
}
}  // namespace

BOOL CWnd::ShowWindow(int cmd) {
  if (!ui::IsUiThread()) {
    BOOL result = FALSE;
    ui::RunOnUiThread([&] { result = ShowWindow(cmd); });
    return result;
  }
  WindowRecord* record = FindRecord(m_hWnd);
  if (!record) return FALSE;
  const HWND hwnd = m_hWnd;
  const BOOL wasVisible = record->IsVisible();
  const bool hide = cmd == SW_HIDE;
  if (!hide && record->iconic && cmd != SW_MINIMIZE && cmd != SW_SHOWMINIMIZED &&
      cmd != SW_SHOWNA && cmd != SW_SHOW) {
    record->iconic = false;
    ui::GetBackend().Sync(*record, ui::kSyncIconic);
    SetOwnedHidden(hwnd, false);
  }
  if (static_cast<bool>(wasVisible) == !hide) {
    // No change of visibility.
  } else {
    SendMessage(WM_SHOWWINDOW, !hide, 0);
    if (!(record = FindRecord(hwnd))) return wasVisible;
    SetVisible(*record, !hide);
    InvalidateRect(nullptr, FALSE);
    WINDOWPOS pos{hwnd,
                  0,
                  record->rect.left,
                  record->rect.top,
                  record->Width(),
                  record->Height(),
                  static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                                    (hide ? SWP_HIDEWINDOW : SWP_SHOWWINDOW))};
    SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    if (!(record = FindRecord(hwnd))) return wasVisible;
  }
  if ((cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED) && !record->IsChild() && !record->iconic) {
    record->iconic = true;
    SetOwnedHidden(hwnd, true);  // owned windows disappear with their minimised owner
    ui::GetBackend().Sync(*record, ui::kSyncIconic);
  }
  return wasVisible;
}

BOOL CWnd::IsWindowVisible() const {
  WindowRecord* r = FindRecord(m_hWnd);
  return r && ui::IsShown(r);
}

BOOL CWnd::IsIconic() const {
  return ::IsIconic(m_hWnd);
}

BOOL CWnd::IsWindowEnabled() const {
  WindowRecord* r = FindRecord(m_hWnd);
  return r && !(r->style & WS_DISABLED);
}

BOOL CWnd::EnableWindow(BOOL enable) {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return FALSE;
  const BOOL wasDisabled = (r->style & WS_DISABLED) != 0;
  if (enable)
    r->style &= ~WS_DISABLED;
  else
    r->style |= WS_DISABLED;
  if (wasDisabled != !enable) {
    SendMessage(WM_ENABLE, enable, 0);
    InvalidateRect(nullptr, FALSE);
  }
  return wasDisabled;
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  SetWindowPos(0, x, y, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

void CWnd::MoveWindow(const RECT& rect, BOOL repaint) {
  MoveWindow(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

BOOL CWnd::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!ui::IsUiThread()) {
    BOOL result = FALSE;
    ui::RunOnUiThread([&] { result = SetWindowPos(insertAfter, x, y, cx, cy, flags); });
    return result;
  }
  WindowRecord* record = FindRecord(m_hWnd);
  if (!record) return FALSE;
  const HWND hwnd = m_hWnd;
  const RECT old = record->rect;
  if (flags & SWP_NOMOVE) x = old.left, y = old.top;
  if (flags & SWP_NOSIZE) cx = old.right - old.left, cy = old.bottom - old.top;
  cx = std::max(cx, 0);
  cy = std::max(cy, 0);
  record->rect = RECT{x, y, x + cx, y + cy};
  unsigned sync = ui::kSyncGeometry;
  if (!(flags & SWP_NOZORDER) && !record->IsChild()) {
    if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
      record->topmost = insertAfter == HWND_TOPMOST;
      sync |= ui::kSyncTopmost;
    }
    if (insertAfter != HWND_NOTOPMOST && insertAfter != HWND_BOTTOM) sync |= ui::kSyncRaise;
  }
  if (!(flags & SWP_NOZORDER) && record->IsChild()) {
    // A child moved in the z-order goes to the top of its siblings (last painted, first hit).
    auto& siblings = FindRecord(record->parent)->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    siblings.push_back(hwnd);
  }
  if (record->IsChild()) {
    ui::GetBackend().SyncChild(*record);
    if (WindowRecord* top = ui::TopLevelOf(hwnd)) {
      top->needsPaint = true;
      ui::GetBackend().QueueRedraw(*top);
    }
  } else {
    if (old.right - old.left != cx || old.bottom - old.top != cy) record->needsPaint = true;
    ui::GetBackend().Sync(*record, sync);
  }
  WINDOWPOS pos{hwnd, insertAfter, x, y, cx, cy, flags};
  SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  if (flags & SWP_SHOWWINDOW) ShowWindow(SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
  return TRUE;
}

void CWnd::GetWindowRect(RECT* rect) const {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!rect) return;
  *rect = RECT{};
  if (!r) return;
  const POINT offset = ui::OffsetInTopLevel(m_hWnd);
  const WindowRecord* top = ui::TopLevelOf(m_hWnd);
  const int x = top->rect.left + offset.x, y = top->rect.top + offset.y;
  *rect = RECT{x, y, x + r->Width(), y + r->Height()};
}

void CWnd::GetClientRect(RECT* rect) const {
  WindowRecord* r = FindRecord(m_hWnd);
  if (rect) *rect = r ? RECT{0, 0, r->Width(), r->Height()} : RECT{};
}

void CWnd::ScreenToClient(RECT* rect) const {
  RECT mine;
  GetWindowRect(&mine);
  rect->left -= mine.left, rect->right -= mine.left;
  rect->top -= mine.top, rect->bottom -= mine.top;
}

void CWnd::ClientToScreen(POINT* point) const {
  RECT mine;
  GetWindowRect(&mine);
  point->x += mine.left;
  point->y += mine.top;
}

BOOL CWnd::CloseWindow() {
  if (!FindRecord(m_hWnd)) return FALSE;
  ShowWindow(SW_MINIMIZE);
  return TRUE;
}

BOOL CWnd::BringWindowToTop() {
  return SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL CWnd::SetForegroundWindow() {
  return ::SetForegroundWindow(m_hWnd);
}

CWnd* CWnd::SetFocus() {
  return FromHandle(::SetFocus(m_hWnd));
}

void CWnd::CenterWindow() {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r || r->IsChild()) return;
  const SIZE screen = ui::GetBackend().ScreenSize();
  SetWindowPos(0, (screen.cx - r->Width()) / 2, (screen.cy - r->Height()) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::SetWindowText(const char* text) {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return;
  r->text = text ? text : "";
  if (r->IsChild())
    InvalidateRect(nullptr, FALSE);
  else
    ui::GetBackend().Sync(*r, ui::kSyncTitle);
}

std::string CWnd::GetWindowText() const {
  WindowRecord* r = FindRecord(m_hWnd);
  return r ? r->text : "";
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

int CWnd::SetWindowRgn(HRGN region, BOOL redraw) {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return 0;
  r->region = region ? std::make_unique<RegionData>(*region) : nullptr;
  if (!r->IsChild()) ui::GetBackend().Sync(*r, ui::kSyncRegion);
  if (redraw) InvalidateRect(nullptr, TRUE);
  return 1;
}

int CWnd::GetWindowRgn(HRGN region) const {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r || !r->region || !region) return ERROR;
  *region = *r->region;
  return region->Kind();
}

DWORD CWnd::GetStyle() const {
  return static_cast<DWORD>(GetWindowLong(GWL_STYLE));
}
DWORD CWnd::GetExStyle() const {
  return static_cast<DWORD>(GetWindowLong(GWL_EXSTYLE));
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return FALSE;
  const DWORD style = (r->style & ~remove) | add;
  if (style == r->style) return FALSE;
  SetWindowLong(GWL_STYLE, static_cast<LONG>(style));
  return TRUE;
}

LONG CWnd::GetWindowLong(int index) const {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return 0;
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG>(r->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(r->exStyle);
    case GWL_ID:
      return static_cast<LONG>(r->id);
    default:
      return 0;
  }
}

LONG CWnd::SetWindowLong(int index, LONG value) {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return 0;
  const LONG old = GetWindowLong(index);
  if (index == GWL_STYLE) {
    // Visibility changes only through ShowWindow.
    r->style = (static_cast<DWORD>(value) & ~WS_VISIBLE) | (r->style & WS_VISIBLE);
  } else if (index == GWL_EXSTYLE) {
    r->exStyle = static_cast<DWORD>(value);
  } else if (index == GWL_ID) {
    r->id = static_cast<UINT>(value);
  }
  return old;
}

UINT CWnd::GetDlgCtrlID() const {
  return static_cast<UINT>(GetWindowLong(GWL_ID));
}

CWnd* CWnd::GetDlgItem(UINT id) const {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!r) return nullptr;
  for (HWND child : r->children) {
    WindowRecord* c = FindRecord(child);
    if (c && c->id == id) return c->wnd;
  }
  return nullptr;
}

CWnd* CWnd::GetParent() const {
  return FromHandle(::GetParent(m_hWnd));
}

CWnd* CWnd::GetOwner() const {
  WindowRecord* r = FindRecord(m_hWnd);
  return r ? FromHandle(r->IsChild() ? r->parent : r->owner) : nullptr;
}

void CWnd::Invalidate(BOOL erase) {
  InvalidateRect(nullptr, erase);
}

// Any invalidation repaints the whole top-level window, parents before children, so pictures
// with alpha are always drawn over a fresh background rather than over their last frame.
void CWnd::InvalidateRect(const RECT*, BOOL) {
  WindowRecord* top = ui::TopLevelOf(m_hWnd);
  if (!top) return;
  top->needsPaint = true;
  ui::GetBackend().QueueRedraw(*top);
}

void CWnd::UpdateWindow() {
  WindowRecord* top = ui::TopLevelOf(m_hWnd);
  if (!top || !top->needsPaint) return;
  ui::PaintTopLevel(top->hwnd);
  ui::GetBackend().QueueRedraw(*top);
}

CDC* CWnd::GetDC() {
  WindowRecord* top = ui::TopLevelOf(m_hWnd);
  WindowRecord* r = FindRecord(m_hWnd);
  if (!top || !r) return nullptr;
  if (top->backing.width != top->Width() || top->backing.height != top->Height())
    top->backing = Surface(std::max(0, top->Width()), std::max(0, top->Height()));
  const POINT offset = ui::OffsetInTopLevel(m_hWnd);
  return new CDC(&top->backing, offset,
                 RECT{offset.x, offset.y, offset.x + r->Width(), offset.y + r->Height()});
}

int CWnd::ReleaseDC(CDC* dc) {
  delete dc;
  return dc != nullptr;
}

// ---------------------------------------------------------------------------------------------
// CPaintDC

CPaintDC::CPaintDC(CWnd* wnd) : m_wnd(wnd) {
  WindowRecord* r = wnd ? FindRecord(wnd->m_hWnd) : nullptr;
  if (r && r->paintDC) {
    CDC& paint = *r->paintDC;
    m_surface = paint.GetSurface();
    m_origin = paint.GetOrigin();
    m_clip = paint.GetClip();
  } else {
    // Painting outside a paint cycle draws into a surface nobody shows.
    m_scratch = Surface(r ? std::max(1, r->Width()) : 1, r ? std::max(1, r->Height()) : 1);
    m_surface = &m_scratch;
    m_clip = RECT{0, 0, m_scratch.width, m_scratch.height};
  }
}

CPaintDC::~CPaintDC() = default;

// ---------------------------------------------------------------------------------------------
// Handle functions

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

DWORD WaitForProcessWindow(DWORD processId, DWORD milliseconds) {
  const uint32_t start = sys::Current().GetTickCount();
  while (true) {
    for (HWND hwnd : TopLevelsFromTop()) {
      DWORD pid = 0;
      GetWindowThreadProcessId(hwnd, &pid);
      if (pid == processId) return 0;
    }
    if (sys::Current().GetTickCount() - start >= milliseconds) return 258;
    sys::Current().Sleep(50);
  }
}

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

HWND GetCapture() {
  return ui::g_capture;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
      return ui::GetBackend().ScreenSize().cx;
    case SM_CYSCREEN:
      return ui::GetBackend().ScreenSize().cy;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}

int MessageBoxA(HWND, const char* text, const char* caption, UINT) {
  sys::Current().MessageBox(text ? text : "", caption ? caption : "");
  return IDOK;
}

DWORD GetLastError() {
  return ui::t_lastError;
}
void SetLastError(DWORD error) {
  ui::t_lastError = error;
}

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
  r->layered = Surface(std::max(0, w), std::max(0, h));
  CDC target(&r->layered, POINT{}, RECT{0, 0, w, h});
  target.BitBlt(0, 0, w, h, src, srcPoint ? srcPoint->x : 0, srcPoint ? srcPoint->y : 0, SRCCOPY);
  if (r->rect.left != x || r->rect.top != y || r->Width() != w || r->Height() != h) {
    r->rect = RECT{x, y, x + w, y + h};
    ui::GetBackend().Sync(*r, ui::kSyncGeometry);
  }
  ui::GetBackend().UpdateLayered(*r);
  return TRUE;
}

#include "Wnd.h"

#include <algorithm>

#include "Backend.h"
#include "Controls.h"
#include "WindowTable.h"

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
    record->hwnd = ui::NewChildHandle();
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
  ui::ForgetInput(hwnd);
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
      if (pos && !(pos->flags & SWP_NOSIZE)) {
        const SIZE client = ui::ClientSizeOf(SIZE{pos->cx, pos->cy}, record->frame);
        SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.cx, client.cy));
      }
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
      ui::GetBackend().QueueRedraw(*top, ui::ClientArea(*top));
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

namespace {
// Where a window's client area starts on the screen: inside its top-level window's frame.
POINT ClientOrigin(HWND hwnd) {
  const WindowRecord* top = ui::TopLevelOf(hwnd);
  if (!top) return POINT{};
  const POINT offset = ui::OffsetInTopLevel(hwnd);
  return POINT{top->rect.left + top->frame.left + offset.x,
               top->rect.top + top->frame.top + offset.y};
}
}  // namespace

void CWnd::GetWindowRect(RECT* rect) const {
  WindowRecord* r = FindRecord(m_hWnd);
  if (!rect) return;
  *rect = RECT{};
  if (!r) return;
  if (!r->IsChild()) {
    *rect = r->rect;
    return;
  }
  const POINT origin = ClientOrigin(m_hWnd);
  *rect = RECT{origin.x, origin.y, origin.x + r->Width(), origin.y + r->Height()};
}

void CWnd::GetClientRect(RECT* rect) const {
  WindowRecord* r = FindRecord(m_hWnd);
  const SIZE client = r ? r->ClientSize() : SIZE{};
  if (rect) *rect = RECT{0, 0, client.cx, client.cy};
}

void CWnd::ScreenToClient(RECT* rect) const {
  const POINT origin = ClientOrigin(m_hWnd);
  rect->left -= origin.x, rect->right -= origin.x;
  rect->top -= origin.y, rect->bottom -= origin.y;
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
  const RECT m = ui::GetBackend().PrimaryMonitor();
  SetWindowPos(0, m.left + (m.right - m.left - r->Width()) / 2,
               m.top + (m.bottom - m.top - r->Height()) / 2, 0, 0,
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
// with alpha are always drawn over a fresh background rather than over their last frame. Only
// the invalidated area is shown anew: nothing else of the window can have changed, and a
// button's hover then costs the display its button's pixels, not the window's.
void CWnd::InvalidateRect(const RECT* rect, BOOL) {
  WindowRecord* top = ui::TopLevelOf(m_hWnd);
  WindowRecord* r = FindRecord(m_hWnd);
  if (!top || !r) return;
  RECT area = rect ? *rect : ui::ClientArea(*r);
  const POINT offset = ui::OffsetInTopLevel(m_hWnd);
  area = RECT{area.left + offset.x, area.top + offset.y, area.right + offset.x,
              area.bottom + offset.y};
  top->needsPaint = true;
  ui::GetBackend().QueueRedraw(*top, area);
}

void CWnd::UpdateWindow() {
  WindowRecord* top = ui::TopLevelOf(m_hWnd);
  if (!top || !top->needsPaint) return;
  ui::PaintTopLevel(top->hwnd);
  ui::GetBackend().QueueRedraw(*top, ui::ClientArea(*top));
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

#include "Controls.h"

#include <algorithm>

#include "Dialog.h"
#include "WindowTable.h"

const MessageMap& CButton::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CButton>({}, &CWnd::GetThisMessageMap);
  return map;
}
const MessageMap& CProgressCtrl::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CProgressCtrl>({}, &CWnd::GetThisMessageMap);
  return map;
}
const MessageMap& CStatic::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CStatic>({}, &CWnd::GetThisMessageMap);
  return map;
}

BOOL CButton::Create(const char* caption, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return CWnd::Create("button", caption, style, rect, parent, id);
}

BOOL CButton::ReflectDrawItem(LPDRAWITEMSTRUCT item) {
  DrawItem(item);
  return TRUE;
}

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return CWnd::Create("msctls_progress32", "", style, rect, parent, id);
}

void CProgressCtrl::SetRange(short lower, short upper) {
  SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}
void CProgressCtrl::SetRange32(int lower, int upper) {
  SendMessage(PBM_SETRANGE32, lower, upper);
}
void CProgressCtrl::GetRange(int& lower, int& upper) {
  lower = static_cast<int>(SendMessage(PBM_GETRANGE, TRUE, 0));
  upper = static_cast<int>(SendMessage(PBM_GETRANGE, FALSE, 0));
}
int CProgressCtrl::SetPos(int position) {
  return static_cast<int>(SendMessage(PBM_SETPOS, position, 0));
}
int CProgressCtrl::GetPos() {
  return static_cast<int>(SendMessage(PBM_GETPOS, 0, 0));
}

BOOL CStatic::Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return CWnd::Create("static", text, style, rect, parent, id);
}

namespace ui {
namespace {
RECT ClientOf(const WindowRecord& r) {
  return RECT{0, 0, r.Width(), r.Height()};
}

bool ButtonProc(WindowRecord& r, UINT message, LPARAM lParam, LRESULT* result) {
  const HWND hwnd = r.hwnd;
  CWnd* wnd = r.wnd;
  switch (message) {
    case WM_LBUTTONDOWN:
      r.pressed = true;
      SetCapture(hwnd);
      if (wnd) wnd->InvalidateRect(nullptr, FALSE);
      break;
    case WM_LBUTTONUP: {
      if (!r.pressed) break;
      r.pressed = false;
      ReleaseCapture();
      if (wnd) wnd->InvalidateRect(nullptr, FALSE);
      const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      // The click counts only when released over the button.
      if (x >= 0 && y >= 0 && x < r.Width() && y < r.Height() && FindRecord(r.parent)) {
        ::SendMessage(r.parent, WM_COMMAND, MAKEWPARAM(r.id, BN_CLICKED),
                      static_cast<LPARAM>(hwnd));
      }
      break;
    }
    case WM_ERASEBKGND:
      *result = TRUE;
      return true;
    case WM_PAINT: {
      CPaintDC dc(wnd);
      if ((r.style & BS_TYPEMASK) == BS_OWNERDRAW) {
        DRAWITEMSTRUCT item;
        item.CtlType = ODT_BUTTON;
        item.CtlID = r.id;
        item.itemAction = ODA_DRAWENTIRE;
        item.hwndItem = hwnd;
        item.hDC = &dc;
        item.rcItem = ClientOf(r);
        ::SendMessage(r.parent, WM_DRAWITEM, r.id, reinterpret_cast<LPARAM>(&item));
      } else {
        const RECT rc = ClientOf(r);
        dc.FillSolidRect(rc, r.pressed ? RGB(0xCC, 0xE4, 0xF7) : RGB(0xE1, 0xE1, 0xE1));
        dc.FrameRect(rc, 0xFFADADAD);
        dc.DrawText(r.text.c_str(), rc, (r.style & WS_DISABLED) ? 0xFF838383 : 0xFF000000);
      }
      break;
    }
    default:
      return false;
  }
  *result = 0;
  return true;
}

bool ProgressProc(WindowRecord& r, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  auto setPos = [&](int pos) {
    const int old = r.position;
    r.position =
        std::clamp(pos, std::min(r.rangeLow, r.rangeHigh), std::max(r.rangeLow, r.rangeHigh));
    if (old != r.position && r.wnd) r.wnd->InvalidateRect(nullptr, FALSE);
    return old;
  };
  switch (message) {
    case PBM_SETRANGE:
      *result = MAKELPARAM(r.rangeLow, r.rangeHigh);
      r.rangeLow = static_cast<int16_t>(LOWORD(lParam));
      r.rangeHigh = static_cast<int16_t>(HIWORD(lParam));
      setPos(r.position);
      return true;
    case PBM_SETRANGE32:
      *result = MAKELPARAM(r.rangeLow, r.rangeHigh);
      r.rangeLow = static_cast<int>(wParam);
      r.rangeHigh = static_cast<int>(lParam);
      setPos(r.position);
      return true;
    case PBM_GETRANGE:
      *result = wParam ? r.rangeLow : r.rangeHigh;
      return true;
    case PBM_SETPOS:
      *result = setPos(static_cast<int>(wParam));
      return true;
    case PBM_DELTAPOS:
      *result = setPos(r.position + static_cast<int>(wParam));
      return true;
    case PBM_GETPOS:
      *result = r.position;
      return true;
    case WM_ERASEBKGND:
      *result = TRUE;
      return true;
    case WM_PAINT: {
      CPaintDC dc(r.wnd);
      const RECT rc = ClientOf(r);
      dc.FillSolidRect(rc, RGB(0xE6, 0xE6, 0xE6));
      const int span = r.rangeHigh - r.rangeLow;
      if (span > 0) {
        const int fill =
            static_cast<int>(static_cast<int64_t>(r.Width()) * (r.position - r.rangeLow) / span);
        dc.FillSolidRect(RECT{0, 0, fill, rc.bottom}, RGB(0x06, 0xB0, 0x25));
      }
      *result = 0;
      return true;
    }
    default:
      return false;
  }
}

bool StaticProc(WindowRecord& r, UINT message, LRESULT* result) {
  switch (message) {
    case WM_ERASEBKGND:
      *result = TRUE;
      return true;
    case WM_PAINT: {
      CPaintDC dc(r.wnd);
      const RECT rc = ClientOf(r);
      if ((r.style & SS_TYPEMASK) == SS_BLACKFRAME)
        dc.FrameRect(rc, 0xFF000000);
      else if (!r.text.empty() && !(r.exStyle & WS_EX_LAYERED))
        dc.DrawText(r.text.c_str(), rc, 0xFF000000);
      *result = 0;
      return true;
    }
    default:
      return false;
  }
}
}  // namespace

bool ClassProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (!record.IsChild()) {
    return IsDialogClass(record.classKey) &&
           DialogClassProc(record, message, wParam, lParam, result);
  }
  if (record.classKey == "button") return ButtonProc(record, message, lParam, result);
  if (record.classKey == "msctls_progress32")
    return ProgressProc(record, message, wParam, lParam, result);
  if (record.classKey == "static") return StaticProc(record, message, result);
  return false;
}

CWnd* NewControlObject(const std::string& className) {
  if (className == "button") return new CButton;
  if (className == "msctls_progress32") return new CProgressCtrl;
  if (className == "static") return new CStatic;
  return new CWnd;
}

}  // namespace ui

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return init != nullptr;
}

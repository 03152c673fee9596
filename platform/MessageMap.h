// Message maps: a declarative table per window class mapping a message number (or a command id)
// to one handler. Lookup walks the class's table, then its base class's, then default handling.
//
//   const MessageMap& CMyDlg::GetThisMessageMap() {
//     static const MessageMap map = MessageMap::For<CMyDlg>({
//         OnPaintMsg(&CMyDlg::OnPaint),
//         OnCommandId(1001, &CMyDlg::OnBnClickedClose),
//         OnMessageNumber(WM_RUN_LAUNCHER, &CMyDlg::OnRunLauncher),
//     }, &CDialog::GetThisMessageMap);
//     return map;
//   }
#pragma once

#include <functional>
#include <initializer_list>
#include <vector>

#include "WinUser.h"

class CCmdTarget;
class CWnd;
class CDC;

struct MessageEntry {
  UINT message = 0;
  UINT code = 0;  // WM_COMMAND: notification code
  UINT id = 0;    // WM_COMMAND: control id
  bool anyCode = false;
  std::function<LRESULT(CCmdTarget&, WPARAM, LPARAM)> handler;
};

class MessageMap {
 public:
  using BaseFn = const MessageMap& (*)();

  template <class T>
  static MessageMap For(std::initializer_list<MessageEntry> entries, BaseFn base = nullptr) {
    return MessageMap(entries, base);
  }

  const MessageEntry* Find(UINT message, WPARAM wParam) const;

 private:
  MessageMap(std::initializer_list<MessageEntry> entries, BaseFn base)
      : m_entries(entries), m_base(base) {}
  std::vector<MessageEntry> m_entries;
  BaseFn m_base;
};

// Declares the map functions of a class inside its body.
#define DECLARE_MESSAGE_MAP()                        \
 public:                                             \
  static const MessageMap& GetThisMessageMap();      \
  const MessageMap& GetMessageMap() const override { \
    return GetThisMessageMap();                      \
  }

namespace msgmap {
template <class T, class F>
MessageEntry Entry(UINT message, F&& call) {
  MessageEntry e;
  e.message = message;
  e.handler = [call](CCmdTarget& t, WPARAM w, LPARAM l) -> LRESULT {
    return call(static_cast<T&>(t), w, l);
  };
  return e;
}
POINT PointOf(LPARAM lp);
}  // namespace msgmap

// Handlers with the framework's usual signatures.
template <class T>
MessageEntry OnPaintMsg(void (T::*fn)()) {
  return msgmap::Entry<T>(WM_PAINT, [fn](T& t, WPARAM, LPARAM) { return (t.*fn)(), LRESULT(0); });
}
template <class T>
MessageEntry OnNcPaintMsg(void (T::*fn)()) {
  return msgmap::Entry<T>(WM_NCPAINT, [fn](T& t, WPARAM, LPARAM) { return (t.*fn)(), LRESULT(0); });
}
template <class T>
MessageEntry OnEraseBkgndMsg(BOOL (T::*fn)(CDC*)) {
  return msgmap::Entry<T>(WM_ERASEBKGND, [fn](T& t, WPARAM w, LPARAM) {
    return LRESULT((t.*fn)(reinterpret_cast<CDC*>(w)));
  });
}
template <class T>
MessageEntry OnCloseMsg(void (T::*fn)()) {
  return msgmap::Entry<T>(WM_CLOSE, [fn](T& t, WPARAM, LPARAM) { return (t.*fn)(), LRESULT(0); });
}
template <class T>
MessageEntry OnDestroyMsg(void (T::*fn)()) {
  return msgmap::Entry<T>(WM_DESTROY, [fn](T& t, WPARAM, LPARAM) { return (t.*fn)(), LRESULT(0); });
}
template <class T>
MessageEntry OnMouseLeaveMsg(void (T::*fn)()) {
  return msgmap::Entry<T>(WM_MOUSELEAVE,
                          [fn](T& t, WPARAM, LPARAM) { return (t.*fn)(), LRESULT(0); });
}
// Mouse messages: key flags and the point in client coordinates.
template <class T>
MessageEntry OnMouseMsg(UINT message, void (T::*fn)(UINT, POINT)) {
  return msgmap::Entry<T>(message, [fn](T& t, WPARAM w, LPARAM l) {
    return (t.*fn)(static_cast<UINT>(w), msgmap::PointOf(l)), LRESULT(0);
  });
}
template <class T>
MessageEntry OnMouseMoveMsg(void (T::*fn)(UINT, POINT)) {
  return OnMouseMsg(WM_MOUSEMOVE, fn);
}
template <class T>
MessageEntry OnLButtonDownMsg(void (T::*fn)(UINT, POINT)) {
  return OnMouseMsg(WM_LBUTTONDOWN, fn);
}
template <class T>
MessageEntry OnLButtonUpMsg(void (T::*fn)(UINT, POINT)) {
  return OnMouseMsg(WM_LBUTTONUP, fn);
}
template <class T>
MessageEntry OnMouseHoverMsg(void (T::*fn)(UINT, POINT)) {
  return OnMouseMsg(WM_MOUSEHOVER, fn);
}
template <class T>
MessageEntry OnShowWindowMsg(void (T::*fn)(BOOL, UINT)) {
  return msgmap::Entry<T>(WM_SHOWWINDOW, [fn](T& t, WPARAM w, LPARAM l) {
    return (t.*fn)(static_cast<BOOL>(w), static_cast<UINT>(l)), LRESULT(0);
  });
}
template <class T>
MessageEntry OnWindowPosChangedMsg(void (T::*fn)(WINDOWPOS*)) {
  return msgmap::Entry<T>(WM_WINDOWPOSCHANGED, [fn](T& t, WPARAM, LPARAM l) {
    return (t.*fn)(reinterpret_cast<WINDOWPOS*>(l)), LRESULT(0);
  });
}
template <class T>
MessageEntry OnSizeMsg(void (T::*fn)(UINT, int, int)) {
  return msgmap::Entry<T>(WM_SIZE, [fn](T& t, WPARAM w, LPARAM l) {
    return (t.*fn)(static_cast<UINT>(w), LOWORD(l), HIWORD(l)), LRESULT(0);
  });
}
template <class T>
MessageEntry OnQueryDragIconMsg(HCURSOR (T::*fn)()) {
  return msgmap::Entry<T>(WM_QUERYDRAGICON, [fn](T& t, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((t.*fn)());
  });
}
template <class T>
MessageEntry OnCopyDataMsg(BOOL (T::*fn)(CWnd*, COPYDATASTRUCT*)) {
  return msgmap::Entry<T>(WM_COPYDATA, [fn](T& t, WPARAM w, LPARAM l) {
    return LRESULT(
        (t.*fn)(t.FromHandle(static_cast<HWND>(w)), reinterpret_cast<COPYDATASTRUCT*>(l)));
  });
}
// WM_COMMAND with BN_CLICKED (or any code with OnCommandAnyCode) from control `id`.
template <class T>
MessageEntry OnCommandId(UINT id, void (T::*fn)(), UINT code = BN_CLICKED) {
  MessageEntry e =
      msgmap::Entry<T>(WM_COMMAND, [fn](T& t, WPARAM, LPARAM) { return (t.*fn)(), LRESULT(0); });
  e.id = id;
  e.code = code;
  return e;
}
// Any message number, raw parameters.
template <class T>
MessageEntry OnMessageNumber(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM)) {
  return msgmap::Entry<T>(message, [fn](T& t, WPARAM w, LPARAM l) { return (t.*fn)(w, l); });
}
// A thread message in the application's map.
template <class T>
MessageEntry OnThreadMessageNumber(UINT message, void (T::*fn)(WPARAM, LPARAM)) {
  return msgmap::Entry<T>(message,
                          [fn](T& t, WPARAM w, LPARAM l) { return (t.*fn)(w, l), LRESULT(0); });
}

// The built-in controls: push buttons (optionally owner-drawn), progress bars and statics.
// Their behaviour lives in their window class, so an object subclassing a template control
// gets it without doing anything.
#pragma once

#include "Wnd.h"

class CButton : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  BOOL Create(const char* caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
  // Owner-drawn buttons (BS_OWNERDRAW) are drawn by this when they need painting.
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}
  UINT GetButtonStyle() const { return GetStyle() & BS_TYPEMASK; }
  BOOL ReflectDrawItem(LPDRAWITEMSTRUCT item) override;
};

class CProgressCtrl : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
  void SetRange(short lower, short upper);
  void SetRange32(int lower, int upper);
  void GetRange(int& lower, int& upper);
  int SetPos(int position);  // returns the previous position
  int GetPos();
};

class CStatic : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  BOOL Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id);
};

// The control classes are the framework's own and always registered; the call is kept so a
// program's start-up reads the same on every desktop.
struct INITCOMMONCONTROLSEX {
  DWORD dwSize = 0;
  DWORD dwICC = 0;
};
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

namespace ui {
struct WindowRecord;
// The window procedure of the built-in classes (button, progress bar, static, dialogs):
// true when it handled the message.
bool ClassProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
// The object type a template control of this class is created with.
CWnd* NewControlObject(const std::string& className);
}  // namespace ui

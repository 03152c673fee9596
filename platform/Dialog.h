// Modeless dialogs created from dialog templates, and data exchange binding controls by id.
//
// Dialog templates give places in dialog units; they are converted to pixels with fixed dialog
// base units of 6 x 13 pixels (MapDialogRect): x = units * 6 / 4, y = units * 13 / 8, rounded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Controls.h"

struct DialogUnits {
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogItemTemplate {
  UINT id = 0;
  const char* className = "";
  const char* caption = "";
  DWORD style = 0;
  DialogUnits place;
};

struct DialogTemplate {
  UINT id = 0;
  DialogUnits place;
  DWORD style = 0;
  DWORD exStyle = 0;
  const char* className = nullptr;  // null: the system dialog class "#32770"
  const char* title = "";
  int pointSize = 8;
  const char* font = "MS Shell Dlg";
  std::vector<DialogItemTemplate> items;
};

// The program's dialog templates (resources/).
namespace res {
const DialogTemplate* FindDialogTemplate(UINT id);
}

// Window classes: a class registered as a copy of the system dialog class behaves as a dialog
// and carries its own name (what other processes find it by).
struct WNDCLASS {
  const char* lpszClassName = nullptr;
};
BOOL GetClassInfo(void* instance, const char* className, WNDCLASS* info);
BOOL AfxRegisterClass(WNDCLASS* info);

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// Binds control `id` of the dialog to `control` (subclassing it) the first time.
void DDX_Control(CDataExchange* pDX, UINT id, CWnd& control);

class CDialog : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr);
  BOOL Create(UINT templateId, CWnd* parent = nullptr);

  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual void OnOK();
  virtual void OnCancel();
  // A modeless dialog ends by hiding.
  void EndDialog(int result);
  // Escape and Enter end the dialog (as IDCANCEL and IDOK) unless a subclass takes them first.
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  UINT m_lpszTemplateName = 0;
  CWnd* m_pParentWnd = nullptr;

 private:
  LRESULT HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }
  std::vector<std::unique_ptr<CWnd>> m_templateControls;
};

namespace ui {
struct WindowRecord;
bool IsDialogClass(const std::string& classKey);
bool DialogClassProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT* result);
}  // namespace ui

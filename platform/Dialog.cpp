#include "Dialog.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "WindowTable.h"

namespace {
std::mutex g_classMutex;
std::set<std::string> g_dialogClasses{"#32770"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return s;
}

RECT ToPixels(const DialogUnits& du) {
  return MapDialogRect(RECT{du.x, du.y, du.x + du.cx, du.y + du.cy});
}
}  // namespace

BOOL GetClassInfo(void*, const char* className, WNDCLASS* info) {
  std::lock_guard lock(g_classMutex);
  if (!className || !info || !g_dialogClasses.count(Lower(className))) return FALSE;
  info->lpszClassName = className;
  return TRUE;
}

BOOL AfxRegisterClass(WNDCLASS* info) {
  if (!info || !info->lpszClassName) return FALSE;
  std::lock_guard lock(g_classMutex);
  g_dialogClasses.insert(Lower(info->lpszClassName));
  return TRUE;
}

namespace ui {
bool IsDialogClass(const std::string& classKey) {
  std::lock_guard lock(g_classMutex);
  return g_dialogClasses.count(classKey) != 0;
}

bool DialogClassProc(WindowRecord& record, UINT message, WPARAM, LPARAM, LRESULT* result) {
  if (message != WM_CLOSE) return false;
  // The dialog manager turns a close into a cancel.
  ::SendMessage(record.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  *result = 0;
  return true;
}
}  // namespace ui

void DDX_Control(CDataExchange* pDX, UINT id, CWnd& control) {
  if (!pDX || control.m_hWnd) return;
  CWnd* item = pDX->m_pDlgWnd ? pDX->m_pDlgWnd->GetDlgItem(id) : nullptr;
  if (item) control.SubclassWindow(item->m_hWnd);
}

const MessageMap& CDialog::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CDialog>(
      {
          OnMessageNumber(WM_INITDIALOG, &CDialog::HandleInitDialog),
          OnCommandId(IDOK, &CDialog::OnOK),
          OnCommandId(IDCANCEL, &CDialog::OnCancel),
      },
      &CWnd::GetThisMessageMap);
  return map;
}

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(templateId), m_pParentWnd(parent) {}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  const DialogTemplate* tpl = res::FindDialogTemplate(templateId);
  if (!tpl) return FALSE;
  m_lpszTemplateName = templateId;
  m_pParentWnd = parent;
  if (!CreateEx(tpl->exStyle, tpl->className ? tpl->className : "#32770", tpl->title,
                tpl->style & ~WS_VISIBLE, ToPixels(tpl->place), parent, 0)) {
    return FALSE;
  }
  if (tpl->style & DS_CENTER) CenterWindow();
  for (const DialogItemTemplate& item : tpl->items) {
    std::unique_ptr<CWnd> control(ui::NewControlObject(Lower(item.className)));
    control->CreateEx(0, item.className, item.caption, item.style, ToPixels(item.place), this,
                      item.id);
    m_templateControls.push_back(std::move(control));
  }
  SendMessage(WM_INITDIALOG, 0, 0);
  if ((tpl->style & WS_VISIBLE) && m_hWnd) ShowWindow(SW_SHOW);
  return m_hWnd != 0;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int) {
  ShowWindow(SW_HIDE);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
    PostMessage(WM_COMMAND, MAKEWPARAM(msg->wParam == VK_ESCAPE ? IDCANCEL : IDOK, BN_CLICKED), 0);
    return TRUE;
  }
  return FALSE;
}

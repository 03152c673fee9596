#include "HtmlDlg.h"

#include <new>

#include "Messages.h"
#include "WindowPlace.h"
#include "update/Log.h"

const MessageMap& CHtmlDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CHtmlDlg>(
      {
          OnSizeMsg(&CHtmlDlg::OnSize),
          OnMessageNumber(WM_HTML_CLOSE, &CHtmlDlg::OnHtmlClose),
      },
      &CDialog::GetThisMessageMap);
  return map;
}

// The window goes first, while the page and the icon it shows still exist.
CHtmlDlg::~CHtmlDlg() {
  DestroyWindow();
  DestroyIcon(m_hIcon);
}

BOOL CHtmlDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  char title[260] = "";
  LoadString(129, title, sizeof title);
  SetWindowText(title);
  m_hIcon = LoadIconResource(128);
  if (m_hIcon) {
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
  }
  m_htmlCtrl.CreateFromStatic(1019, this);
  return TRUE;
}

void CHtmlDlg::OnSize(UINT nType, int cx, int cy) {
  CDialog::OnSize(nType, cx, cy);
  if (m_htmlCtrl.GetSafeHwnd()) m_htmlCtrl.MoveWindow(0, 0, cx, cy, FALSE);
}

LRESULT CHtmlDlg::OnHtmlClose(WPARAM, LPARAM) {
  ShowWindow(SW_HIDE);
  return 0;
}

CHtmlDlg* CreateHtmlDlg(int width, int height, const char* pszURL, CWnd* pParent,
                        AppConfig& config) {
  if (!Check(pszURL != nullptr, "HtmlDlg", 66, "pszURL")) return nullptr;
  if (!Check(pParent != nullptr, "HtmlDlg", 67, "pParent")) return nullptr;
  CHtmlDlg* pDlg = new (std::nothrow) CHtmlDlg(config);
  if (!Check(pDlg != nullptr, "HtmlDlg", 70, "pDlg")) return nullptr;
  pDlg->Create(204, pParent);
  const POINT place = PlaceOnPrimaryMonitor(width, height);
  pDlg->MoveWindow(place.x, place.y, width, height, TRUE);
  pDlg->m_htmlCtrl.Navigate(pszURL);
  pDlg->ShowWindow(SW_SHOW);
  pDlg->BringWindowToTop();
  return pDlg;
}

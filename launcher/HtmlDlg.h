// CHtmlDlg: the web pop-up, a small captioned, always-on-top window with one page. The game
// asks for it through the main dialog, which replaces any earlier pop-up with a new one.
#pragma once

#include "HtmlCtrl.h"
#include "platform/Afx.h"
#include "update/AppConfig.h"

class CHtmlDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  // The page's "startgame" requests store their values in `config`.
  explicit CHtmlDlg(AppConfig& config) : m_htmlCtrl(config) {}
  ~CHtmlDlg() override;

  BOOL OnInitDialog() override;

  HICON m_hIcon = nullptr;
  CHtmlCtrl m_htmlCtrl;

 protected:
  void OnSize(UINT nType, int cx, int cy);
  LRESULT OnHtmlClose(WPARAM wParam, LPARAM lParam);
};

// A new pop-up owned by `pParent`, placed centred across and a third down the screen with the
// outer size `width` x `height`, showing `pszURL`, shown on top; null when an argument is
// missing.
CHtmlDlg* CreateHtmlDlg(int width, int height, const char* pszURL, CWnd* pParent,
                        AppConfig& config);

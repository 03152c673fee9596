// CLauncherDlg: the main window. A captionless dialog cut to a seven-cornered outline of its
// background picture, with the server list page in its middle, picture buttons for minimise,
// close and four web pages, a repair button, and the window the game sends its messages to.
#pragma once

#include <memory>
#include <string>

#include "HtmlCtrl.h"
#include "HtmlDlg.h"
#include "ImageControls.h"
#include "LayeredWindow.h"
#include "platform/Afx.h"

// Where the server list page sits in the dialog (left, top, width, height); the layered window
// leaves the same area undrawn.
inline constexpr HoleRect g_rcWebArea{282, 143, 640, 416};
// The dialog's outline in window pixels.
inline constexpr POINT rgnBgPoints[7] = {{157, 75},  {938, 75},  {955, 108}, {940, 141},
                                         {938, 592}, {139, 594}, {36, 316}};

// The outline the layered window's frame ends at: each point moved towards the centre, by 50
// pixels for points on the left and by 10 otherwise.
void InnerOutline(const POINT (&points)[7], POINT centre, POINT (&inner)[7]);

// The pages the dialog opens: the server list and the four link buttons' pages.
std::string GetZoneListUrl();
std::string GetHomePageUrl();
std::string GetForumUrl();
std::string GetServiceUrl();
std::string GetRechargeUrl();

class CLauncherDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  // The page's start requests and the pop-ups' write the launch parameters in `config`.
  explicit CLauncherDlg(AppConfig& config);
  ~CLauncherDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  // Neither Escape nor Enter ends the dialog.
  BOOL PreTranslateMessage(MSG* pMsg) override;

  std::unique_ptr<CLayeredWindow> m_pLayeredWindow;
  HICON m_hIcon = nullptr;
  CHtmlCtrl m_htmlCtrl;
  CImageButton m_btnClose;
  CImageButton m_btnMin;
  CImageButton m_btnHome;
  CImageButton m_btnRecharge;
  CImageButton m_btnForum;
  CImageButton m_btnService;
  CButton m_btnRepair;
  std::unique_ptr<Gdiplus::Image> m_pBgImage;
  std::unique_ptr<CHtmlDlg> m_pHtmlDlg;  // the pop-up the game asked for last

 protected:
  void OnPaint();
  void OnClose();
  void OnShowWindow(BOOL bShow, UINT nStatus);
  void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  void OnLButtonDown(UINT nFlags, POINT point);
  HCURSOR OnQueryDragIcon();
  BOOL OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct);
  void OnBnClickedClose();
  void OnBnClickedMin();
  void OnBnClickedRepair();
  void OnBnClickedHome();
  void OnBnClickedForum();
  void OnBnClickedService();
  void OnBnClickedRecharge();
  LRESULT OnGameInit(WPARAM wParam, LPARAM lParam);
  LRESULT OnGameResize(WPARAM wParam, LPARAM lParam);
  LRESULT OnGameActivate(WPARAM wParam, LPARAM lParam);
  LRESULT OnRunLauncher(WPARAM wParam, LPARAM lParam);

 private:
  void ShapeDialog();
  void OpenPopUp(const std::string& text);
  void ClosePopUp();

  AppConfig& m_config;
};

#include "LauncherDlg.h"

#include <new>

#include "CopyDataCommand.h"
#include "Launcher.h"
#include "Messages.h"
#include "PngImage.h"
#include "Sites.h"
#include "Telemetry.h"
#include "WindowPlace.h"
#include "platform/System.h"
#include "update/FileUtil.h"
#include "update/Log.h"

namespace {
constexpr UINT kBgImage = 203;

// Picture resources of a button: normal, hover and pressed.
struct ButtonPictures {
  UINT normal, hover, pressed;
};

// Gives a button its pictures, each slot its own object: a button frees each one it holds.
void SetButtonImages(CImageButton& button, const ButtonPictures& ids) {
  button.SetImages(LoadPngImage(ids.normal), LoadPngImage(ids.hover), LoadPngImage(ids.pressed));
}
}  // namespace

void InnerOutline(const POINT (&points)[7], POINT centre, POINT (&inner)[7]) {
  for (int i = 0; i < 7; ++i) {
    inner[i].x = points[i].x > centre.x ? points[i].x - 10 : points[i].x + 50;
    inner[i].y = points[i].y > centre.y ? points[i].y - 10 : points[i].y + 10;
  }
}

std::string GetZoneListUrl() {
  return PartnerSite() + "/mini/zonelist.html";
}
std::string GetHomePageUrl() {
  return GameSite() + "/home.html";
}
std::string GetForumUrl() {
  return GameSite() + "/bbs.html";
}
std::string GetServiceUrl() {
  return GameSite() + "/qa.html";
}
std::string GetRechargeUrl() {
  return GameSite() + "/recharge.html";
}

const MessageMap& CLauncherDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CLauncherDlg>(
      {
          OnPaintMsg(&CLauncherDlg::OnPaint),
          OnCloseMsg(&CLauncherDlg::OnClose),
          OnShowWindowMsg(&CLauncherDlg::OnShowWindow),
          OnWindowPosChangedMsg(&CLauncherDlg::OnWindowPosChanged),
          OnLButtonDownMsg(&CLauncherDlg::OnLButtonDown),
          OnQueryDragIconMsg(&CLauncherDlg::OnQueryDragIcon),
          OnCopyDataMsg(&CLauncherDlg::OnCopyData),
          OnCommandId(1001, &CLauncherDlg::OnBnClickedClose),
          OnCommandId(1000, &CLauncherDlg::OnBnClickedMin),
          OnCommandId(1015, &CLauncherDlg::OnBnClickedRepair),
          OnCommandId(1002, &CLauncherDlg::OnBnClickedHome),
          OnCommandId(1004, &CLauncherDlg::OnBnClickedForum),
          OnCommandId(1005, &CLauncherDlg::OnBnClickedService),
          OnCommandId(1003, &CLauncherDlg::OnBnClickedRecharge),
          OnMessageNumber(WM_USER + 1, &CLauncherDlg::OnGameInit),
          OnMessageNumber(WM_USER + 2, &CLauncherDlg::OnGameResize),
          OnMessageNumber(WM_USER + 3, &CLauncherDlg::OnGameActivate),
          OnMessageNumber(WM_RUN_LAUNCHER, &CLauncherDlg::OnRunLauncher),
      },
      &CDialog::GetThisMessageMap);
  return map;
}

CLauncherDlg::CLauncherDlg(AppConfig& config)
    : CDialog(102, nullptr), m_htmlCtrl(config), m_config(config) {}

// The layered window goes before the picture it shows, the pop-up before the window it is
// owned by; the controls go with the members afterwards.
CLauncherDlg::~CLauncherDlg() {
  m_pHtmlDlg.reset();
  m_pLayeredWindow.reset();
  m_pBgImage.reset();
  DestroyWindow();
  DestroyIcon(m_hIcon);
}

void CLauncherDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, 1001, m_btnClose);
  DDX_Control(pDX, 1000, m_btnMin);
  DDX_Control(pDX, 1002, m_btnHome);
  DDX_Control(pDX, 1003, m_btnRecharge);
  DDX_Control(pDX, 1004, m_btnForum);
  DDX_Control(pDX, 1005, m_btnService);
  DDX_Control(pDX, 1015, m_btnRepair);
}

BOOL CLauncherDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_pBgImage.reset(LoadPngImage(kBgImage));
  const int w = m_pBgImage ? static_cast<int>(m_pBgImage->GetWidth()) : 0;
  const int h = m_pBgImage ? static_cast<int>(m_pBgImage->GetHeight()) : 0;
  const POINT place = PlaceOnPrimaryMonitor(w, h);
  MoveWindow(place.x, place.y, w, h, TRUE);

  char title[260] = "";
  LoadString(129, title, sizeof title);
  SetWindowText(title);
  m_hIcon = LoadIconFromFile("ico.ico");
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  m_htmlCtrl.CreateFromStatic(1013, this);
  m_htmlCtrl.MoveWindow(g_rcWebArea.x, g_rcWebArea.y, g_rcWebArea.width, g_rcWebArea.height, FALSE);
  PostLoginState(m_config, kLoginStateServerList);
  m_htmlCtrl.Navigate(GetZoneListUrl().c_str());

  SetButtonImages(m_btnClose, {160, 161, 159});
  SetButtonImages(m_btnMin, {177, 178, 176});
  SetButtonImages(m_btnHome, {196, 195, 196});
  SetButtonImages(m_btnRecharge, {194, 193, 194});
  SetButtonImages(m_btnForum, {192, 191, 192});
  SetButtonImages(m_btnService, {198, 197, 198});
  ShapeDialog();
  return TRUE;
}

// The dialog is cut to its outline; a layered window shows the picture's soft edges in a frame
// that overlaps the outline a little and covers everything of the picture outside it.
void CLauncherDlg::ShapeDialog() {
  CRgn rgn;
  if (!Check(rgn.CreatePolygonRgn(rgnBgPoints, 7, ALTERNATE) != FALSE, "LauncherDlg", 142,
             "rgn.CreatePolygonRgn(rgnBgPoints, _countof(rgnBgPoints), ALTERNATE)")) {
    return;
  }
  SetWindowRgn(rgn, FALSE);
  if (!m_pBgImage) return;

  RECT rc;
  GetClientRect(&rc);
  POINT inner[7];
  InnerOutline(rgnBgPoints, POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}, inner);
  CRgn rgnInverse;
  if (!Check(rgnInverse.CreateRectRgn(0, 0, 5, 5) != FALSE, "LauncherDlg", 166,
             "rgnInverse.CreateRectRgn(0, 0, 5, 5)")) {
    return;
  }
  const int w = static_cast<int>(m_pBgImage->GetWidth());
  const int h = static_cast<int>(m_pBgImage->GetHeight());
  CRgn rgnRect;
  if (!Check(rgnRect.CreateRectRgn(0, 0, w, h) != FALSE, "LauncherDlg", 170,
             "rgnRect.CreateRectRgn(0, 0, w, h)")) {
    return;
  }
  CRgn rgnInner;
  if (!Check(rgnInner.CreatePolygonRgn(inner, 7, ALTERNATE) != FALSE, "LauncherDlg", 173,
             "rgn.CreatePolygonRgn(rgnBgPoints, _countof(rgnBgPoints), ALTERNATE)")) {
    return;
  }
  const int nCombineResult = rgnInverse.CombineRgn(&rgnInner, &rgnRect, RGN_XOR);
  if (!Check(nCombineResult != ERROR && nCombineResult != NULLREGION, "LauncherDlg", 175,
             "nCombineResult != ERROR && nCombineResult != NULLREGION")) {
    return;
  }
  m_pLayeredWindow.reset(new (std::nothrow) CLayeredWindow);
  if (m_pLayeredWindow) {
    m_pLayeredWindow->Create(this, m_pBgImage.get(), g_rcWebArea.x, g_rcWebArea.y,
                             g_rcWebArea.width, g_rcWebArea.height, &rgnInverse);
  }
}

BOOL CLauncherDlg::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_RETURN)) {
    return TRUE;
  }
  return CDialog::PreTranslateMessage(pMsg);
}

void CLauncherDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
    return;
  }
  if (m_pLayeredWindow) m_pLayeredWindow->UpdateLayered();
  CPaintDC dc(this);
  if (m_pBgImage) DrawBackground(dc.GetSafeHdc(), m_pBgImage.get());
}

void CLauncherDlg::OnClose() {
  ClosePopUp();
  CDialog::OnClose();
  PostQuitMessage(0);
}

void CLauncherDlg::OnShowWindow(BOOL bShow, UINT nStatus) {
  CDialog::OnShowWindow(bShow, nStatus);
  if (m_pLayeredWindow) m_pLayeredWindow->FollowShowWindow(bShow);
}

void CLauncherDlg::OnWindowPosChanged(WINDOWPOS* lpwndpos) {
  CDialog::OnWindowPosChanged(lpwndpos);
  if (m_pLayeredWindow) m_pLayeredWindow->FollowWindowPos(*lpwndpos);
}

void CLauncherDlg::OnLButtonDown(UINT nFlags, POINT point) {
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  CDialog::OnLButtonDown(nFlags, point);
}

HCURSOR CLauncherDlg::OnQueryDragIcon() {
  return m_hIcon;
}

void CLauncherDlg::OnBnClickedClose() {
  PostMessage(WM_CLOSE, 0, 0);
}

void CLauncherDlg::OnBnClickedMin() {
  PostMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

// Files in use stay, and so does the running launcher.
// Where trees are signed, the files that differ from the signed content are enough to fetch
// again, and nothing else of the folder (the log, the accepted list) is lost.
void CLauncherDlg::OnBnClickedRepair() {
  if (!m_config.strUpdatePublicKey.empty()) {
    m_config.bVerifyContent = true;
    LogPrint("repair: the next update checks the content of every file");
    return;
  }
  DeleteDirectoryTree(m_config.GetWorkPath());
}

void CLauncherDlg::OnBnClickedHome() {
  sys::Current().OpenUrl(GetHomePageUrl());
}

void CLauncherDlg::OnBnClickedForum() {
  sys::Current().OpenUrl(GetForumUrl());
}

void CLauncherDlg::OnBnClickedService() {
  sys::Current().OpenUrl(GetServiceUrl());
}

void CLauncherDlg::OnBnClickedRecharge() {
  sys::Current().OpenUrl(GetRechargeUrl());
}

BOOL CLauncherDlg::OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct) {
  const ULONG_PTR kind = pCopyDataStruct->dwData;
  if (kind == kCopyDataOpenPopUp || kind == kCopyDataText) {
    std::string text;
    if (!ReadCopyDataText(*pCopyDataStruct, text)) {
      LogPrint("copy data command too long %d > %d on %d",
               static_cast<int>(pCopyDataStruct->cbData), static_cast<int>(kCopyDataBufferSize),
               static_cast<int>(kind));
    } else if (kind == kCopyDataOpenPopUp) {
      OpenPopUp(text);
    }
  }
  return CDialog::OnCopyData(pWnd, pCopyDataStruct);
}

// Every pop-up command replaces the pop-up, also one that opens none.
void CLauncherDlg::OpenPopUp(const std::string& text) {
  const PopUpCommand command = SplitPopUpCommand(text);
  ClosePopUp();
  if (!command.hasSize) {
    LogPrint("copy data command without width or height: %s", text.c_str());
    return;
  }
  const int width = ClampPopUpExtent(command.width, GetSystemMetrics(SM_CXSCREEN));
  const int height = ClampPopUpExtent(command.height, GetSystemMetrics(SM_CYSCREEN));
  m_pHtmlDlg.reset(CreateHtmlDlg(
      width, height, command.hasAddress ? command.address.c_str() : nullptr, this, m_config));
}

void CLauncherDlg::ClosePopUp() {
  if (!m_pHtmlDlg) return;
  m_pHtmlDlg->CloseWindow();
  m_pHtmlDlg.reset();
}

LRESULT CLauncherDlg::OnGameInit(WPARAM, LPARAM) {
  LogPrint("game init ....");
  return 0;
}

LRESULT CLauncherDlg::OnGameResize(WPARAM, LPARAM) {
  LogPrint("game resize ....");
  return 0;
}

LRESULT CLauncherDlg::OnGameActivate(WPARAM, LPARAM) {
  LogPrint("game activate ....");
  return 0;
}

LRESULT CLauncherDlg::OnRunLauncher(WPARAM, LPARAM) {
  ActivateLauncher();
  return 0;
}

#include "UpgradeDlg.h"

#include <new>

#include "Launcher.h"
#include "LauncherSettings.h"
#include "PngImage.h"
#include "WindowPlace.h"
#include "platform/Backend.h"
#include "update/UpdatePlan.h"

namespace {
constexpr UINT kBgImage = 190;
constexpr UINT kBarImage = 180;
}  // namespace

int ProgressPosition(int completed, int total) {
  if (total <= 0) return 0;
  return static_cast<int>(static_cast<float>(static_cast<unsigned>(completed)) /
                          static_cast<float>(static_cast<unsigned>(total)) * 100);
}

const char* RefusalBoxText(Refusal kind) {
  switch (kind) {
    case Refusal::None:
      break;
    case Refusal::NotSigned:
      return "更新被拒绝：更新服务器上的游戏文件没有官方签名，无法确认来自官方。\n"
             "请稍后再试，如仍无法更新请联系客服。";
    case Refusal::NotGenuine:
      return "更新被拒绝：更新服务器上的游戏文件与官方发布的不一致，可能已被篡改。\n"
             "请稍后再试，如仍无法更新请联系客服。";
    case Refusal::OutOfDate:
      return "更新被拒绝：更新服务器上的游戏版本已过期，服务器可能未及时同步。\n"
             "请检查电脑的日期和时间是否正确，稍后再试，如仍无法更新请联系客服。";
    case Refusal::OtherTree:
      return "更新被拒绝：更新服务器提供的不是本登录器所用的游戏版本。\n"
             "请确认所选服务器，如仍无法更新请联系客服。";
  }
  return nullptr;
}

const MessageMap& CUpgradeDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CUpgradeDlg>(
      {
          OnPaintMsg(&CUpgradeDlg::OnPaint),
          OnShowWindowMsg(&CUpgradeDlg::OnShowWindow),
          OnLButtonDownMsg(&CUpgradeDlg::OnLButtonDown),
          OnWindowPosChangedMsg(&CUpgradeDlg::OnWindowPosChanged),
          OnCommandId(1001, &CUpgradeDlg::OnBnClickedClose),
      },
      &CDialog::GetThisMessageMap);
  return map;
}

CUpgradeDlg::CUpgradeDlg(AppConfig& config) : CDialog(104, nullptr), m_config(config) {
  m_Downloader.SetConnections(LAUNCHER_UPDATE_CONNECTIONS);
}

// The job goes first: its worker reports to this object and starts the game from it.
CUpgradeDlg::~CUpgradeDlg() {
  m_Downloader.Reset();
  m_pLayeredWindow.reset();
  m_pBgImage.reset();
  DestroyWindow();
}

void CUpgradeDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, 1004, m_progressCtrl);
}

BOOL CUpgradeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  char title[260] = "";
  LoadString(130, title, sizeof title);
  SetWindowText(title);

  m_pBgImage.reset(LoadPngImage(kBgImage));
  const int w = m_pBgImage ? static_cast<int>(m_pBgImage->GetWidth()) : 0;
  const int h = m_pBgImage ? static_cast<int>(m_pBgImage->GetHeight()) : 0;
  const POINT place = PlaceOnPrimaryMonitor(w, h);
  MoveWindow(place.x, place.y, w, h, TRUE);

  m_pBarImage.reset(LoadPngImage(kBarImage));
  m_progressCtrl.SetImage(m_pBarImage.get());
  if (m_pBarImage) {
    m_progressCtrl.SetWindowPos(0, 0, 0, static_cast<int>(m_pBarImage->GetWidth()),
                                static_cast<int>(m_pBarImage->GetHeight()),
                                SWP_NOMOVE | SWP_NOACTIVATE);
  }
  if (m_pBgImage) {
    m_pLayeredWindow.reset(new (std::nothrow) CLayeredWindow);
    if (m_pLayeredWindow) {
      m_pLayeredWindow->Create(this, m_pBgImage.get(), g_rcUpgradeArea.x, g_rcUpgradeArea.y,
                               g_rcUpgradeArea.width, g_rcUpgradeArea.height, nullptr);
    }
  }
  CRgn rgn;
  rgn.CreateRectRgn(g_rcUpgradeArea.x, g_rcUpgradeArea.y, g_rcUpgradeArea.x + g_rcUpgradeArea.width,
                    g_rcUpgradeArea.y + g_rcUpgradeArea.height);
  SetWindowRgn(rgn, FALSE);

  m_nStep = 0;
  m_VersionsFileName = VersionsFilePath(m_config.GetWorkPath());
  m_GameFilesName = GameFilesPath(m_config.GetWorkPath());
  return TRUE;
}

BOOL CUpgradeDlg::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN || pMsg->message == WM_KEYUP) return TRUE;
  return CDialog::PreTranslateMessage(pMsg);
}

// The previous job is ended before the step changes, so its worker never sees the new step.
void CUpgradeDlg::StartUpdate() {
  m_Downloader.Reset();
  m_nStep = 1;
  m_jobConfig = m_config;
  // Raised before the worker starts: the worker lowers it, maybe before StartManifestJob returns.
  m_bUnderWay = true;
  if (!StartManifestJob(m_Downloader, m_jobConfig, m_VersionsFileName, m_GameFilesName, this)) {
    m_bUnderWay = false;
  }
}

// The bar moves one file at a time; the worker waits until the bar has taken the position.
void CUpgradeDlg::OnProgress() {
  const DownloadProgress& progress = m_Downloader.GetProgress();
  m_progressCtrl.SendMessage(PBM_SETPOS, ProgressPosition(progress.completed, progress.total), 0);
}

// Whether the files job succeeded or not, the game starts with what is installed. A content check
// asked for is done once every file it found is installed again: a changed file whose download
// failed keeps its marker, so only another check would find it.
void CUpgradeDlg::OnComplete() {
  if (m_nStep == 1) {
    PlanDownloads();
  } else if (m_nStep == 2 && m_Downloader.GetRefusal().kind != Refusal::None) {
    StopUpdate();
  } else if (m_nStep == 2) {
    const DownloadProgress& progress = m_Downloader.GetProgress();
    FinishWithGame(progress.completed == progress.total);
  }
}

// A stop (the log says why) gives the player the main dialog back, to pick again or close.
void CUpgradeDlg::PlanDownloads() {
  int nAdded = 0;
  if (!PlanGameUpdate(m_VersionsFileName, m_GameFilesName, m_jobConfig, m_Downloader, nAdded)) {
    StopUpdate();
    return;
  }
  if (nAdded == 0) {
    FinishWithGame(true);
    return;
  }
  m_nStep = 2;
  // A files job that cannot start ends the road as a failed one does: with the game.
  if (!StartFilesJob(m_Downloader, this)) FinishWithGame(false);
}

// A refused tree is no reason to start the game with whatever its files job left.
void CUpgradeDlg::StopUpdate() {
  const Refusal refusal = m_Downloader.GetRefusal().kind;
  if (refusal != Refusal::None) sys::Current().MessageBox(RefusalBoxText(refusal), kRefusalCaption);
  ShowWindow(SW_HIDE);
  m_bUnderWay = false;
  ReturnToMainDialog(refusal == Refusal::None ? "update stopped" : "update refused");
}

// The application's flag belongs to the UI thread, where the repair button sets it.
void CUpgradeDlg::FinishWithGame(bool bChecked) {
  if (bChecked) ui::RunOnUiThread([this] { m_config.bVerifyContent = false; });
  ShowWindow(SW_HIDE);
  StartGame(m_jobConfig);
  m_bUnderWay = false;
}

void CUpgradeDlg::OnPaint() {
  if (m_pBgImage) {
    CPaintDC dc(this);
    DrawBackground(dc.GetSafeHdc(), m_pBgImage.get());
  }
  if (m_pLayeredWindow) m_pLayeredWindow->UpdateLayered();
  CDialog::OnPaint();
}

void CUpgradeDlg::OnShowWindow(BOOL bShow, UINT nStatus) {
  CDialog::OnShowWindow(bShow, nStatus);
  if (m_pLayeredWindow) m_pLayeredWindow->FollowShowWindow(bShow);
}

void CUpgradeDlg::OnLButtonDown(UINT nFlags, POINT point) {
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  CDialog::OnLButtonDown(nFlags, point);
}

void CUpgradeDlg::OnWindowPosChanged(WINDOWPOS* lpwndpos) {
  CDialog::OnWindowPosChanged(lpwndpos);
  if (m_pLayeredWindow) m_pLayeredWindow->FollowWindowPos(*lpwndpos);
}

void CUpgradeDlg::OnBnClickedClose() {
  if (m_pLayeredWindow) m_pLayeredWindow->SendMessage(WM_CLOSE, 0, 0);
  PostMessage(WM_CLOSE, 0, 0);
}

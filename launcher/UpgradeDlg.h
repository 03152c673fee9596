// CUpgradeDlg: the small window shown while the game's files are brought up to date, and the
// update itself: the manifests job, the decision step, the files job, then the game's start.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "ImageControls.h"
#include "LayeredWindow.h"
#include "platform/Afx.h"
#include "update/AppConfig.h"
#include "update/Downloader.h"

// The dialog's own rectangle (left, top, width, height): its window region, and the area the
// layered window leaves undrawn.
inline constexpr HoleRect g_rcUpgradeArea{120, 50, 306, 176};

// The bar's position for `completed` of `total` files: single-precision, truncated; 0 for an
// empty job.
int ProgressPosition(int completed, int total);

// The box that tells the player why the update refused what the server offers (one box: trying
// again cannot help); nullptr for Refusal::None. Its caption is kRefusalCaption.
const char* RefusalBoxText(Refusal kind);
inline constexpr const char* kRefusalCaption = "更新失败";

class CUpgradeDlg : public CDialog, public Downloader::ICallback {
  DECLARE_MESSAGE_MAP()

 public:
  explicit CUpgradeDlg(AppConfig& config);
  // A job still running is ended before anything it may use goes.
  ~CUpgradeDlg() override;

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // Keys do nothing here.
  BOOL PreTranslateMessage(MSG* pMsg) override;

  // Begins an update: the manifests job on a worker thread, with a copy of the launch
  // parameters as they are now. Returns at once.
  void StartUpdate();
  // From StartUpdate until the update stopped or the game's start (successful or not) is over.
  bool IsUnderWay() const { return m_bUnderWay; }
  // Downloader::ICallback, on the worker thread.
  void OnProgress() override;
  void OnComplete() override;

  std::unique_ptr<CLayeredWindow> m_pLayeredWindow;
  std::unique_ptr<Gdiplus::Image> m_pBgImage;
  std::unique_ptr<Gdiplus::Image> m_pBarImage;
  CImageProgressCtrl m_progressCtrl;
  Downloader m_Downloader;
  int m_nStep = 0;
  std::string m_VersionsFileName;
  std::string m_GameFilesName;

 protected:
  void OnPaint();
  void OnShowWindow(BOOL bShow, UINT nStatus);
  void OnLButtonDown(UINT nFlags, POINT point);
  void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  void OnBnClickedClose();

 private:
  // The decision step after the manifests job: the files job, the game's start, or a stop.
  void PlanDownloads();
  // The end of a stopped update: the player gets the main dialog back, told first why the
  // update was refused if it was.
  void StopUpdate();
  // The end of the road on the worker: the dialog hides and the game starts. `bChecked`: every
  // file a content check asked for is installed, so the next update need not check again.
  void FinishWithGame(bool bChecked);

  AppConfig& m_config;    // the application's, written by the page on the UI thread
  AppConfig m_jobConfig;  // the running update's copy, which only its worker reads
  std::atomic<bool> m_bUnderWay{false};
};

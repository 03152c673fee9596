// framework-demo: the main dialog's picture, outline, layered edge window and picture buttons,
// with a picture progress bar in the middle that a worker thread moves through posted
// messages. The close button ends it; Escape and Enter do nothing.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "ImageControls.h"
#include "LayeredWindow.h"
#include "PngImage.h"
#include "platform/Afx.h"

namespace {

const POINT kOutline[] = {{157, 75},  {938, 75},  {955, 108}, {940, 141},
                          {938, 592}, {139, 594}, {36, 316}};
const HoleRect kHole{282, 143, 640, 416};
constexpr UINT kProgressId = 2000;

class CDemoDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  CDemoDlg() : CDialog(102) {}
  ~CDemoDlg() override {
    m_stop = true;
    if (m_worker.joinable()) m_worker.join();
    m_pLayeredWindow.reset();
    DestroyWindow();
  }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, 1000, m_btnMin);
    DDX_Control(pDX, 1001, m_btnClose);
    DDX_Control(pDX, 1002, m_btnHome);
    DDX_Control(pDX, 1003, m_btnRecharge);
    DDX_Control(pDX, 1004, m_btnForum);
    DDX_Control(pDX, 1005, m_btnService);
  }

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_pBgImage.reset(LoadPngImage(203));
    const int w = static_cast<int>(m_pBgImage->GetWidth()),
              h = static_cast<int>(m_pBgImage->GetHeight());
    MoveWindow((GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 3, w,
               h);
    SetWindowText("framework demo");
    m_btnClose.SetImages(LoadPngImage(160), LoadPngImage(161), LoadPngImage(159));
    m_btnMin.SetImages(LoadPngImage(177), LoadPngImage(178), LoadPngImage(176));
    m_btnHome.SetImages(LoadPngImage(196), LoadPngImage(195), LoadPngImage(196));
    m_btnRecharge.SetImages(LoadPngImage(194), LoadPngImage(193), LoadPngImage(194));
    m_btnForum.SetImages(LoadPngImage(192), LoadPngImage(191), LoadPngImage(192));
    m_btnService.SetImages(LoadPngImage(198), LoadPngImage(197), LoadPngImage(198));
    // The web page's place shows a progress bar here.
    GetDlgItem(1013)->ShowWindow(SW_HIDE);
    GetDlgItem(1015)->MoveWindow(540, 480, 100, 28);
    m_pBarImage.reset(LoadPngImage(180));
    m_progress.Create(WS_CHILD | WS_VISIBLE, RECT{500, 420, 700, 432}, this, kProgressId);
    m_progress.SetImage(m_pBarImage.get());

    CRgn rgn;
    rgn.CreatePolygonRgn(kOutline, 7, ALTERNATE);
    SetWindowRgn(rgn, FALSE);
    CRgn frame, rect, inner;
    POINT innerPoints[7];
    for (int i = 0; i < 7; ++i) {
      innerPoints[i].x = kOutline[i].x > w / 2 ? kOutline[i].x - 10 : kOutline[i].x + 50;
      innerPoints[i].y = kOutline[i].y > h / 2 ? kOutline[i].y - 10 : kOutline[i].y + 10;
    }
    frame.CreateRectRgn(0, 0, 5, 5);
    rect.CreateRectRgn(0, 0, w, h);
    inner.CreatePolygonRgn(innerPoints, 7, ALTERNATE);
    frame.CombineRgn(&inner, &rect, RGN_XOR);
    m_pLayeredWindow = std::make_unique<CLayeredWindow>();
    m_pLayeredWindow->Create(this, m_pBgImage.get(), kHole.x, kHole.y, kHole.width, kHole.height,
                             &frame);

    // A worker thread moves the bar through posted messages.
    m_worker = std::thread([this] {
      for (int pos = 0; !m_stop; pos = (pos + 1) % 101) {
        ::PostMessage(m_progress.m_hWnd, PBM_SETPOS, pos, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
      }
    });
    return TRUE;
  }

  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN))
      return TRUE;
    return CDialog::PreTranslateMessage(msg);
  }

  void OnPaint() {
    if (m_pLayeredWindow) m_pLayeredWindow->UpdateLayered();
    CPaintDC dc(this);
    if (m_pBgImage) {
      Gdiplus::Graphics graphics(dc);
      const int w = static_cast<int>(m_pBgImage->GetWidth()),
                h = static_cast<int>(m_pBgImage->GetHeight());
      graphics.DrawImage(m_pBgImage.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, w, h,
                         Gdiplus::UnitPixel);
    }
  }
  void OnShowWindow(BOOL show, UINT status) {
    CDialog::OnShowWindow(show, status);
    if (m_pLayeredWindow && m_pLayeredWindow->m_hWnd)
      m_pLayeredWindow->ShowWindow(show ? SW_SHOW : SW_HIDE);
  }
  void OnWindowPosChanged(WINDOWPOS* pos) {
    CDialog::OnWindowPosChanged(pos);
    if (m_pLayeredWindow && m_pLayeredWindow->m_hWnd && pos->cx >= 0 && pos->cy > 0) {
      RECT rc;
      m_pLayeredWindow->GetWindowRect(&rc);
      m_pLayeredWindow->MoveWindow(pos->x, pos->y, rc.right - rc.left, rc.bottom - rc.top, FALSE);
    }
  }
  void OnLButtonDown(UINT flags, POINT point) {
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    CDialog::OnLButtonDown(flags, point);
  }
  void OnClose() {
    CDialog::OnClose();
    PostQuitMessage(0);
  }
  void OnBnClickedClose() { PostMessage(WM_CLOSE); }
  void OnBnClickedMin() { PostMessage(WM_SYSCOMMAND, SC_MINIMIZE); }

 private:
  std::unique_ptr<Gdiplus::Image> m_pBgImage, m_pBarImage;
  std::unique_ptr<CLayeredWindow> m_pLayeredWindow;
  CImageButton m_btnMin, m_btnClose, m_btnHome, m_btnRecharge, m_btnForum, m_btnService;
  CImageProgressCtrl m_progress;
  std::atomic<bool> m_stop{false};
  std::thread m_worker;
};

const MessageMap& CDemoDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CDemoDlg>(
      {
          OnPaintMsg(&CDemoDlg::OnPaint),
          OnShowWindowMsg(&CDemoDlg::OnShowWindow),
          OnWindowPosChangedMsg(&CDemoDlg::OnWindowPosChanged),
          OnLButtonDownMsg(&CDemoDlg::OnLButtonDown),
          OnCloseMsg(&CDemoDlg::OnClose),
          OnCommandId(1001, &CDemoDlg::OnBnClickedClose),
          OnCommandId(1000, &CDemoDlg::OnBnClickedMin),
      },
      &CDialog::GetThisMessageMap);
  return map;
}

// With --backdrop: a screen-sized checked window beneath, standing in for a desktop picture,
// so the window's clear parts show what is beneath them.
class CBackdropWnd : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  void OnPaint() {
    CPaintDC dc(this);
    RECT rc;
    GetClientRect(&rc);
    for (int y = 0; y < rc.bottom; y += 40) {
      for (int x = 0; x < rc.right; x += 40) {
        const bool dark = ((x + y) / 40) % 2;
        dc.FillSolidRect(RECT{x, y, x + 40, y + 40},
                         dark ? RGB(0x4d, 0x6b, 0x3a) : RGB(0x9d, 0xbb, 0x7a));
      }
    }
  }
};

const MessageMap& CBackdropWnd::GetThisMessageMap() {
  static const MessageMap map =
      MessageMap::For<CBackdropWnd>({OnPaintMsg(&CBackdropWnd::OnPaint)}, &CWnd::GetThisMessageMap);
  return map;
}

bool g_backdrop = false;

class CDemoApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    if (g_backdrop) {
      m_backdrop.CreateEx(0, "DemoBackdrop", "", WS_POPUP,
                          RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)},
                          nullptr, 0);
      m_backdrop.ShowWindow(SW_SHOW);
    }
    WNDCLASS wc;
    GetClassInfo(nullptr, "#32770", &wc);
    wc.lpszClassName = "DODuzoDizuzide";
    AfxRegisterClass(&wc);
    m_pDlg = std::make_unique<CDemoDlg>();
    m_pDlg->Create(102);
    m_pMainWnd = m_pDlg.get();
    return TRUE;
  }
  int ExitInstance() override {
    m_pDlg.reset();
    return CWinApp::ExitInstance();
  }

 private:
  CBackdropWnd m_backdrop;
  std::unique_ptr<CDemoDlg> m_pDlg;
};

CDemoApp theApp;

}  // namespace

int main(int argc, char** argv) {
  g_backdrop = argc > 1 && std::string(argv[1]) == "--backdrop";
  return AfxWinMain(argc, argv);
}

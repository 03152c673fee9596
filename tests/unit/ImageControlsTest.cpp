// The picture button's states and the picture progress bar's fill.
#include "HeadlessFixture.h"
#include "ImageControls.h"
#include "TestPictures.h"

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr uint32_t kFace = 0xFFF0F0F0;  // the dialog's own background

Gdiplus::Image* Solid(int w, int h, uint32_t argb) {
  const std::string png = SolidPng(w, h, argb);
  return new Gdiplus::Image(png.data(), png.size());
}

class ButtonDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  ButtonDlg() : CDialog(102) {}
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 1000, m_btnMin); }
  void OnBnClickedMin() { ++clicks; }
  CImageButton m_btnMin;
  int clicks = 0;
};

const MessageMap& ButtonDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<ButtonDlg>(
      {OnCommandId(1000, &ButtonDlg::OnBnClickedMin)}, &CDialog::GetThisMessageMap);
  return map;
}

class ImageButtonTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    WNDCLASS wc;
    GetClassInfo(nullptr, "#32770", &wc);
    wc.lpszClassName = "DODuzoDizuzide";
    AfxRegisterClass(&wc);
    ASSERT_TRUE(m_dlg.Create(102));
    RECT rc;
    m_dlg.m_btnMin.GetWindowRect(&rc);
    m_dlg.ScreenToClient(&rc);
    m_x = rc.left + 5;
    m_y = rc.top + 5;
  }
  // The colour shown in the middle of the button.
  uint32_t Shown() { return m_backend.Pixels(m_dlg.m_hWnd).At(m_x + 5, m_y + 5); }

  ButtonDlg m_dlg;
  int m_x = 0, m_y = 0;
};

TEST_F(ImageButtonTest, SubclassingMakesItOwnerDrawn) {
  EXPECT_EQ(m_dlg.m_btnMin.GetButtonStyle(), static_cast<UINT>(BS_OWNERDRAW));
  EXPECT_TRUE(m_dlg.m_btnMin.GetStyle() & WS_CLIPSIBLINGS);
}

TEST_F(ImageButtonTest, SetImagesSizesTheButtonToTheNormalPicture) {
  RECT before;
  m_dlg.m_btnMin.GetWindowRect(&before);
  EXPECT_FALSE(m_dlg.m_btnMin.SetImages(nullptr, Solid(30, 30, kGreen), Solid(30, 30, kBlue)));
  RECT rc;
  m_dlg.m_btnMin.GetWindowRect(&rc);
  EXPECT_EQ(rc.right - rc.left, before.right - before.left);
  EXPECT_TRUE(m_dlg.m_btnMin.SetImages(Solid(24, 24, kRed), nullptr, nullptr));
  m_dlg.m_btnMin.GetWindowRect(&rc);
  EXPECT_EQ(rc.left, before.left);  // the place stays
  EXPECT_EQ(rc.right - rc.left, 24);
  EXPECT_EQ(rc.bottom - rc.top, 24);
}

TEST_F(ImageButtonTest, ClickGoesThroughHoverPressedHoverAndBackToNormal) {
  ASSERT_TRUE(
      m_dlg.m_btnMin.SetImages(Solid(24, 24, kRed), Solid(24, 24, kGreen), Solid(24, 24, kBlue)));
  const HWND dlg = m_dlg.m_hWnd;
  EXPECT_EQ(Shown(), kRed);
  m_backend.MouseMove(dlg, m_x, m_y);  // tracking armed, hover after 1 ms
  EXPECT_EQ(m_dlg.m_btnMin.GetImageState(), CImageButton::kNormal);
  m_backend.AdvanceClock(1);
  EXPECT_EQ(m_dlg.m_btnMin.GetImageState(), CImageButton::kHover);
  EXPECT_EQ(Shown(), kGreen);
  m_backend.LButtonDown(dlg, m_x, m_y);
  EXPECT_EQ(Shown(), kBlue);
  m_backend.LButtonUp(dlg, m_x, m_y);
  EXPECT_EQ(Shown(), kGreen);
  EXPECT_EQ(m_dlg.clicks, 1);
  m_backend.MouseMove(dlg, 5, 5);  // off the button: leave
  EXPECT_EQ(Shown(), kRed);
  // Leaving disarmed tracking, so the next entry hovers again.
  m_backend.MouseMove(dlg, m_x, m_y);
  m_backend.AdvanceClock(1);
  EXPECT_EQ(Shown(), kGreen);
  m_backend.PointerLeft(dlg);
  EXPECT_EQ(Shown(), kRed);
  EXPECT_EQ(m_dlg.clicks, 1);
}

TEST_F(ImageButtonTest, DisabledButtonDrawsNothingUntilAMouseMessage) {
  ASSERT_TRUE(
      m_dlg.m_btnMin.SetImages(Solid(24, 24, kRed), Solid(24, 24, kGreen), Solid(24, 24, kBlue)));
  m_dlg.m_btnMin.EnableWindow(FALSE);
  EXPECT_EQ(Shown(), kFace);
  EXPECT_EQ(m_dlg.m_btnMin.GetImageState(), CImageButton::kDisabled);
  m_dlg.m_btnMin.EnableWindow(TRUE);
  EXPECT_EQ(Shown(), kFace);  // still the disabled state: no picture
  m_backend.LButtonDown(m_dlg.m_hWnd, m_x, m_y);
  EXPECT_EQ(Shown(), kBlue);
}

// One picture in several slots (a button without a separate hover picture) is freed once.
TEST_F(ImageButtonTest, PictureInTwoSlotsIsFreedOnce) {
  Gdiplus::Image* same = Solid(20, 20, kRed);
  auto button = std::make_unique<CImageButton>();
  button->SetImages(same, same, Solid(20, 20, kBlue));
  button.reset();
  button = std::make_unique<CImageButton>();
  same = Solid(20, 20, kGreen);
  button->SetImages(same, same, same);
  button.reset();
}

TEST(ProgressFillTest, SinglePrecisionFillWithoutTheLowerBound) {
  EXPECT_EQ(ProgressFillWidth(50, 0, 100, 200), 100);
  EXPECT_EQ(ProgressFillWidth(70, 20, 120, 200), 140);  // 70 x 2.0, not 100
  EXPECT_EQ(ProgressFillWidth(0, 0, 100, 200), 0);
  EXPECT_EQ(ProgressFillWidth(100, 0, 100, 200), 200);
  EXPECT_EQ(ProgressFillWidth(1, 0, 3, 200), 66);  // truncated
  EXPECT_EQ(ProgressFillWidth(5, 5, 5, 200), 0);   // empty range
}

class ProgressDlg : public CDialog {
 public:
  ProgressDlg() : CDialog(104) {}
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 1004, m_progressCtrl); }
  CImageProgressCtrl m_progressCtrl;
};

class ImageProgressTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_TRUE(m_dlg.Create(104));
    m_dlg.ShowWindow(SW_SHOW);
    const std::string png = SplitPng(200, 12, kRed, kBlue);
    m_picture = std::make_unique<Gdiplus::Image>(png.data(), png.size());
    m_dlg.m_progressCtrl.SetImage(m_picture.get());
    RECT rc;
    m_dlg.m_progressCtrl.GetWindowRect(&rc);
    m_dlg.ScreenToClient(&rc);
    m_x = rc.left;
    m_y = rc.top;
    m_width = rc.right - rc.left;
  }
  uint32_t At(int x) {
    m_dlg.m_progressCtrl.Invalidate(FALSE);
    return m_backend.Pixels(m_dlg.m_hWnd).At(m_x + x, m_y + 6);
  }

  ProgressDlg m_dlg;
  std::unique_ptr<Gdiplus::Image> m_picture;
  int m_x = 0, m_y = 0, m_width = 0;
};

TEST_F(ImageProgressTest, HalfwayShowsTheWholePictureSqueezedIntoHalfTheBar) {
  EXPECT_EQ(m_width, 200);  // the control took the picture's size
  m_dlg.m_progressCtrl.SetPos(50);
  EXPECT_EQ(m_dlg.m_progressCtrl.SendMessage(PBM_GETPOS), 50);
  EXPECT_EQ(At(10), kRed);
  EXPECT_EQ(At(90), kBlue);  // the picture's right half, squeezed
  EXPECT_EQ(At(100), 0xFF000000u);
  EXPECT_EQ(At(199), 0xFF000000u);
  m_dlg.m_progressCtrl.SetPos(100);
  EXPECT_EQ(At(10), kRed);
  EXPECT_EQ(At(199), kBlue);
}

TEST_F(ImageProgressTest, FillIgnoresTheLowerBoundAndEmptyBarsAreBlack) {
  m_dlg.m_progressCtrl.SetRange(20, 120);
  m_dlg.m_progressCtrl.SetPos(70);
  EXPECT_NE(At(139), 0xFF000000u);
  EXPECT_EQ(At(140), 0xFF000000u);
  m_dlg.m_progressCtrl.SetRange(0, 100);
  m_dlg.m_progressCtrl.SetPos(0);
  EXPECT_EQ(At(0), 0xFF000000u);
  EXPECT_EQ(At(199), 0xFF000000u);
  m_dlg.m_progressCtrl.SetRange(50, 50);  // empty range: black, no picture, no division
  EXPECT_EQ(At(0), 0xFF000000u);
  EXPECT_EQ(At(150), 0xFF000000u);
}

}  // namespace

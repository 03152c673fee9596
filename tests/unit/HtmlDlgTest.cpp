// The web pop-up on the headless backend: its checks, its place on the screen, its page
// filling it, and its page's "close".
#include "HeadlessFixture.h"
#include "HtmlDlg.h"
#include "LauncherSettings.h"
#include "platform/Backend.h"
#include "platform/WindowTable.h"
#include "platform/headless/HeadlessWebView.h"

namespace {

class HtmlDlgTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_TRUE(m_owner.Create(104));
  }
  CWinApp m_app;
  AppConfig m_config;
  CDialog m_owner;
};

TEST_F(HtmlDlgTest, MissingArgumentsAreLoggedAndGiveNoPopUp) {
  EXPECT_EQ(CreateHtmlDlg(400, 300, nullptr, &m_owner, m_config), nullptr);
  EXPECT_EQ(CreateHtmlDlg(400, 300, "http://127.0.0.1/pop.html", nullptr, m_config), nullptr);
  EXPECT_NE(Log().find("HtmlDlg(66) : pszURL \n"), std::string::npos);
  EXPECT_NE(Log().find("HtmlDlg(67) : pParent \n"), std::string::npos);
  EXPECT_EQ(ui::LocalTopLevels().size(), 1u);  // the owner only
}

TEST_F(HtmlDlgTest, PopUpIsPlacedTitledTopmostAndFilledByItsPage) {
  m_backend.primaryMonitor = RECT{0, 0, 1920, 1080};
  std::unique_ptr<CHtmlDlg> dlg(
      CreateHtmlDlg(400, 300, "http://127.0.0.1/pop.html", &m_owner, m_config));
  ASSERT_NE(dlg, nullptr);
  RECT rc;
  dlg->GetWindowRect(&rc);
  EXPECT_EQ(rc.left, 760);
  EXPECT_EQ(rc.top, 260);
  EXPECT_EQ(rc.right - rc.left, 400);
  EXPECT_EQ(rc.bottom - rc.top, 300);
  EXPECT_TRUE(dlg->IsWindowVisible());
  EXPECT_TRUE(ui::FindRecord(dlg->m_hWnd)->topmost);
  EXPECT_EQ(ui::FindRecord(dlg->m_hWnd)->owner, m_owner.m_hWnd);
  EXPECT_EQ(dlg->GetWindowText(), LAUNCHER_GAME_TITLE);
  EXPECT_NE(dlg->m_hIcon, nullptr);
  EXPECT_EQ(ui::FindRecord(dlg->m_hWnd)->iconSmall, dlg->m_hIcon);

  dlg->m_htmlCtrl.GetWindowRect(&rc);
  dlg->ScreenToClient(&rc);
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.top, 0);
  EXPECT_EQ(rc.right, 400);
  EXPECT_EQ(rc.bottom, 300);
  headless::HeadlessWebView* page = headless::HeadlessWebView::Of(dlg->m_htmlCtrl.m_hWnd);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->navigations, std::vector<std::string>{"http://127.0.0.1/pop.html"});
  EXPECT_EQ(page->size.cx, 400);
  EXPECT_EQ(page->size.cy, 300);

  // Odd sizes and small screens: signed, truncating divisions.
  m_backend.primaryMonitor = RECT{0, 0, 301, 200};
  std::unique_ptr<CHtmlDlg> wide(CreateHtmlDlg(400, 250, "about:blank", &m_owner, m_config));
  wide->GetWindowRect(&rc);
  EXPECT_EQ(rc.left, -49);
  EXPECT_EQ(rc.top, -16);
}

// A window manager's frame (title bar, borders) comes out of the requested size: the outer
// rectangle stays the one asked for, the page fills what is inside the frame.
TEST_F(HtmlDlgTest, FramedPopUpKeepsItsOuterSizeAndItsPageFillsTheClientArea) {
  auto client = [](SIZE outer, RECT frame) {
    const SIZE s = ui::ClientSizeOf(outer, frame);
    return std::make_pair(s.cx, s.cy);
  };
  EXPECT_EQ(client({400, 300}, {}), std::make_pair(400, 300));
  EXPECT_EQ(client({400, 300}, {3, 24, 5, 4}), std::make_pair(392, 272));
  EXPECT_EQ(client({6, 20}, {3, 24, 5, 4}), std::make_pair(0, 0));

  m_backend.primaryMonitor = RECT{0, 0, 1920, 1080};
  std::unique_ptr<CHtmlDlg> dlg(
      CreateHtmlDlg(400, 300, "http://127.0.0.1/pop.html", &m_owner, m_config));
  ASSERT_NE(dlg, nullptr);
  ui::NoteFrame(dlg->m_hWnd, RECT{3, 24, 5, 4});
  RECT rc;
  dlg->GetWindowRect(&rc);
  EXPECT_EQ(rc.left, 760);
  EXPECT_EQ(rc.top, 260);
  EXPECT_EQ(rc.right - rc.left, 400);
  EXPECT_EQ(rc.bottom - rc.top, 300);
  dlg->GetClientRect(&rc);
  EXPECT_EQ(rc.right, 392);
  EXPECT_EQ(rc.bottom, 272);
  dlg->m_htmlCtrl.GetWindowRect(&rc);
  EXPECT_EQ(rc.left, 763);
  EXPECT_EQ(rc.top, 284);
  dlg->ScreenToClient(&rc);
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.top, 0);
  const SIZE page = headless::HeadlessWebView::Of(dlg->m_htmlCtrl.m_hWnd)->size;
  EXPECT_EQ(page.cx, 392);
  EXPECT_EQ(page.cy, 272);
}

TEST_F(HtmlDlgTest, ThePagesCloseHidesThePopUpWhichStaysUntilDeleted) {
  std::unique_ptr<CHtmlDlg> dlg(
      CreateHtmlDlg(400, 300, "http://127.0.0.1/pop.html", &m_owner, m_config));
  ASSERT_NE(dlg, nullptr);
  headless::HeadlessWebView* page = headless::HeadlessWebView::Of(dlg->m_htmlCtrl.m_hWnd);
  EXPECT_TRUE(page->RaiseBeforeNavigate("http://127.0.0.1/pop.html?app:close"));
  EXPECT_FALSE(dlg->IsWindowVisible());
  EXPECT_TRUE(IsWindow(dlg->m_hWnd));
  EXPECT_EQ(headless::HeadlessWebView::Of(dlg->m_htmlCtrl.m_hWnd), page);

  const HWND hwnd = dlg->m_hWnd, page_hwnd = dlg->m_htmlCtrl.m_hWnd;
  dlg.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(page_hwnd));
}

}  // namespace

// The main dialog on the headless window system: its place and shape, its layered edges, its
// buttons, and the messages the game sends it.
#include "CopyDataCommand.h"
#include "HtmlDlg.h"
#include "LauncherDlg.h"
#include "LauncherFixture.h"
#include "LauncherSettings.h"
#include "Messages.h"
#include "UpgradeDlg.h"
#include "platform/WindowTable.h"
#include "platform/headless/HeadlessWebView.h"

namespace {

class LauncherDlgTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    m_config.strWorkPath = m_work;
    ASSERT_TRUE(m_dlg.Create(102, nullptr));
    m_dlg.ShowWindow(SW_SHOW);
  }
  RECT Rect(CWnd& wnd) {
    RECT rc;
    wnd.GetWindowRect(&rc);
    return rc;
  }
  LRESULT CopyData(ULONG_PTR kind, std::string payload) {
    COPYDATASTRUCT data{kind, static_cast<DWORD>(payload.size()), payload.data()};
    return m_dlg.SendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }

  CWinApp m_app;
  AppConfig m_config;
  CLauncherDlg m_dlg{m_config};
};

TEST_F(LauncherDlgTest, OpensAThirdDownCutToItsOutlineWithTheServerList) {
  const RECT rc = Rect(m_dlg);
  EXPECT_EQ(rc.left, (1920 - 980) / 2);
  EXPECT_EQ(rc.top, (1080 - 650) / 3);
  EXPECT_EQ(rc.right - rc.left, 980);
  EXPECT_EQ(rc.bottom - rc.top, 650);
  EXPECT_EQ(m_dlg.GetWindowText(), LAUNCHER_GAME_TITLE);

  CRgn shape;
  shape.CreateRectRgn(0, 0, 1, 1);
  ASSERT_EQ(m_dlg.GetWindowRgn(shape), COMPLEXREGION);
  EXPECT_TRUE(shape.PtInRegion(490, 325));
  EXPECT_TRUE(shape.PtInRegion(40, 316));    // the left tip
  EXPECT_FALSE(shape.PtInRegion(100, 100));  // left of the upper left edge
  EXPECT_FALSE(shape.PtInRegion(950, 130));  // beside the right notch
  EXPECT_FALSE(shape.PtInRegion(500, 600));  // below the bottom edge

  // The layered window shows the picture's edges in a frame over the outline's border.
  ASSERT_NE(m_dlg.m_pLayeredWindow, nullptr);
  CRgn frame;
  frame.CreateRectRgn(0, 0, 1, 1);
  ASSERT_NE(m_dlg.m_pLayeredWindow->GetWindowRgn(frame), ERROR);
  EXPECT_TRUE(frame.PtInRegion(5, 5));
  EXPECT_TRUE(frame.PtInRegion(160, 80));    // between the outline and the inner outline
  EXPECT_FALSE(frame.PtInRegion(490, 325));  // inside the inner outline
  EXPECT_TRUE(m_dlg.m_pLayeredWindow->IsWindowVisible());

  RECT web;
  m_dlg.m_htmlCtrl.GetWindowRect(&web);
  m_dlg.ScreenToClient(&web);
  EXPECT_EQ(web.left, 282);
  EXPECT_EQ(web.top, 143);
  EXPECT_EQ(web.right - web.left, 640);
  EXPECT_EQ(web.bottom - web.top, 416);
  const auto* page = headless::HeadlessWebView::Of(m_dlg.m_htmlCtrl.m_hWnd);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->navigations, std::vector<std::string>{m_http.Url() + "/mini/zonelist.html"});
  EXPECT_EQ(Events(), std::vector<std::string>{"event wd_server_list"});
}

// The windows open on the primary monitor wherever the desktop puts it (at the origin as on
// Windows, right of another monitor, below one, before the origin, smaller than the windows):
// the main dialog (980 x 650), the update dialog (442 x 307) and a 400 x 300 pop-up centred
// across it and a third down, a template's DS_CENTER (1200 x 738) centred both ways; each
// division signed and truncating towards zero.
TEST_F(LauncherTest, WindowsOpenOnThePrimaryMonitorWhereverItLies) {
  struct Layout {
    RECT monitor;
    POINT main, update, popUp, centred;
  };
  const Layout layouts[] = {
      {{0, 0, 1920, 1080}, {470, 143}, {739, 257}, {760, 260}, {360, 171}},
      {{1920, 0, 3840, 1080}, {2390, 143}, {2659, 257}, {2680, 260}, {2280, 171}},
      {{0, 1080, 1920, 2160}, {470, 1223}, {739, 1337}, {760, 1340}, {360, 1251}},
      {{-1024, -768, 0, 0}, {-1002, -729}, {-733, -615}, {-712, -612}, {-1112, -753}},
      {{100, 50, 901, 600}, {11, 17}, {279, 131}, {300, 133}, {-99, -44}},
  };
  CWinApp app;
  AppConfig config;
  config.strWorkPath = m_work;
  auto corner = [](CWnd& wnd) {
    RECT rc;
    wnd.GetWindowRect(&rc);
    return std::make_pair(rc.left, rc.top);
  };
  auto at = [](POINT pt) { return std::make_pair(pt.x, pt.y); };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(testing::Message()
                 << "primary monitor at " << layout.monitor.left << "," << layout.monitor.top);
    m_backend.primaryMonitor = layout.monitor;
    CLauncherDlg main(config);
    ASSERT_TRUE(main.Create(102, nullptr));
    EXPECT_EQ(corner(main), at(layout.main));
    CUpgradeDlg update(config);
    ASSERT_TRUE(update.Create(104, nullptr));
    EXPECT_EQ(corner(update), at(layout.update));
    std::unique_ptr<CHtmlDlg> popUp(CreateHtmlDlg(400, 300, "about:blank", &main, config));
    ASSERT_NE(popUp, nullptr);
    EXPECT_EQ(corner(*popUp), at(layout.popUp));
    CDialog centred(102, nullptr);
    ASSERT_TRUE(centred.Create(102, nullptr));
    EXPECT_EQ(corner(centred), at(layout.centred));
  }
}

TEST(InnerOutlineTest, LeftPointsMoveFiftyInwardsTheOthersTen) {
  POINT inner[7];
  InnerOutline(rgnBgPoints, POINT{490, 325}, inner);
  const POINT expected[7] = {{207, 85},  {928, 85},  {945, 118}, {930, 151},
                             {928, 582}, {189, 584}, {86, 326}};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(inner[i].x, expected[i].x) << i;
    EXPECT_EQ(inner[i].y, expected[i].y) << i;
  }
}

TEST_F(LauncherDlgTest, TheLayeredWindowFollowsMovesShowsAndMinimising) {
  CLayeredWindow& layered = *m_dlg.m_pLayeredWindow;
  m_dlg.MoveWindow(10, 20, 980, 650);
  EXPECT_EQ(Rect(layered).left, 10);
  EXPECT_EQ(Rect(layered).top, 20);
  WINDOWPOS flat{m_dlg.m_hWnd, 0, 300, 300, 980, 0, 0};
  m_dlg.SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&flat));
  EXPECT_EQ(Rect(layered).left, 10);

  m_dlg.m_btnMin.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(2, 2));
  m_dlg.m_btnMin.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  m_backend.Pump();
  EXPECT_TRUE(m_dlg.IsIconic());
  EXPECT_FALSE(layered.IsWindowVisible());
  m_dlg.ShowWindow(SW_RESTORE);
  EXPECT_TRUE(layered.IsWindowVisible());

  // A press on a bare part of the dialog drags it; keys end nothing.
  m_backend.LButtonDown(m_dlg.m_hWnd, 100, 316);
  EXPECT_EQ(m_backend.moveDrags, std::vector<HWND>{m_dlg.m_hWnd});
  m_backend.KeyDown(m_dlg.m_hWnd, VK_ESCAPE);
  m_backend.KeyDown(m_dlg.m_hWnd, VK_RETURN);
  EXPECT_TRUE(m_dlg.IsWindowVisible());
}

// A hover repaints the dialog but shows anew only the button, and the layered edges, which
// did not change, are not handed to the display again.
TEST_F(LauncherDlgTest, AHoverShowsOnlyItsButtonAnew) {
  m_backend.Pixels(m_dlg.m_hWnd);
  const int layeredUpdates = m_backend.layeredUpdates;
  ASSERT_GT(layeredUpdates, 0);
  m_backend.redrawAreas.clear();
  m_dlg.m_btnClose.SendMessage(WM_MOUSEHOVER, 0, 0);
  m_backend.Pixels(m_dlg.m_hWnd);
  RECT button = Rect(m_dlg.m_btnClose);
  m_dlg.ScreenToClient(&button);
  ASSERT_EQ(m_backend.redrawAreas.size(), 1u);
  const RECT& area = m_backend.redrawAreas[0];
  EXPECT_EQ(std::vector<LONG>({area.left, area.top, area.right, area.bottom}),
            std::vector<LONG>({button.left, button.top, button.right, button.bottom}));
  EXPECT_EQ(m_backend.layeredUpdates, layeredUpdates);
}

TEST_F(LauncherDlgTest, LinksOpenTheirPagesAndRepairEmptiesTheWorkFolder) {
  for (UINT id : {1002u, 1003u, 1004u, 1005u}) m_dlg.SendMessage(WM_COMMAND, id, 0);
  const std::string site = m_http.Url();
  EXPECT_EQ(m_system.OpenedUrls(),
            (std::vector<std::string>{site + "/home.html", site + "/recharge.html",
                                      site + "/bbs.html", site + "/qa.html"}));

  WriteFile(m_work + "data/a.txt", "a");
  WriteFile(m_work + "data/a.txt.version", "7");
  m_dlg.SendMessage(WM_COMMAND, 1015, 0);
  EXPECT_FALSE(std::filesystem::exists(m_work + "data"));
  EXPECT_TRUE(m_dlg.IsWindowVisible());
}

// Where trees are signed, repair fetches again only what differs from the signed content.
TEST_F(LauncherDlgTest, RepairOfASignedInstallChecksContentInsteadOfDeleting) {
  m_config.strUpdatePublicKey = std::string(64, 'a');
  WriteFile(m_work + "data/a.txt", "a");
  m_dlg.SendMessage(WM_COMMAND, 1015, 0);
  EXPECT_TRUE(std::filesystem::exists(m_work + "data/a.txt"));
  EXPECT_TRUE(m_config.bVerifyContent);
}

TEST_F(LauncherDlgTest, GameNoticesAreLogged) {
  EXPECT_EQ(m_dlg.SendMessage(WM_USER + 1, 0, 0), 0);
  EXPECT_EQ(m_dlg.SendMessage(WM_USER + 2, 0, 0), 0);
  EXPECT_EQ(m_dlg.SendMessage(WM_USER + 3, 0, 0), 0);
  EXPECT_TRUE(LogHas("game init .... \n"));
  EXPECT_TRUE(LogHas("game resize .... \n"));
  EXPECT_TRUE(LogHas("game activate .... \n"));
}

TEST_F(LauncherDlgTest, EachPopUpCommandReplacesThePopUp) {
  EXPECT_EQ(CopyData(1, "480,360,http://127.0.0.1/a.html?x=1,2"), 0);
  ASSERT_NE(m_dlg.m_pHtmlDlg, nullptr);
  const HWND first = m_dlg.m_pHtmlDlg->m_hWnd;
  EXPECT_EQ(Rect(*m_dlg.m_pHtmlDlg).right - Rect(*m_dlg.m_pHtmlDlg).left, 480);
  EXPECT_EQ(headless::HeadlessWebView::Of(m_dlg.m_pHtmlDlg->m_htmlCtrl.m_hWnd)->navigations,
            std::vector<std::string>{"http://127.0.0.1/a.html?x=1,2"});

  CopyData(1, "300,200,http://127.0.0.1/b.html");
  ASSERT_NE(m_dlg.m_pHtmlDlg, nullptr);
  EXPECT_FALSE(IsWindow(first));

  // Kind 2 and other kinds change nothing; a payload of 1024 bytes is refused.
  const HWND second = m_dlg.m_pHtmlDlg->m_hWnd;
  CopyData(2, "300,200,http://127.0.0.1/c.html");
  CopyData(7, "300,200,http://127.0.0.1/c.html");
  CopyData(1, "300,200,http://127.0.0.1/" + std::string(1024 - 25, 'c'));
  EXPECT_EQ(m_dlg.m_pHtmlDlg->m_hWnd, second);
  EXPECT_TRUE(LogHas("copy data command too long 1024 > 1024 on 1 \n"));

  // Without an address or without a size the old pop-up goes and none replaces it.
  CopyData(1, "300,200,");
  EXPECT_EQ(m_dlg.m_pHtmlDlg, nullptr);
  EXPECT_TRUE(LogHas("HtmlDlg(66) : pszURL \n"));
  CopyData(1, "300,200,http://127.0.0.1/d.html");
  CopyData(1, "480");
  EXPECT_EQ(m_dlg.m_pHtmlDlg, nullptr);
  EXPECT_TRUE(LogHas("copy data command without width or height: 480 \n"));
}

TEST_F(LauncherDlgTest, ClosingDestroysThePopUpFirstThenQuits) {
  CopyData(1, "480,360,http://127.0.0.1/a.html");
  const HWND popUp = m_dlg.m_pHtmlDlg->m_hWnd;
  m_dlg.SendMessage(WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(popUp));
  EXPECT_FALSE(m_dlg.IsWindowVisible());
  EXPECT_FALSE(m_backend.Pump());  // WM_QUIT
}

TEST(CopyDataCommandTest, SplitsSizeAndAddressAsTheGameWritesThem) {
  struct Case {
    std::string text;
    bool hasSize;
    int width, height;
    bool hasAddress;
    std::string address;
  } cases[] = {
      {"480,360,http://h/p?a=1,b=2", true, 480, 360, true, "http://h/p?a=1,b=2"},
      {",,480,,360,,x", true, 480, 360, true, ",x"},
      {" -12,+7abc,u", true, -12, 7, true, "u"},
      {"w,h,u", true, 0, 0, true, "u"},
      {"480,360", true, 480, 360, false, ""},
      {"480,360,", true, 480, 360, false, ""},
      {"480", false, 480, 0, false, ""},
      {",,,", false, 0, 0, false, ""},
      {"", false, 0, 0, false, ""},
      {"99999999999,1,u", true, 2147483647, 1, true, "u"},
  };
  for (const Case& c : cases) {
    const PopUpCommand command = SplitPopUpCommand(c.text);
    EXPECT_EQ(command.hasSize, c.hasSize) << c.text;
    EXPECT_EQ(command.width, c.width) << c.text;
    EXPECT_EQ(command.height, c.height) << c.text;
    EXPECT_EQ(command.hasAddress, c.hasAddress) << c.text;
    EXPECT_EQ(command.address, c.address) << c.text;
  }
  EXPECT_EQ(ClampPopUpExtent(100000, 1920), 1920);
  EXPECT_EQ(ClampPopUpExtent(-5, 1920), 0);
  EXPECT_EQ(ClampPopUpExtent(480, 1920), 480);
}

TEST(CopyDataCommandTest, PayloadsAreCutAtAZeroAndRefusedFromTheBuffersSize) {
  std::string text;
  char bytes[] = {'a', 'b', '\0', 'c'};
  EXPECT_TRUE(ReadCopyDataText(COPYDATASTRUCT{1, 4, bytes}, text));
  EXPECT_EQ(text, "ab");
  std::string full(1023, 'x');
  EXPECT_TRUE(ReadCopyDataText(COPYDATASTRUCT{1, 1023, full.data()}, text));
  EXPECT_EQ(text.size(), 1023u);
  std::string over(1024, 'x');
  EXPECT_FALSE(ReadCopyDataText(COPYDATASTRUCT{1, 1024, over.data()}, text));
  EXPECT_TRUE(ReadCopyDataText(COPYDATASTRUCT{1, 0, nullptr}, text));
  EXPECT_EQ(text, "");
}

}  // namespace

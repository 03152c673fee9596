// The web control's request rules on the headless web engine: which navigations are requests,
// what "startgame" and "close" do, and the order of store, post, cancel and go back.
#include <algorithm>
#include <vector>

#include "HeadlessFixture.h"
#include "HtmlCtrl.h"
#include "Messages.h"
#include "StartGameApp.h"
#include "platform/Afx.h"
#include "platform/headless/HeadlessWebView.h"

namespace {

// Template 204 with a web control in place of its static 1019.
class HostDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  explicit HostDlg(AppConfig& config) : m_htmlCtrl(config) {}
  LRESULT OnHtmlClose(WPARAM, LPARAM) {
    ++closes;
    return 0;
  }
  CHtmlCtrl m_htmlCtrl;
  int closes = 0;
};

const MessageMap& HostDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<HostDlg>(
      {OnMessageNumber(WM_HTML_CLOSE, &HostDlg::OnHtmlClose)}, &CDialog::GetThisMessageMap);
  return map;
}

class HtmlCtrlTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_TRUE(m_dlg.Create(204));
    ASSERT_TRUE(m_dlg.m_htmlCtrl.CreateFromStatic(1019, &m_dlg));
    m_page = headless::HeadlessWebView::Of(m_dlg.m_htmlCtrl.m_hWnd);
    ASSERT_NE(m_page, nullptr);
  }

  // The page navigates to `url`; true when the control cancelled it. Messages posted by the
  // request are handled afterwards, as the loop would.
  bool PageGoesTo(const std::string& url) {
    const bool cancelled = m_page->RaiseBeforeNavigate(url);
    m_backend.Pump();
    return cancelled;
  }

  StartGameApp m_app;
  AppConfig m_config;
  HostDlg m_dlg{m_config};
  headless::HeadlessWebView* m_page = nullptr;
};

const char* const kTenArguments =
    "app:startgame|acc|tok|g7|10.0.0.5|8001|http://data/|plat|pf1|TRUE|extra";

TEST_F(HtmlCtrlTest, TakesTheStaticsPlaceAndGivesThePageIsWD) {
  CHtmlCtrl& ctrl = m_dlg.m_htmlCtrl;
  EXPECT_EQ(ctrl.GetStyle(), 0x50000008u);
  EXPECT_EQ(ctrl.GetDlgCtrlID(), 1019u);
  EXPECT_EQ(m_dlg.GetDlgItem(1019), &ctrl);  // the static is gone
  RECT rc;
  ctrl.GetWindowRect(&rc);
  m_dlg.ScreenToClient(&rc);
  const RECT expected = MapDialogRect(RECT{101, 49, 101 + 112, 49 + 69});
  EXPECT_EQ(rc.left, expected.left);
  EXPECT_EQ(rc.top, expected.top);
  EXPECT_EQ(rc.right, expected.right);
  EXPECT_EQ(rc.bottom, expected.bottom);
  EXPECT_EQ(m_page->size.cx, expected.right - expected.left);

  ASSERT_EQ(m_page->settings.external.size(), 1u);
  EXPECT_EQ(m_page->settings.external[0].name, "isWD");
  EXPECT_TRUE(m_page->settings.external[0].value);
  EXPECT_TRUE(m_page->settings.hostFlags & DOCHOSTUIFLAG_NO3DBORDER);

  CHtmlCtrl other(m_config);
  EXPECT_FALSE(other.CreateFromStatic(4711, &m_dlg));
}

TEST_F(HtmlCtrlTest, StartGameStoresPostsCancelsAndGoesBackInThatOrder) {
  int startsAtGoBack = -1;
  std::string accountAtGoBack;
  m_page->onGoBack = [&] {
    accountAtGoBack = m_config.strAccount;
    m_backend.Pump();  // what was posted before GoBack runs now
    startsAtGoBack = m_app.starts;
  };
  EXPECT_TRUE(PageGoesTo(kTenArguments));
  EXPECT_EQ(accountAtGoBack, "acc");
  EXPECT_EQ(startsAtGoBack, 1);
  EXPECT_EQ(m_app.starts, 1);
  EXPECT_EQ(m_page->goBacks, 1);
  EXPECT_EQ(m_config.strToken, "tok");
  EXPECT_EQ(m_config.strGroupId, "g7");
  EXPECT_EQ(m_config.strHost, "10.0.0.5");
  EXPECT_EQ(m_config.strPort, "8001");
  EXPECT_EQ(m_config.strDataHost, "http://data/");
  EXPECT_EQ(m_config.strPlatform, "plat");
  EXPECT_EQ(m_config.strPf, "pf1");
  EXPECT_TRUE(m_config.bNewbie);
  EXPECT_EQ(m_config.strArg, "extra");
}

TEST_F(HtmlCtrlTest, SchemeIgnoresCaseButTheCommandDoesNot) {
  EXPECT_TRUE(PageGoesTo("APP:startgame|a|b|c|d|e|f|g|h"));
  EXPECT_EQ(m_config.strAccount, "a");
  EXPECT_EQ(m_app.starts, 1);

  EXPECT_TRUE(PageGoesTo("app:StartGame|x|b|c|d|e|f|g|h"));
  EXPECT_EQ(m_config.strAccount, "a");
  EXPECT_EQ(m_app.starts, 1);
  EXPECT_EQ(m_page->goBacks, 2);
}

TEST_F(HtmlCtrlTest, ShortStartGameRequestsStoreWhatTheyHaveAndStillStart) {
  const AppConfig defaults;
  EXPECT_TRUE(PageGoesTo("app:startgame"));
  EXPECT_EQ(m_app.starts, 1);
  EXPECT_EQ(m_config.strAccount, defaults.strAccount);
  EXPECT_EQ(m_config.strToken, defaults.strToken);

  EXPECT_TRUE(PageGoesTo("app:startgame|1|2|3|4|5|6|7"));  // seven arguments: nothing stored
  EXPECT_EQ(m_app.starts, 2);
  EXPECT_EQ(m_config.strAccount, defaults.strAccount);

  m_config.bNewbie = true;
  m_config.strArg = "kept";
  EXPECT_TRUE(PageGoesTo("app:startgame|1|2|3|4|5|6|7|"));  // eight, the last one empty
  EXPECT_EQ(m_app.starts, 3);
  EXPECT_EQ(m_config.strAccount, "1");
  EXPECT_EQ(m_config.strPlatform, "7");
  EXPECT_EQ(m_config.strPf, "");
  EXPECT_TRUE(m_config.bNewbie);
  EXPECT_EQ(m_config.strArg, "kept");
}

TEST_F(HtmlCtrlTest, EmptyRequestIsLoggedCancelledAndGoesBack) {
  EXPECT_TRUE(PageGoesTo("app:"));
  EXPECT_TRUE(PageGoesTo("http://127.0.0.1/list.html?app:"));
  EXPECT_EQ(m_page->goBacks, 2);
  EXPECT_EQ(m_app.starts, 0);
  const std::string log = Log();
  const std::string line = "HtmlCtrl(192) : args.size() > 0 \n";
  const size_t first = log.find(line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;

  // "|" alone: two empty fields, an unknown command, nothing logged.
  const size_t before = Log().size();
  EXPECT_TRUE(PageGoesTo("app:|"));
  EXPECT_EQ(Log().size(), before);
  EXPECT_EQ(m_app.starts, 0);
}

TEST_F(HtmlCtrlTest, CloseHidesTheControlAndTellsItsParent) {
  EXPECT_TRUE(PageGoesTo("http://127.0.0.1/pop.html?app:close"));
  EXPECT_FALSE(m_dlg.m_htmlCtrl.GetStyle() & WS_VISIBLE);
  EXPECT_EQ(m_dlg.closes, 1);
  EXPECT_EQ(m_page->goBacks, 1);
}

TEST_F(HtmlCtrlTest, OnlyTheTextAfterTheFirstQuestionMarkIsARequest) {
  // An "app:" address with its own "?" is an ordinary navigation...
  EXPECT_FALSE(PageGoesTo("app:startgame|a?b|c|d|e|f|g|h|i"));
  EXPECT_EQ(m_app.starts, 0);
  EXPECT_EQ(m_page->goBacks, 0);
  // ...unless "app:" follows that "?".
  EXPECT_TRUE(PageGoesTo("app:startgame|a?app:close"));
  EXPECT_EQ(m_app.starts, 0);
  EXPECT_EQ(m_dlg.closes, 1);
  EXPECT_FALSE(PageGoesTo("http://127.0.0.1/list.html?x=app:close"));
}

TEST_F(HtmlCtrlTest, NewWindowsOpenInTheUsersBrowserUnlessTheyAreRequests) {
  EXPECT_TRUE(m_page->RaiseBeforeNavigate("http://127.0.0.1/news.html", "_blank", true));
  EXPECT_TRUE(m_page->RaiseBeforeNavigate("app:startgame", "_blank", true));
  m_backend.Pump();
  EXPECT_EQ(m_system.OpenedUrls(), std::vector<std::string>{"http://127.0.0.1/news.html"});
  EXPECT_EQ(m_app.starts, 1);
}

TEST_F(HtmlCtrlTest, OnlyWebAddressesOpenInTheUsersBrowser) {
  for (const char* url : {"file:///etc/passwd", "mailto:a@b", "javascript:alert(1)",
                          "smb://host/share", "vnd.example:run", "httpx://a", "news.html"})
    EXPECT_TRUE(m_page->RaiseBeforeNavigate(url, "_blank", true)) << url;
  EXPECT_TRUE(m_page->RaiseBeforeNavigate("HTTPS://127.0.0.1/a", "_blank", true));
  EXPECT_TRUE(m_page->RaiseBeforeNavigate("Http://127.0.0.1/b", "_blank", true));
  EXPECT_EQ(m_system.OpenedUrls(),
            (std::vector<std::string>{"HTTPS://127.0.0.1/a", "Http://127.0.0.1/b"}));
  const auto debug = m_system.DebugOutput();
  EXPECT_NE(
      std::find(debug.begin(), debug.end(), "new window mailto:a@b not opened: not a web address"),
      debug.end());
}

TEST_F(HtmlCtrlTest, LoadedPagesAreLoggedAndThePageFollowsTheControl) {
  m_page->RaiseDocumentComplete("http://127.0.0.1/list.html");
  EXPECT_NE(Log().find("load page http://127.0.0.1/list.html completed \n"), std::string::npos);

  m_dlg.m_htmlCtrl.Navigate("http://127.0.0.1/other.html");
  EXPECT_EQ(m_page->navigations, std::vector<std::string>{"http://127.0.0.1/other.html"});
  m_dlg.m_htmlCtrl.MoveWindow(0, 0, 320, 200);
  EXPECT_EQ(m_page->size.cx, 320);
  EXPECT_EQ(m_page->size.cy, 200);

  // Destroying the window releases the engine; the object stays usable.
  m_dlg.m_htmlCtrl.DestroyWindow();
  EXPECT_EQ(headless::HeadlessWebView::Of(m_dlg.m_htmlCtrl.m_hWnd), nullptr);
  m_dlg.m_htmlCtrl.Navigate("http://127.0.0.1/late.html");
  m_dlg.m_htmlCtrl.GoBack();
}

}  // namespace

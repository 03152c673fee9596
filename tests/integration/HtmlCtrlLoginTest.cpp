// The web control's login marker against a recording telemetry endpoint: each navigation to a
// "login?" address posts "wd_select_server" once and goes on.
#include <mutex>

#include "HeadlessFixture.h"
#include "HtmlCtrl.h"
#include "Telemetry.h"
#include "TestHttpServer.h"
#include "platform/Afx.h"
#include "platform/headless/HeadlessWebView.h"

namespace {

class HtmlCtrlLoginTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    m_http.server().Post(R"(/receive/rest/\w+)",
                         [this](const httplib::Request& req, httplib::Response&) {
                           std::lock_guard lock(m_mutex);
                           m_posts.push_back(req.path + " " + req.body);
                         });
    m_http.server().set_keep_alive_max_count(1);  // a kept connection would hold Stop()
    m_http.Start();
    SetTelemetrySite(m_http.Url());
    m_config.strAccount = "A";
    m_config.strPlatform = "P";
    ASSERT_TRUE(m_dlg.Create(204));
    ASSERT_TRUE(m_ctrl.CreateFromStatic(1019, &m_dlg));
  }
  void TearDown() override {
    SetTelemetrySite(m_previousSite);
    HeadlessTest::TearDown();
  }
  std::vector<std::string> Posts() {
    std::lock_guard lock(m_mutex);
    return m_posts;
  }
  bool PageGoesTo(const std::string& url) {
    return headless::HeadlessWebView::Of(m_ctrl.m_hWnd)->RaiseBeforeNavigate(url);
  }

  TestHttpServer m_http;
  std::string m_previousSite = GetTelemetrySite();
  std::mutex m_mutex;
  std::vector<std::string> m_posts;
  CWinApp m_app;
  AppConfig m_config;
  CDialog m_dlg;
  CHtmlCtrl m_ctrl{m_config};
};

TEST_F(HtmlCtrlLoginTest, EachLoginNavigationPostsSelectServerOnceAndGoesOn) {
  const std::string body =
      "/receive/rest/event "
      "{\"appid\":\"5c0e1a9b7d2f48e3a6b1c9d07e2f4a18\",\"what\":\"loginstate\",\"who\":\"A\","
      "\"context\":{\"deviceid\":\"A\",\"channelid\":\"P\",\"state\":\"wd_select_server\"}}";
  EXPECT_FALSE(PageGoesTo(m_http.Url("/game/login?zone=3")));
  EXPECT_EQ(Posts(), std::vector<std::string>{body});
  EXPECT_FALSE(PageGoesTo(m_http.Url("/game/login?zone=3")));
  EXPECT_EQ(Posts(), (std::vector<std::string>{body, body}));

  // The marker is case-sensitive, and requests are never logins.
  EXPECT_FALSE(PageGoesTo(m_http.Url("/game/Login?zone=3")));
  EXPECT_TRUE(PageGoesTo(m_http.Url("/game/login?app:close")));
  EXPECT_EQ(Posts().size(), 2u);
}

}  // namespace

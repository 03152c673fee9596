// The web control and the web pop-up with real WebKitGTK under Xvfb, against pages served on
// loopback: window.external.isWD, "app:" requests written with every printable character and
// Chinese text (from the page and from a frame), "close", the login marker, loaded pages, the
// pop-up's place, and a look at the main window with its page.
#include <gtest/gtest.h>
#include <cstdlib>

#include <algorithm>
#include <mutex>

#include "HtmlCtrl.h"
#include "HtmlDlg.h"
#include "LauncherSettings.h"
#include "Messages.h"
#include "StartGameApp.h"
#include "Telemetry.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "XvfbEnvironment.h"
#include "platform/Afx.h"
#include "platform/WindowTable.h"
#include "platform/gtk/EngineAddress.h"
#include "platform/headless/FakeSystem.h"
#include "update/Log.h"

// GLib's TRUE and FALSE and Xlib's None, Status, ... are macros: these headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gtk/gtk.h>

namespace {

// The engine keeps caches and website data under the user's home and XDG folders: this run's
// go into a folder of its own, set before the toolkit starts (environments set up in the order
// they were added, and this one is added before main runs).
class EngineHomeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    m_home = std::make_unique<TempDir>();
    setenv("HOME", m_home->path().c_str(), 1);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
      setenv(name, (*m_home / name).c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
  }
  void TearDown() override { m_home.reset(); }

 private:
  std::unique_ptr<TempDir> m_home;
};
::testing::Environment* const g_engineHome =
    ::testing::AddGlobalTestEnvironment(new EngineHomeEnvironment);

// Every printable ASCII character up to "{" but "?" (which ends an address's path) ...
std::string PrintableUpToBrace() {
  std::string text;
  for (char c = ' '; c <= '{'; ++c)
    if (c != '?') text += c;
  return text;
}
// ... then "|" separates the fields and "}~" follow in the next one: all of them are in the
// address. The same text built by page script:
const char* const kScriptFields =
    "var a='';for(var c=32;c<=123;c++)if(c!=63)a+=String.fromCharCode(c);"
    "var fields='startgame|'+a+'|}~|\\u4e2d\\u6587|10.0.0.5|8001|http://127.0.0.1/data/|"
    "plat|pf|TRUE|\\u672b x';";
const char* const kChinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const char* const kLast = "\xE6\x9C\xAB x";               // 末 x

// The main dialog's template with the web control where the server list goes.
class MainDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  explicit MainDlg(AppConfig& config) : m_htmlCtrl(config) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_htmlCtrl.CreateFromStatic(1013, this);
    m_htmlCtrl.MoveWindow(282, 143, 640, 416, FALSE);
    return TRUE;
  }
  LRESULT OnHtmlClose(WPARAM, LPARAM) {
    ++closes;
    return 0;
  }
  CHtmlCtrl m_htmlCtrl;
  int closes = 0;
};

const MessageMap& MainDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<MainDlg>(
      {OnMessageNumber(WM_HTML_CLOSE, &MainDlg::OnHtmlClose)}, &CDialog::GetThisMessageMap);
  return map;
}

class WebPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogFile(m_dir / "log.txt");
    Serve("/list.html",
          "<body style='margin:0;background:#1e6b3a;color:#fff'><h1>Servers</h1><script>"
          "fetch('/report?isWD='+window.external.isWD+'&type='+typeof window.external.isWD);"
          "</script></body>");
    // The page asks to start the game, then shows that it is still there.
    Serve("/start.html", std::string("<body><script>") + kScriptFields +
                             "setTimeout(function(){location.href='app:'+fields;},100);"
                             "setTimeout(function(){fetch('/still-here');},600);"
                             "</script></body>");
    Serve("/frame.html", "<body><iframe src='/inner.html'></iframe></body>");
    Serve("/inner.html", std::string("<body><script>") + kScriptFields +
                             "fetch('/report?frameIsWD='+window.external.isWD);"
                             "setTimeout(function(){location.href="
                             "location.origin+'/list.html?app:'+fields;},100);"
                             "setTimeout(function(){fetch('/still-here');},600);"
                             "</script></body>");
    Serve("/closing.html",
          "<body><script>setTimeout(function(){location.href='/closing.html?app:close';},100);"
          "</script></body>");
    Serve("/zone.html",
          "<body><script>setTimeout(function(){location.href='/login?zone=3';},100);"
          "</script></body>");
    Serve("/login", "<body>logged in</body>");
    Serve("/pop.html",
          "<body style='margin:0'><script>"
          "fetch('/report?size='+window.innerWidth+'x'+window.innerHeight);</script></body>");
    Serve("/pop-close.html",
          "<body><script>setTimeout(function(){location.href='app:close';},300);</script></body>");
    // The first page opens the second once; the second sends an unknown request, which the
    // control cancels before going back to the first.
    Serve("/first.html",
          "<body><script>addEventListener('pageshow',function(){fetch('/shown-first');});"
          "if(!sessionStorage.went){sessionStorage.went=1;"
          "setTimeout(function(){location.href='/second.html';},100);}</script></body>");
    Serve("/second.html",
          "<body><script>setTimeout(function(){location.href='app:nothing';},100);"
          "</script></body>");
    Serve("/links.html",
          "<body style='margin:0'>"
          "<a href='/news.html' target='_blank' style='position:fixed;left:0;top:0;"
          "width:50%;height:100%;background:#00f'>news</a>"
          "<div onclick=\"window.open('/shop.html')\" style='position:fixed;left:50%;top:0;"
          "width:50%;height:100%;background:#f00'>shop</div>"
          "<script>fetch('/report?links=1');</script></body>");
    m_http.server().Post(R"(/receive/rest/\w+)",
                         [this](const httplib::Request& req, httplib::Response&) {
                           std::lock_guard lock(m_mutex);
                           m_telemetry.push_back(req.body);
                         });
    // Kept and pre-opened connections (the engine opens one when a link is pressed) would
    // hold Stop() for the whole keep-alive time.
    m_http.server().set_keep_alive_max_count(1);
    m_http.server().set_keep_alive_timeout(1);
    m_http.Start();
    SetTelemetrySite(m_http.Url());
  }
  void TearDown() override {
    SetTelemetrySite(m_previousSite);
    SetLogFile("");
  }

  void Serve(const std::string& path, const std::string& body) {
    m_http.server().Get(path, [body](const httplib::Request&, httplib::Response& res) {
      res.set_content("<!DOCTYPE html><html><head><meta charset='utf-8'></head>" + body + "</html>",
                      "text/html; charset=utf-8");
    });
  }
  // Whether a request for `path` (and `query`, when given) has reached the server.
  bool Requested(const std::string& path, const std::string& query = "") {
    for (const auto& r : m_http.Requests()) {
      if (r.path == path && (query.empty() || r.query == query)) return true;
    }
    return false;
  }
  std::string Log() { return ReadFile(m_dir / "log.txt"); }
  std::vector<std::string> Telemetry() {
    std::lock_guard lock(m_mutex);
    return m_telemetry;
  }
  // Shows the main dialog with `path` in its web control.
  void ShowMain(const std::string& path) {
    ASSERT_TRUE(m_main.Create(102));
    m_main.m_htmlCtrl.Navigate(m_http.Url(path).c_str());
  }

  void ExpectFieldsStored() {
    EXPECT_EQ(m_config.strAccount, PrintableUpToBrace());
    EXPECT_EQ(m_config.strToken, "}~");
    EXPECT_EQ(m_config.strGroupId, kChinese);
    EXPECT_EQ(m_config.strHost, "10.0.0.5");
    EXPECT_EQ(m_config.strPort, "8001");
    EXPECT_EQ(m_config.strDataHost, "http://127.0.0.1/data/");
    EXPECT_EQ(m_config.strPlatform, "plat");
    EXPECT_EQ(m_config.strPf, "pf");
    EXPECT_TRUE(m_config.bNewbie);
    EXPECT_EQ(m_config.strArg, kLast);
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  std::string m_previousSite = GetTelemetrySite();
  std::mutex m_mutex;
  std::vector<std::string> m_telemetry;
  StartGameApp m_app;
  AppConfig m_config;
  MainDlg m_main{m_config};
};

TEST_F(WebPageTest, PageSeesIsWDAndItsLoadIsLogged) {
  ShowMain("/list.html");
  ASSERT_TRUE(RunLoopUntil([&] { return Requested("/report"); }, 15000));
  EXPECT_TRUE(Requested("/report", "isWD=true&type=boolean"));
  const std::string line = "load page " + m_http.Url("/list.html") + " completed \n";
  EXPECT_TRUE(RunLoopUntil([&] { return Log().find(line) != std::string::npos; })) << Log();
  // The page above loaded inside the engine's sandbox wherever bubblewrap can start.
  const bool bwrap = std::system(
                         "bwrap --unshare-all --die-with-parent --ro-bind / / --dev /dev "
                         "--proc /proc true >/dev/null 2>&1") == 0;
  EXPECT_NE(Log().find(bwrap ? "web pages run in the engine's sandbox \n"
                             : "web pages run without the engine's sandbox: bubblewrap cannot "
                               "start here \n"),
            std::string::npos)
      << Log();
}

TEST_F(WebPageTest, StartGameFieldsArriveByteForByteAndThePageStays) {
  ShowMain("/start.html");
  ASSERT_TRUE(RunLoopUntil([&] { return m_app.starts > 0 && Requested("/still-here"); }, 15000));
  EXPECT_EQ(m_app.starts, 1);
  ExpectFieldsStored();
  EXPECT_TRUE(m_main.m_htmlCtrl.IsWindowVisible());
  EXPECT_EQ(Log().find("load page app:"), std::string::npos);
}

TEST_F(WebPageTest, StartGameFromAFrameInsideAnHttpQuery) {
  ShowMain("/frame.html");
  ASSERT_TRUE(RunLoopUntil([&] { return m_app.starts > 0 && Requested("/still-here"); }, 15000));
  EXPECT_TRUE(Requested("/report", "frameIsWD=true"));
  EXPECT_FALSE(Requested("/list.html"));  // the frame did not go there
  EXPECT_EQ(m_app.starts, 1);
  ExpectFieldsStored();
}

int Count(const std::vector<TestHttpServer::Recorded>& requests, const std::string& path) {
  return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                        [&](const auto& r) { return r.path == path; }));
}

TEST_F(WebPageTest, RequestTakesThePageBackToThePreviousOne) {
  ShowMain("/first.html");
  ASSERT_TRUE(RunLoopUntil([&] { return Count(m_http.Requests(), "/shown-first") == 2; }, 15000));
  EXPECT_TRUE(Requested("/second.html"));
  const std::string first = "load page " + m_http.Url("/first.html") + " completed";
  EXPECT_TRUE(RunLoopUntil([&] {
    const std::string log = Log();
    return log.find(first) != log.rfind(first);
  })) << Log();
}

TEST_F(WebPageTest, NewWindowsOpenInTheUsersBrowser) {
  ShowMain("/links.html");
  ASSERT_TRUE(RunLoopUntil([&] { return Requested("/report", "links=1"); }, 15000));
  RECT rc;
  m_main.m_htmlCtrl.GetWindowRect(&rc);
  const int y = (rc.top + rc.bottom) / 2;
  auto click = [&](int x) {
    return RunWhileLooping("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                           " click 1");
  };
  ASSERT_EQ(click(rc.left + 100), 0);
  ASSERT_TRUE(RunLoopUntil([&] { return m_system.OpenedUrls().size() == 1; }));
  ASSERT_EQ(click(rc.right - 100), 0);
  ASSERT_TRUE(RunLoopUntil([&] { return m_system.OpenedUrls().size() == 2; }));
  EXPECT_EQ(m_system.OpenedUrls(),
            (std::vector<std::string>{m_http.Url("/news.html"), m_http.Url("/shop.html")}));
  EXPECT_FALSE(Requested("/news.html"));
  EXPECT_FALSE(Requested("/shop.html"));
}

TEST_F(WebPageTest, CloseRequestHidesTheControlAndTellsTheDialog) {
  ShowMain("/closing.html");
  ASSERT_TRUE(RunLoopUntil([&] { return m_main.closes > 0; }, 15000));
  EXPECT_FALSE(m_main.m_htmlCtrl.IsWindowVisible());
  auto* widget = static_cast<GtkWidget*>(ui::FindRecord(m_main.m_htmlCtrl.m_hWnd)->hostedWidget);
  ASSERT_NE(widget, nullptr);
  EXPECT_FALSE(gtk_widget_get_visible(widget));
  EXPECT_EQ(m_main.closes, 1);
}

TEST_F(WebPageTest, LoginPagePostsSelectServerAndLoads) {
  m_config.strAccount = "A";
  m_config.strPlatform = "P";
  ShowMain("/zone.html");
  ASSERT_TRUE(RunLoopUntil([&] { return Requested("/login"); }, 15000));
  EXPECT_EQ(Telemetry(),
            std::vector<std::string>{"{\"appid\":\"5c0e1a9b7d2f48e3a6b1c9d07e2f4a18\",\"what\":"
                                     "\"loginstate\",\"who\":\"A\",\"context\":{\"deviceid\":\"A\","
                                     "\"channelid\":\"P\",\"state\":\"wd_select_server\"}}"});
  const std::string line = "load page " + m_http.Url("/login?zone=3") + " completed";
  EXPECT_TRUE(RunLoopUntil([&] { return Log().find(line) != std::string::npos; })) << Log();
}

bool IsOnScreen(HWND hwnd) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(TestDisplay(), hwnd, &attributes) &&
         attributes.map_state == IsViewable;
}

// An X property of `hwnd` as text (UTF8_STRING) or as a list of atom names (ATOM).
std::vector<long> Cardinals(HWND hwnd, const char* name) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::vector<long> values;
  const Atom atom = XInternAtom(TestDisplay(), name, False);
  if (XGetWindowProperty(TestDisplay(), hwnd, atom, 0, 64, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32) {
    values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
  }
  if (data) XFree(data);
  return values;
}

std::string Property(HWND hwnd, const char* name) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string value;
  if (XGetWindowProperty(TestDisplay(), hwnd, XInternAtom(TestDisplay(), name, False), 0, 1024,
                         False, AnyPropertyType, &type, &format, &count, &after,
                         &data) != Success ||
      !data) {
    return value;
  }
  if (type == XA_ATOM) {
    for (unsigned long i = 0; i < count; ++i) {
      char* atom = XGetAtomName(TestDisplay(), reinterpret_cast<Atom*>(data)[i]);
      value += std::string(atom) + " ";
      XFree(atom);
    }
  } else {
    value.assign(reinterpret_cast<char*>(data), count);
  }
  XFree(data);
  return value;
}

TEST_F(WebPageTest, PopUpIsCentredAcrossOnTopTitledAndFilledByItsPage) {
  ASSERT_TRUE(m_main.Create(102));
  std::unique_ptr<CHtmlDlg> pop(
      CreateHtmlDlg(400, 300, m_http.Url("/pop.html").c_str(), &m_main, m_config));
  ASSERT_NE(pop, nullptr);
  ASSERT_TRUE(RunLoopUntil([&] { return Requested("/report"); }, 15000));
  EXPECT_TRUE(Requested("/report", "size=400x300"));

  const SIZE screen{DisplayWidth(TestDisplay(), 0), DisplayHeight(TestDisplay(), 0)};
  ASSERT_TRUE(RunLoopUntil([&] { return IsOnScreen(pop->m_hWnd); }));
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(TestDisplay(), pop->m_hWnd, DefaultRootWindow(TestDisplay()), 0, 0, &x, &y,
                        &child);
  XWindowAttributes attributes;
  XGetWindowAttributes(TestDisplay(), pop->m_hWnd, &attributes);
  EXPECT_EQ(x, (screen.cx - 400) / 2);
  EXPECT_EQ(y, (screen.cy - 300) / 3);
  EXPECT_EQ(attributes.width, 400);
  EXPECT_EQ(attributes.height, 300);
  EXPECT_EQ(Property(pop->m_hWnd, "_NET_WM_NAME"), LAUNCHER_GAME_TITLE);
  EXPECT_NE(Property(pop->m_hWnd, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE"), std::string::npos);

  // A fixed size, no maximise, and it takes the foreground.
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(TestDisplay(), pop->m_hWnd, &hints, &supplied));
  ASSERT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize));
  EXPECT_EQ(hints.min_width, 400);
  EXPECT_EQ(hints.max_width, 400);
  EXPECT_EQ(hints.min_height, 300);
  EXPECT_EQ(hints.max_height, 300);
  const std::vector<long> motif = Cardinals(pop->m_hWnd, "_MOTIF_WM_HINTS");
  ASSERT_GE(motif.size(), 2u);
  EXPECT_TRUE(motif[0] & 1) << "functions given";
  EXPECT_FALSE(motif[1] & (1 << 4)) << "no maximise";
  EXPECT_TRUE(motif[1] & (1 << 2)) << "moves";
  EXPECT_TRUE(RunLoopUntil([&] {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(TestDisplay(), &focus, &revert);
    return focus == pop->m_hWnd;
  }));
}

TEST_F(WebPageTest, PopUpHiddenByItsPageIsReplacedByTheNextOne) {
  ASSERT_TRUE(m_main.Create(102));
  std::unique_ptr<CHtmlDlg> pop(
      CreateHtmlDlg(400, 300, m_http.Url("/pop-close.html").c_str(), &m_main, m_config));
  ASSERT_NE(pop, nullptr);
  const HWND first = pop->m_hWnd;
  ASSERT_TRUE(RunLoopUntil([&] { return IsOnScreen(first); }, 15000));
  ASSERT_TRUE(RunLoopUntil([&] { return !IsOnScreen(first); }, 15000));
  EXPECT_TRUE(IsWindow(first));  // hidden, not destroyed

  // The next request replaces it: the first goes before the second comes.
  pop.reset();
  EXPECT_TRUE(RunLoopUntil([&] { return !IsWindow(first); }));
  pop.reset(CreateHtmlDlg(320, 240, m_http.Url("/pop.html").c_str(), &m_main, m_config));
  ASSERT_TRUE(RunLoopUntil([&] { return Requested("/report", "size=320x240"); }, 15000));
  EXPECT_TRUE(IsOnScreen(pop->m_hWnd));
}

// The main window with the server list in it. WEB_E2E_SCREENSHOT names a file to keep the
// screen in (for people); the test itself looks at the pixels.
TEST_F(WebPageTest, MainWindowShowsItsPageInTheWebArea) {
  ShowMain("/list.html");
  ASSERT_TRUE(RunLoopUntil([&] { return Requested("/report"); }, 15000));
  RECT rc;
  m_main.m_htmlCtrl.GetWindowRect(&rc);
  EXPECT_EQ(rc.right - rc.left, 640);
  EXPECT_EQ(rc.bottom - rc.top, 416);
  const int cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
  EXPECT_TRUE(RunLoopUntil([&] { return ScreenPixel(cx, cy) == 0x1e6b3a; }, 10000))
      << std::hex << ScreenPixel(cx, cy);
  if (const char* keep = std::getenv("WEB_E2E_SCREENSHOT")) {
    EXPECT_EQ(RunWhileLooping(std::string("import -window root '") + keep + "'"), 0);
  }
}

}  // namespace

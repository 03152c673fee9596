// The application object on the headless window system: start-up in its two branches, the
// start road from the page's request to the game's launch, the game-window watch and exit.
#include "Launcher.h"
#include "LauncherDlg.h"
#include "LauncherFixture.h"
#include "Messages.h"
#include "UpgradeDlg.h"
#include "Watchdog.h"
#include "platform/WindowTable.h"
#include "platform/headless/HeadlessWebView.h"
#include "update/Signature.h"
#include "update/SignedTree.h"

namespace {

class LauncherAppTest : public LauncherTest {
 protected:
  void TearDown() override {
    m_app.ExitInstance();
    LauncherTest::TearDown();
  }
  // A game build whose one file "data/a.txt" is at version 7.
  void PublishTree() {
    WriteFile(m_dir / "tree/versions.txt",
              "name\tversion\textra\nclientVersion\t31\t0\n"
              "data/a.txt\t7\t0\n");
    WriteFile(m_dir / "tree/standalone/launcher/gamefiles.txt", "data/a.txt\n");
    WriteFile(m_dir / "tree/data/a.txt.7", "content 7");
  }
  // Signs the tree of PublishTree with `key`: "data/a.txt" at 7 holds "content 7".
  void SignTree(const KeyPair& key) {
    ContentList list;
    list.sequence = 1;
    list.files["data/a.txt"] = {7, HashBytes("content 7")};
    for (const char* manifest : {kVersionsManifest, kGameFilesManifest}) {
      list.manifests[manifest] = HashBytes(ReadFile(m_dir / "tree/" + manifest));
    }
    std::string signature;
    ASSERT_TRUE(SignMessage(FormatContentList(list), key.secretKey, signature));
    WriteFile(m_dir / "tree/contentlist.txt", FormatContentList(list));
    WriteFile(m_dir / "tree/contentlist.sig", signature);
  }
  // What the page's "startgame" leaves in the launch parameters.
  void PickServer(bool newbie) {
    m_app.m_config.strHost = "10.1.1.1";
    m_app.m_config.strPort = "9000";
    m_app.m_config.strGroupId = "12";
    m_app.m_config.strDataHost = m_http.Url() + "/";
    m_app.m_config.bNewbie = newbie;
    PostThreadMessage(m_app.m_nThreadID, WM_LAUNCHER_STARTGAME, 0, 0);
  }

  CLauncherApp m_app;
};

TEST_F(LauncherAppTest, DevStartShowsTheMainDialogAndReportsOnce) {
  m_system.moduleFileName = m_dir / "Downloads/Launcher.exe";  // no relocation in dev mode
  m_system.commandLineArgs = {"dev=1"};
  ASSERT_TRUE(m_app.InitInstance());
  EXPECT_TRUE(LogHas(std::string(100, '-') + " \n"));
  EXPECT_TRUE(LogHas("Launcher start ..." + m_system.moduleFileName + " \n"));
  EXPECT_TRUE(m_system.Starts().empty());
  ASSERT_NE(g_pLauncherDlg, nullptr);
  EXPECT_EQ(m_app.m_pMainWnd, g_pLauncherDlg);
  EXPECT_TRUE(g_pLauncherDlg->IsWindowVisible());
  EXPECT_TRUE(ui::IsDialogClass("doduzodizuzide"));
  m_backend.AdvanceClock(1000);
  m_backend.AdvanceClock(3000);
  EXPECT_EQ(Events(),
            (std::vector<std::string>{"event wd_start", "event wd_server_list", "startup"}));
  m_app.ExitInstance();
  EXPECT_EQ(g_pLauncherDlg, nullptr);
  EXPECT_TRUE(LogHas("Exit ... \n\n\n \n"));
}

TEST_F(LauncherAppTest, StartOutsideTheWorkFolderHandsOverAndShowsNothing) {
  m_system.moduleFileName = LAUNCHER_EXE;
  EXPECT_FALSE(m_app.InitInstance());
  ASSERT_EQ(m_system.Starts().size(), 1u);
  EXPECT_EQ(m_system.Starts()[0].file, m_work + "Launcher.exe");
  EXPECT_EQ(m_system.Starts()[0].params, "-killpid 4242");
  EXPECT_EQ(g_pLauncherDlg, nullptr);
  EXPECT_TRUE(Events().empty());
  m_app.ExitInstance();
  EXPECT_FALSE(LogHas("Exit ..."));
}

TEST_F(LauncherAppTest, StartRoadUpdatesHidesTheLauncherAndStartsTheGame) {
  PublishTree();
  WriteFile(m_work + "Cached/versions.txt", "old list");
  ASSERT_TRUE(m_app.InitInstance());
  const HWND hMainDlg = g_pLauncherDlg->m_hWnd;
  PickServer(true);
  ASSERT_TRUE(PumpUntil([&] { return !m_system.Starts().empty(); }));

  ASSERT_NE(g_pUpgradeDlg, nullptr);
  EXPECT_EQ(m_app.m_pMainWnd, g_pUpgradeDlg);
  EXPECT_FALSE(g_pLauncherDlg->IsWindowVisible());
  ASSERT_TRUE(PumpUntil([&] { return !g_pUpgradeDlg->IsWindowVisible(); }));
  EXPECT_EQ(ReadFile(m_work + "data/a.txt"), "content 7");
  EXPECT_FALSE(std::filesystem::exists(m_work + "Cached/versions.txt"));
  EXPECT_EQ(g_pUpgradeDlg->m_progressCtrl.GetPos(), 100);

  const sys::FakeSystem::StartCall start = m_system.Starts().back();
  EXPECT_EQ(start.file, "orca.exe");
  EXPECT_EQ(start.workDir, m_work);
  EXPECT_EQ(start.params.rfind("-host 10.1.1.1 -port 9000 -datahost " + m_http.Url() +
                                   "/ -launcher 2 -hwnd " + std::to_string(hMainDlg) +
                                   " -newbie 1 -clientVersion 31 ",
                               0),
            0u)
      << start.params;
  EXPECT_TRUE(LogHas("click start game 12 \n"));
  EXPECT_TRUE(LogHas("set client version 31 \n"));
  EXPECT_TRUE(LogHas("start orca.exe ...  \n"));
  EXPECT_EQ(Events(),
            (std::vector<std::string>{"event wd_start", "event wd_server_list",
                                      "event wd_download_game", "install", "event wd_start_game"}));
}

// A tree listing the file "data" and the file "data/a.txt" cannot be installed whole: one would
// be put in place and the other fail every attempt, box after box. The update stops at the plan
// with its reason in the log, before anything is downloaded, and the game is not started; the
// player gets the main dialog back.
TEST_F(LauncherAppTest, TreeWithAFileAndAFolderOfOneNameStopsBeforeDownloadingAnything) {
  PublishTree();
  WriteFile(m_dir / "tree/versions.txt",
            "name\tversion\textra\nclientVersion\t31\t0\ndata\t1\t0\ndata/a.txt\t7\t0\n");
  WriteFile(m_dir / "tree/standalone/launcher/gamefiles.txt", "data\ndata/a.txt\n");
  WriteFile(m_dir / "tree/data.1", "a file called data");
  ASSERT_TRUE(m_app.InitInstance());
  PickServer(false);
  ASSERT_TRUE(PumpUntil([&] { return LogHas("update stopped") || !m_system.Starts().empty(); }));
  EXPECT_TRUE(LogHas("file data/a.txt would need a folder where data has a file, update stopped"));
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_TRUE(m_system.MessageBoxes().empty());
  EXPECT_EQ(m_http.RequestCount("/data.1"), 0u);
  EXPECT_FALSE(std::filesystem::exists(m_work + "data"));
  ASSERT_TRUE(PumpUntil([&] { return g_pLauncherDlg->IsWindowVisible(); }));
  EXPECT_FALSE(g_pUpgradeDlg->IsWindowVisible());
  EXPECT_EQ(m_app.m_pMainWnd, g_pLauncherDlg);
  EXPECT_TRUE(LogHas("update stopped, open main dialog \n"));
}

// The page may ask again while an update runs (a script, a second click, a request from inside
// one of the update's boxes, whose nested loop runs the queue). Such a request is ignored: it
// would restart the update and hide its dialog, or join the worker that waits for the box. The
// update goes on with the parameters it started with, even though the page has changed them.
TEST_F(LauncherAppTest, RequestsDuringAnUpdateAreIgnoredAndItKeepsItsParameters) {
  Watchdog watchdog("a start request inside a worker's box", std::chrono::seconds(60));
  ASSERT_TRUE(m_app.InitInstance());
  m_system.onMessageBox = [&](const auto&) {
    ui::RunOnUiThread([&] {  // the box's nested loop
      PostThreadMessage(m_app.m_nThreadID, WM_LAUNCHER_STARTGAME, 0, 0);
      ui::DispatchPending();
    });
  };
  PickServer(false);  // no tree yet: the manifests fail, three boxes, the update stops
  ASSERT_TRUE(PumpUntil([&] { return LogHas("update stopped, open main dialog"); }));
  ASSERT_TRUE(PumpUntil([&] { return g_pLauncherDlg->IsWindowVisible(); }));
  EXPECT_EQ(m_system.MessageBoxes().size(), 3u);
  EXPECT_TRUE(LogHas("start game ignored: an update or a game start is under way \n"));
  EXPECT_TRUE(m_system.Starts().empty());

  m_system.onMessageBox = nullptr;
  m_system.EndProcess(m_system.processId + 1);  // no window to wait for
  PublishTree();
  PickServer(false);
  m_backend.Pump();
  m_app.m_config.strHost = "10.9.9.9";  // the page, while the update runs
  PostThreadMessage(m_app.m_nThreadID, WM_LAUNCHER_STARTGAME, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !m_system.Starts().empty(); }));
  EXPECT_NE(m_system.Starts()[0].params.find("-host 10.1.1.1 "), std::string::npos)
      << m_system.Starts()[0].params;
  EXPECT_EQ(m_system.Starts().size(), 1u);
}

// A launcher with a public key: the tree's signed content list comes with the manifests, and
// the repair button's content check puts back a file changed on disk before the game starts.
TEST_F(LauncherAppTest, RepairOfASignedInstallFetchesTheChangedFileAgain) {
  PublishTree();
  KeyPair key;
  ASSERT_TRUE(MakeKeyPair(key));
  SignTree(key);
  WriteFile(m_work + "data/a.txt", "changed on disk");
  WriteFile(m_work + "data/a.txt.version", "7");

  ASSERT_TRUE(m_app.InitInstance());
  m_app.m_config.strUpdatePublicKey = key.publicKey;
  g_pLauncherDlg->SendMessage(WM_COMMAND, 1015, 0);
  PickServer(false);
  ASSERT_TRUE(PumpUntil([&] { return !m_system.Starts().empty(); }));
  EXPECT_EQ(ReadFile(m_work + "data/a.txt"), "content 7");
  EXPECT_TRUE(LogHas("content check: " + m_work + "data/a.txt has 15 bytes, not 9 \n"));
  EXPECT_FALSE(m_app.m_config.bVerifyContent);
}

// A launcher with a key refuses a tree that signs nothing at the plan (one request for its
// list, no retries), and a signed tree's swapped payload at its first download: each time one
// box says why, the game is not started and the player gets the main dialog back.
TEST_F(LauncherAppTest, RefusedTreesShowOneBoxAndGiveTheMainDialogBack) {
  PublishTree();
  KeyPair key;
  ASSERT_TRUE(MakeKeyPair(key));
  ASSERT_TRUE(m_app.InitInstance());
  m_app.m_config.strUpdatePublicKey = key.publicKey;
  PickServer(false);
  ASSERT_TRUE(PumpUntil([&] { return LogHas("update refused, open main dialog"); }));
  ASSERT_EQ(m_system.MessageBoxes().size(), 1u);
  EXPECT_EQ(m_system.MessageBoxes()[0].text, RefusalBoxText(Refusal::NotSigned));
  EXPECT_EQ(m_system.MessageBoxes()[0].caption, "更新失败");
  EXPECT_EQ(m_http.RequestCount("/contentlist.txt"), 1u);
  EXPECT_TRUE(LogHas("update refused: the tree publishes no signed content list \n"));
  EXPECT_FALSE(std::filesystem::exists(m_work + "versions.txt"));
  ASSERT_TRUE(PumpUntil([&] { return g_pLauncherDlg->IsWindowVisible(); }));
  EXPECT_FALSE(g_pUpgradeDlg->IsWindowVisible());

  SignTree(key);
  WriteFile(m_dir / "tree/data/a.txt.7", "content 8");
  PickServer(false);
  ASSERT_TRUE(PumpUntil([&] { return m_system.MessageBoxes().size() == 2; }));
  EXPECT_EQ(m_system.MessageBoxes()[1].text, RefusalBoxText(Refusal::NotGenuine));
  ASSERT_TRUE(PumpUntil([&] { return g_pLauncherDlg->IsWindowVisible(); }));
  EXPECT_EQ(m_http.RequestCount("/data/a.txt.7"), 1u);
  EXPECT_FALSE(std::filesystem::exists(m_work + "data/a.txt"));
  EXPECT_TRUE(m_system.Starts().empty());
}

// A game whose window is not found (none within the wait, or it crashed) is watched by its
// process instead: when it ends, the main dialog comes back and the handle is given back.
TEST_F(LauncherAppTest, DevStartLaunchesAtOnceAndAGameWithoutAWindowIsWatchedUntilItEnds) {
  m_system.commandLineArgs = {"dev=1"};
  ASSERT_TRUE(m_app.InitInstance());
  m_system.onMessageBox = [](const auto&) { FAIL() << "no box on a good start"; };
  PickServer(false);
  m_backend.Pump();
  EXPECT_EQ(g_pUpgradeDlg, nullptr);
  ASSERT_EQ(m_system.Starts().size(), 1u);
  EXPECT_FALSE(g_pLauncherDlg->IsWindowVisible());
  EXPECT_EQ(Events().back(), "event wd_start_game");
  EXPECT_EQ(m_app.m_hGameWnd, 0u);  // the fake process shows no window
  EXPECT_EQ(m_system.OpenProcessHandles(), 1u);
  m_backend.AdvanceClock(1000);
  EXPECT_FALSE(g_pLauncherDlg->IsWindowVisible());

  m_system.EndProcess(m_system.processId + 1);
  m_backend.AdvanceClock(1000);
  EXPECT_TRUE(g_pLauncherDlg->IsWindowVisible());
  EXPECT_EQ(m_app.m_pMainWnd, g_pLauncherDlg);
  EXPECT_TRUE(LogHas("game ended before its window was found, open main dialog \n"));
  EXPECT_EQ(m_system.OpenProcessHandles(), 0u);
  EXPECT_EQ(m_system.StrayProcessCloses(), 0u);
}

// The game's process handle is needed only to wait for its window: it goes back to the system
// at once, not when the game ends (one handle lost per game start otherwise), and only once.
TEST_F(LauncherAppTest, GameStartGivesTheProcessHandleBackOnceItsWindowIsFound) {
  m_system.commandLineArgs = {"dev=1"};
  ASSERT_TRUE(m_app.InitInstance());
  constexpr HWND kGameWnd = 0x00A00001;
  m_backend.foreignWindows.push_back({kGameWnd, m_system.processId + 1});  // the first start's
  PickServer(false);
  m_backend.Pump();
  ASSERT_EQ(m_system.Starts().size(), 1u);
  EXPECT_EQ(m_app.m_hGameWnd, kGameWnd);
  EXPECT_EQ(m_system.OpenProcessHandles(), 0u);

  m_backend.foreignWindows.clear();  // the game ends
  m_backend.AdvanceClock(1000);
  EXPECT_TRUE(LogHas("game closed ... \n"));
  EXPECT_EQ(m_system.OpenProcessHandles(), 0u);
  EXPECT_EQ(m_system.StrayProcessCloses(), 0u);
}

TEST_F(LauncherAppTest, FailedLaunchShowsTheErrorBoxAndHidesNothing) {
  m_system.commandLineArgs = {"dev=1"};
  m_system.startSucceeds = false;
  ASSERT_TRUE(m_app.InitInstance());
  StartGame(m_app.m_config);
  ASSERT_EQ(m_system.MessageBoxes().size(), 1u);
  EXPECT_EQ(m_system.MessageBoxes()[0].caption, "错误");
  EXPECT_EQ(m_system.MessageBoxes()[0].text, "游戏进程启动失败");
  EXPECT_TRUE(g_pLauncherDlg->IsWindowVisible());
  EXPECT_EQ(m_system.OpenProcessHandles(), 0u);
  EXPECT_EQ(m_system.StrayProcessCloses(), 0u);
}

// The player closes the launcher while a file downloads and the worker waits in a progress
// report for the UI thread, which is busy exiting: the exit ends the job and nothing of the
// deleted dialogs is touched afterwards (the sanitizer build would see it).
TEST_F(LauncherAppTest, ExitDuringAnUpdateEndsItsWorkerFirst) {
  PublishTree();
  std::filesystem::remove(m_dir / "tree/data/a.txt.7");  // served by the handler below
  std::atomic<bool> requested{false}, released{false};
  m_http.server().Get("/data/a.txt.7", [&](const httplib::Request&, httplib::Response& res) {
    requested = true;
    res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
      sink.write("x", 1);
      for (int i = 0; i < 500 && !released; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return !released;
    });
  });
  ASSERT_TRUE(m_app.InitInstance());
  PickServer(false);
  ASSERT_TRUE(PumpUntil([&] { return requested.load(); }));
  {
    Watchdog watchdog("exit during an update", std::chrono::seconds(20));
    m_app.ExitInstance();
  }
  released = true;
  EXPECT_EQ(g_pUpgradeDlg, nullptr);
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_FALSE(std::filesystem::exists(m_work + "data/a.txt"));
  EXPECT_TRUE(LogHas("Exit ... "));
}

// A start while another launcher's main dialog exists (another process's window of its class)
// brings that launcher forward and ends before it moves, updates, reports or shows anything,
// here from a download folder it would otherwise relocate from. A "-killpid" hand-over and a
// start with no launcher running go on as ever.
struct SecondStart {
  const char* name;
  std::vector<std::string> args;
  bool anotherRuns;
  bool ends;
};

void PrintTo(const SecondStart& start, std::ostream* out) {
  *out << start.name;
}

class SecondStartTest : public LauncherAppTest,
                        public ::testing::WithParamInterface<SecondStart> {};

TEST_P(SecondStartTest, EndsAtOnceOnlyWhenAnotherLauncherRunsAndItIsNoHandOver) {
  constexpr HWND kRunning = 0x00A00002;
  const SecondStart& start = GetParam();
  m_system.commandLineArgs = start.args;
  m_system.moduleFileName = m_dir / "Downloads/Launcher.exe";
  std::filesystem::create_directories(m_dir / "Downloads");
  std::filesystem::copy_file(LAUNCHER_EXE, m_system.moduleFileName);
  m_backend.foreignWindows.push_back({0x00A00001, m_system.processId + 1, 0, "OrcaStandIn"});
  if (start.anotherRuns)
    m_backend.foreignWindows.push_back({kRunning, m_system.processId + 2, 0, "DODuzoDizuzide"});

  const BOOL goesOn = m_app.InitInstance();
  if (start.ends) {
    EXPECT_FALSE(goesOn);
    ASSERT_EQ(m_backend.foreignMessages.size(), 1u);
    EXPECT_EQ(m_backend.foreignMessages[0].hwnd, kRunning);
    EXPECT_EQ(m_backend.foreignMessages[0].message, WM_RUN_LAUNCHER);
    EXPECT_TRUE(LogHas("launcher already running (window " + std::to_string(kRunning) +
                       "), bring it to top \n"));
    EXPECT_FALSE(LogHas("check application path"));
    EXPECT_TRUE(m_system.Starts().empty());
    EXPECT_EQ(g_pLauncherDlg, nullptr);
    EXPECT_TRUE(Events().empty());
  } else {  // on to the relocation check, which moves it or lets it go on
    EXPECT_TRUE(m_backend.foreignMessages.empty());
    EXPECT_FALSE(LogHas("launcher already running"));
    EXPECT_TRUE(LogHas("check application path"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Starts, SecondStartTest,
    ::testing::Values(SecondStart{"AnotherRuns", {}, true, true},
                      SecondStart{"AnotherRunsInDevMode", {"dev=1"}, true, true},
                      SecondStart{"HandOverWhileAnotherRuns", {"-killpid", "77"}, true, false},
                      SecondStart{"NoneRuns", {}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

class GameWindowTest : public LauncherAppTest {
 protected:
  void SetUp() override {
    LauncherAppTest::SetUp();
    m_system.commandLineArgs = {"dev=1"};
    ASSERT_TRUE(m_app.InitInstance());
    ASSERT_TRUE(m_game.CreateEx(0, "#32770", "game", WS_POPUP | WS_VISIBLE, RECT{0, 0, 100, 100},
                                nullptr, 0));
    m_app.m_hGameWnd = m_game.m_hWnd;
  }
  CWnd m_game;
};

TEST_F(GameWindowTest, ASecondStartIsRefusedWhileTheGameRuns) {
  const size_t events = Events().size();
  StartGame(m_app.m_config);
  EXPECT_TRUE(m_system.Starts().empty());
  ASSERT_EQ(m_system.MessageBoxes().size(), 1u);
  EXPECT_EQ(m_system.MessageBoxes()[0].caption, "启动失败");
  EXPECT_EQ(m_system.MessageBoxes()[0].text, "游戏客户端已经启动");
  EXPECT_TRUE(LogHas("start game but game wnd exist! \n"));
  EXPECT_EQ(Events().size(), events);
}

TEST_F(GameWindowTest, RunLauncherBringsTheGameForwardAndLeavesTheDialogAlone) {
  g_pLauncherDlg->ShowWindow(SW_HIDE);
  m_game.ShowWindow(SW_MINIMIZE);
  g_pLauncherDlg->SendMessage(WM_RUN_LAUNCHER, 0, 0);
  EXPECT_FALSE(m_game.IsIconic());
  EXPECT_FALSE(g_pLauncherDlg->IsWindowVisible());
  EXPECT_TRUE(LogHas("run launcher, bring game to top \n"));

  m_app.m_hGameWnd = 0;
  g_pLauncherDlg->SendMessage(WM_RUN_LAUNCHER, 0, 0);
  EXPECT_TRUE(g_pLauncherDlg->IsWindowVisible());
  EXPECT_TRUE(LogHas("run launcher, open main dialog \n"));
}

TEST_F(GameWindowTest, TheGameWindowGoneEndsTheLauncherOnTheNextTick) {
  m_backend.AdvanceClock(1000);
  EXPECT_TRUE(m_backend.Pump());
  m_game.DestroyWindow();
  m_backend.AdvanceClock(1000);
  EXPECT_TRUE(LogHas("game closed ... \n"));
  EXPECT_EQ(m_app.m_hGameWnd, 0u);
  EXPECT_FALSE(m_backend.Pump());  // WM_QUIT
}

TEST_F(GameWindowTest, ClosingTheLauncherAsksARunningGameToQuit) {
  m_app.ExitInstance();
  EXPECT_FALSE(m_backend.Pump());  // the WM_QUIT posted to the game's window
  EXPECT_TRUE(LogHas("Exit ... "));
}

}  // namespace

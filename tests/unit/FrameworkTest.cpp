// The window framework on the headless backend: loop, thread messages, timers, cross-thread
// sends, dialogs from templates, show / position / minimise messages.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "HeadlessFixture.h"
#include "platform/Afx.h"
#include "platform/Backend.h"
#include "platform/System.h"
#include "platform/WindowTable.h"

namespace {

class TestApp : public CWinApp {
  DECLARE_MESSAGE_MAP()

 public:
  void OnStartGame(WPARAM w, LPARAM l) {
    calls.push_back({w, l});
    callThread = std::this_thread::get_id();
  }
  std::vector<std::pair<WPARAM, LPARAM>> calls;
  std::thread::id callThread;
};

const MessageMap& TestApp::GetThisMessageMap() {
  static const MessageMap map =
      MessageMap::For<TestApp>({OnThreadMessageNumber(2028, &TestApp::OnStartGame)});
  return map;
}

// A dialog of template 102 that records what it is told.
class RecordingDlg : public CDialog {
  DECLARE_MESSAGE_MAP()

 public:
  RecordingDlg() : CDialog(102) {}
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 1015, m_btnRepair); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    initialised = true;
    return TRUE;
  }
  void OnShowWindow(BOOL show, UINT status) {
    shows.push_back(show);
    CDialog::OnShowWindow(show, status);
  }
  void OnWindowPosChanged(WINDOWPOS* pos) {
    positions.push_back(*pos);
    CDialog::OnWindowPosChanged(pos);
  }
  void OnBnClickedRepair() { ++repairs; }
  LRESULT OnProbe(WPARAM w, LPARAM) {
    probeThread = std::this_thread::get_id();
    return static_cast<LRESULT>(w * 2);
  }
  void OnDestroy() {
    destroyed = true;
    CDialog::OnDestroy();
  }

  CButton m_btnRepair;
  bool initialised = false;
  bool destroyed = false;
  int repairs = 0;
  std::vector<BOOL> shows;
  std::vector<WINDOWPOS> positions;
  std::thread::id probeThread;
};

const MessageMap& RecordingDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<RecordingDlg>(
      {
          OnShowWindowMsg(&RecordingDlg::OnShowWindow),
          OnWindowPosChangedMsg(&RecordingDlg::OnWindowPosChanged),
          OnCommandId(1015, &RecordingDlg::OnBnClickedRepair),
          OnMessageNumber(WM_USER + 5, &RecordingDlg::OnProbe),
          OnDestroyMsg(&RecordingDlg::OnDestroy),
      },
      &CDialog::GetThisMessageMap);
  return map;
}

bool RunUntilCalled(TestApp& app) {
  for (int i = 0; i < 2000 && app.calls.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::ui::DispatchPending();
  }
  return !app.calls.empty();
}

std::atomic<int> g_ticks{0};
void CountTick(HWND, UINT message, UINT_PTR, DWORD) {
  if (message == WM_TIMER) ++g_ticks;
}

// Template 102 names the class the application registers as a copy of the dialog class.
void RegisterMainDialogClass() {
  WNDCLASS wc;
  ASSERT_TRUE(GetClassInfo(nullptr, "#32770", &wc));
  wc.lpszClassName = "DODuzoDizuzide";
  ASSERT_TRUE(AfxRegisterClass(&wc));
}

// Pumps until the application's thread message arrived (the worker posts it).
bool RunUntilCalled(TestApp& app);

class FrameworkTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    RegisterMainDialogClass();
  }
};

TEST_F(FrameworkTest, ThreadMessagePostedFromAWorkerRunsOnTheMainThread) {
  TestApp app;
  std::thread([&] { EXPECT_TRUE(PostThreadMessage(app.m_nThreadID, 2028, 7, 9)); }).join();
  EXPECT_TRUE(app.calls.empty());  // nothing runs until the loop does
  m_backend.Pump();
  ASSERT_EQ(app.calls.size(), 1u);
  EXPECT_EQ(app.calls[0], (std::pair<WPARAM, LPARAM>{7, 9}));
  EXPECT_EQ(app.callThread, std::this_thread::get_id());
  EXPECT_FALSE(PostThreadMessage(app.m_nThreadID + 2, 2028, 0, 0));
}

TEST_F(FrameworkTest, ThreadTimerTicksAsTheClockMovesUntilKilled) {
  TestApp app;
  g_ticks = 0;
  const UINT_PTR id = SetTimer(0, 0, 1000, CountTick);
  ASSERT_NE(id, 0u);
  m_backend.AdvanceClock(999);
  EXPECT_EQ(g_ticks, 0);
  m_backend.AdvanceClock(1);
  EXPECT_EQ(g_ticks, 1);
  m_backend.AdvanceClock(2000);
  EXPECT_EQ(g_ticks, 3);
  EXPECT_TRUE(KillTimer(0, id));
  m_backend.AdvanceClock(5000);
  EXPECT_EQ(g_ticks, 3);
}

TEST_F(FrameworkTest, QuitMessageEndsTheLoopAfterEarlierMessages) {
  TestApp app;
  PostThreadMessage(app.m_nThreadID, 2028, 1, 0);
  PostQuitMessage(3);
  PostThreadMessage(app.m_nThreadID, 2028, 2, 0);
  EXPECT_EQ(app.Run(), 3);
  ASSERT_EQ(app.calls.size(), 1u);
  EXPECT_EQ(m_backend.loopsQuit, 1);
}

UINT PostFromWorker(void* app) {
  PostThreadMessage(static_cast<TestApp*>(app)->m_nThreadID, 2028, 5, 6);
  return 0;
}

TEST_F(FrameworkTest, WorkerThreadPostsToTheMainThread) {
  TestApp app;
  ASSERT_NE(AfxBeginThread(PostFromWorker, &app), nullptr);
  EXPECT_TRUE(RunUntilCalled(app));
}

TEST_F(FrameworkTest, WaitingForAProcessWindowTakesOnlyAParentlessOneAndKeepsItsBound) {
  using namespace std::chrono;
  constexpr DWORD kGame = 777, kBoundMs = 400;
  const sys::Process game{kGame, kGame};
  // Two hundred windows of other programs, and the game's owned splash (its owner is another
  // program's window): no window of the game's own yet. Each listing costs time, as the
  // display's round trips do.
  for (HWND hwnd = 0x00900000; hwnd < 0x00900000 + 200; ++hwnd)
    m_backend.foreignWindows.push_back({hwnd, 100 + static_cast<DWORD>(hwnd & 0xFF)});
  m_backend.foreignWindows.push_back({0x00A00001, kGame, 0x00900005});
  m_backend.listingTime = 200ms;
  auto start = steady_clock::now();
  EXPECT_EQ(WaitForProcessWindow(game, kBoundMs), 258u);
  const auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(kBoundMs));
  EXPECT_LT(took, 3 * milliseconds(kBoundMs)) << "bounded by the clock, not by its own sleeps";

  m_backend.foreignWindows.push_back({0x00A00002, kGame});
  m_backend.listingTime = 0ms;
  start = steady_clock::now();
  EXPECT_EQ(WaitForProcessWindow(game, 20000), 0u);
  EXPECT_LT(steady_clock::now() - start, 10s);

  // A game that crashed at once ends the wait: it will never show a window.
  const sys::Process crashed{kGame + 1, kGame + 1};
  m_system.EndProcess(crashed.id);
  start = steady_clock::now();
  EXPECT_EQ(WaitForProcessWindow(crashed, 20000), 0xFFFFFFFFu);
  EXPECT_LT(steady_clock::now() - start, 10s);

  RecordingDlg dlg;
  dlg.Create(104);
  EXPECT_EQ(WaitForProcessWindow({m_system.processId, 1}, 20000), 0u);  // ours
}

TEST_F(FrameworkTest, WithoutAnIdleStateAStartedProgramIsReadyOnceItHasAMainWindow) {
  constexpr DWORD kGame = 778;
  const sys::Process game{kGame, 1};
  m_backend.foreignWindows.push_back({0x00900001, 100});
  m_backend.foreignWindows.push_back({0x00A00001, kGame, 0x00900001});  // its owned splash
  EXPECT_EQ(WaitForInputIdle(game, 100), 258u);
  m_backend.foreignWindows.push_back({0x00A00002, kGame});
  EXPECT_EQ(WaitForInputIdle(game, 20000), 0u);
}

TEST_F(FrameworkTest, QuitPostedToAWindowEndsTheLoopToo) {
  TestApp app;
  RecordingDlg dlg;
  dlg.Create(104);
  EXPECT_TRUE(PostMessage(dlg.m_hWnd, WM_QUIT, 0, 0));
  EXPECT_FALSE(m_backend.Pump());
  EXPECT_EQ(m_backend.loopsQuit, 1);
}

TEST_F(FrameworkTest, SendFromAWorkerIsCarriedOutOnTheWindowsThread) {
  TestApp app;
  RecordingDlg dlg;
  ASSERT_TRUE(dlg.Create(102));
  std::atomic<bool> done{false};
  LRESULT result = 0;
  std::thread worker([&] {
    result = ::SendMessage(dlg.m_hWnd, WM_USER + 5, 21, 0);
    done = true;
  });
  while (!done) m_backend.Pump();  // the worker waits until the loop runs its message
  worker.join();
  EXPECT_EQ(result, 42);
  EXPECT_EQ(dlg.probeThread, std::this_thread::get_id());
}

TEST_F(FrameworkTest, DialogFromTemplateHasItsClassPlaceAndControls) {
  TestApp app;
  RecordingDlg dlg;
  ASSERT_TRUE(dlg.Create(102));
  EXPECT_TRUE(dlg.initialised);
  EXPECT_TRUE(dlg.IsWindowVisible());  // WS_VISIBLE in the template
  EXPECT_EQ(ui::FindRecord(dlg.m_hWnd)->className, "DODuzoDizuzide");
  EXPECT_EQ(FindWindow("DODuzoDizuzide", nullptr), dlg.m_hWnd);
  RECT rc;
  dlg.GetWindowRect(&rc);  // 1200 x 738 pixels, centred on the 1920 x 1080 screen
  EXPECT_EQ(rc.left, 360);
  EXPECT_EQ(rc.top, 171);
  EXPECT_EQ(rc.right - rc.left, 1200);
  EXPECT_EQ(rc.bottom - rc.top, 738);

  CWnd* min = dlg.GetDlgItem(1000);
  ASSERT_NE(min, nullptr);
  min->GetWindowRect(&rc);
  dlg.ScreenToClient(&rc);
  EXPECT_EQ(rc.left, 755);
  EXPECT_EQ(rc.top, 81);
  EXPECT_EQ(min->GetStyle(), 0x50010000u);
  EXPECT_EQ(dlg.GetDlgItem(1002)->GetWindowText(), "官方论坛");
  EXPECT_EQ(dlg.GetDlgItem(1015), &dlg.m_btnRepair);  // bound by data exchange

  // A click on the repair button (released over it) reaches the dialog's map once.
  dlg.m_btnRepair.GetWindowRect(&rc);
  dlg.ScreenToClient(&rc);
  m_backend.LButtonDown(dlg.m_hWnd, rc.left + 3, rc.top + 3);
  m_backend.LButtonUp(dlg.m_hWnd, rc.left + 4, rc.top + 3);
  EXPECT_EQ(dlg.repairs, 1);
  m_backend.LButtonDown(dlg.m_hWnd, rc.left + 3, rc.top + 3);
  m_backend.LButtonUp(dlg.m_hWnd, 5, 5);  // released elsewhere: no click
  EXPECT_EQ(dlg.repairs, 1);
}

TEST_F(FrameworkTest, EscapeAndCloseHideAModelessDialogWithoutDestroyingIt) {
  TestApp app;
  RecordingDlg dlg;
  dlg.Create(102);
  m_backend.KeyDown(dlg.m_hWnd, VK_ESCAPE);
  EXPECT_FALSE(dlg.IsWindowVisible());
  dlg.ShowWindow(SW_SHOW);
  dlg.SendMessage(WM_CLOSE);
  EXPECT_FALSE(dlg.IsWindowVisible());
  EXPECT_TRUE(IsWindow(dlg.m_hWnd));
}

TEST_F(FrameworkTest, ShowAndMoveReportTheNewPlace) {
  TestApp app;
  RecordingDlg dlg;
  dlg.Create(104);
  EXPECT_FALSE(dlg.IsWindowVisible());
  dlg.shows.clear();
  dlg.positions.clear();
  dlg.ShowWindow(SW_SHOW);
  dlg.MoveWindow(739, 257, 442, 307, TRUE);
  dlg.ShowWindow(SW_HIDE);
  EXPECT_EQ(dlg.shows, (std::vector<BOOL>{TRUE, FALSE}));
  ASSERT_EQ(dlg.positions.size(), 3u);
  const WINDOWPOS& moved = dlg.positions[1];
  EXPECT_EQ(moved.x, 739);
  EXPECT_EQ(moved.y, 257);
  EXPECT_EQ(moved.cx, 442);
  EXPECT_EQ(moved.cy, 307);
  EXPECT_TRUE(dlg.positions[2].flags & SWP_HIDEWINDOW);
}

TEST_F(FrameworkTest, MinimisingHidesOwnedWindowsAndRestoringBringsThemBack) {
  TestApp app;
  RecordingDlg dlg;
  dlg.Create(102);
  CWnd owned;
  ASSERT_TRUE(owned.CreateEx(WS_EX_LAYERED, "STATIC", "", 0, RECT{0, 0, 10, 10}, &dlg, 0));
  EXPECT_EQ(GetParent(owned.m_hWnd), dlg.m_hWnd);
  owned.ShowWindow(SW_SHOW);
  dlg.PostMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  m_backend.Pump();
  EXPECT_TRUE(dlg.IsIconic());
  EXPECT_FALSE(owned.IsWindowVisible());
  dlg.ShowWindow(SW_RESTORE);
  EXPECT_FALSE(dlg.IsIconic());
  EXPECT_TRUE(owned.IsWindowVisible());
}

TEST_F(FrameworkTest, CaptionPressStartsAMoveAndDestroyGoesThroughTheMap) {
  TestApp app;
  RecordingDlg dlg;
  dlg.Create(102);
  const HWND hwnd = dlg.m_hWnd;
  dlg.PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(10, 10));
  m_backend.Pump();
  EXPECT_EQ(m_backend.moveDrags, std::vector<HWND>{hwnd});
  CWnd owned;
  owned.CreateEx(WS_EX_LAYERED, "STATIC", "", 0, RECT{0, 0, 10, 10}, &dlg, 0);
  const HWND ownedHwnd = owned.m_hWnd;
  dlg.DestroyWindow();
  EXPECT_TRUE(dlg.destroyed);
  EXPECT_EQ(dlg.m_hWnd, 0u);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(ownedHwnd));  // owned windows go with their owner
  EXPECT_EQ(owned.m_hWnd, 0u);
}

}  // namespace

// A worker waiting for the UI thread while the UI thread waits for the worker: the framework
// turns the worker's call away instead of letting both wait for ever.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "HeadlessFixture.h"
#include "StartGameApp.h"
#include "Watchdog.h"
#include "platform/Afx.h"
#include "platform/Backend.h"

namespace {

using namespace std::chrono_literals;

// The three calls a download worker makes into the UI thread.
enum class Call { kMessageBox, kProgress, kHide };

class CrossThreadCallTest : public HeadlessTest, public ::testing::WithParamInterface<Call> {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_TRUE(m_dlg.Create(104));
    m_dlg.ShowWindow(SW_SHOW);
    m_bar = m_dlg.GetDlgItem(1004)->m_hWnd;
    ::SendMessage(m_bar, PBM_SETPOS, 10, 0);
  }

  // Starts a worker that makes the call; `carried` says whether it was carried out.
  std::thread StartWorker() {
    return std::thread([this] {
      switch (GetParam()) {
        case Call::kMessageBox:  // as the desktop's boxes are shown: by the UI thread
          m_carried = ui::RunOnUiThread([this] { m_boxShown = true; });
          break;
        case Call::kProgress:
          m_carried = ::SendMessage(m_bar, PBM_SETPOS, 60, 0) == 10;
          break;
        case Call::kHide:
          m_carried = ::ShowWindow(m_dlg.m_hWnd, SW_HIDE) != FALSE;
          break;
      }
    });
  }
  void ExpectNotCarriedOut() {
    EXPECT_FALSE(m_carried);
    EXPECT_FALSE(m_boxShown);
    EXPECT_EQ(::SendMessage(m_bar, PBM_GETPOS, 0, 0), 10);
    EXPECT_TRUE(m_dlg.IsWindowVisible());
  }

  CDialog m_dlg{104};
  HWND m_bar = 0;
  std::atomic<bool> m_carried{false}, m_boxShown{false};
};

TEST_P(CrossThreadCallTest, UiThreadJoiningTheWorkerWithdrawsItsQueuedCall) {
  Watchdog watchdog("joining a worker that waits for the UI thread", 20s);
  std::thread worker = StartWorker();
  ASSERT_TRUE(m_backend.WaitForQueued(20s));  // the worker's call waits in the queue
  {
    ui::WorkerJoin joining;
    worker.join();
  }
  ExpectNotCarriedOut();

  // Once the join is over, calls are carried out again.
  worker = StartWorker();
  ASSERT_TRUE(m_backend.WaitForQueued(20s));
  m_backend.Pump();
  worker.join();
  EXPECT_TRUE(m_carried);
}

TEST_P(CrossThreadCallTest, EndOfTheLoopWithdrawsTheQueuedCallAndRefusesNewOnes) {
  Watchdog watchdog("a worker's call after the loop ended", 20s);
  CWinApp app;
  PostQuitMessage(0);
  ASSERT_TRUE(m_backend.WaitForQueued(0ms));
  std::thread worker = StartWorker();
  ASSERT_TRUE(m_backend.WaitForQueued(20s));  // queued behind WM_QUIT
  app.Run();
  worker.join();
  ExpectNotCarriedOut();

  worker = StartWorker();  // after the loop: refused at once
  worker.join();
  ExpectNotCarriedOut();
}

INSTANTIATE_TEST_SUITE_P(Calls, CrossThreadCallTest,
                         ::testing::Values(Call::kMessageBox, Call::kProgress, Call::kHide));

// A worker's box runs a nested loop on the UI thread. Window messages go on inside it, but a
// request to the application (a thread message) waits until the box is gone: handling it there
// could join the very worker that waits for the box, lower on the same stack. A box of the UI
// thread's own holds requests back the same way.
using NestedLoopTest = HeadlessTest;

TEST_F(NestedLoopTest, RequestsWaitForTheEndOfTheLoop) {
  Watchdog watchdog("a request inside a worker's box", 20s);
  StartGameApp app;
  CDialog dlg(104);
  ASSERT_TRUE(dlg.Create(104));
  const HWND bar = dlg.GetDlgItem(1004)->m_hWnd;
  int startsInBox = -1;
  auto box = [&] {  // the box's nested loop
    PostThreadMessage(app.m_nThreadID, WM_LAUNCHER_STARTGAME, 0, 0);
    ::PostMessage(bar, PBM_SETPOS, 40, 0);
    ui::DispatchPending();
    startsInBox = app.starts;
  };
  std::thread worker([&] { ui::RunOnUiThread(box); });
  ASSERT_TRUE(m_backend.WaitForQueued(20s));
  m_backend.Pump();
  worker.join();
  EXPECT_EQ(startsInBox, 0);
  EXPECT_EQ(::SendMessage(bar, PBM_GETPOS, 0, 0), 40);
  EXPECT_EQ(app.starts, 1);

  m_system.onMessageBox = [&](const auto&) { box(); };
  MessageBoxA(0, "text", "caption", MB_OK);
  EXPECT_EQ(startsInBox, 1);
  m_backend.Pump();
  EXPECT_EQ(app.starts, 2);
}

}  // namespace

// A download worker inside a call to the UI thread (a message box, a progress step, hiding the
// dialog) while the UI thread ends its job: both the reset and the loop's end followed by the
// owner's destruction finish, and the worker's call is not carried out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "FaultyServer.h"
#include "HeadlessFixture.h"
#include "TestHttpServer.h"
#include "Watchdog.h"
#include "platform/Afx.h"
#include "platform/Backend.h"
#include "update/Downloader.h"

namespace {

using namespace std::chrono_literals;

enum class Call { kMessageBox, kProgress, kHide };

// The update dialog's callback in small: progress by a synchronous message to the bar, the
// hide at the end by a cross-thread window call.
class DialogCallback : public Downloader::ICallback {
 public:
  DialogCallback(Call call, HWND dlg, HWND bar) : m_call(call), m_dlg(dlg), m_bar(bar) {}
  void OnProgress() override {
    if (m_call == Call::kProgress) ::SendMessage(m_bar, PBM_SETPOS, 60, 0);
  }
  void OnComplete() override {
    if (m_call == Call::kHide) ::ShowWindow(m_dlg, SW_HIDE);
  }

 private:
  Call m_call;
  HWND m_dlg, m_bar;
};

class DownloaderShutdownTest : public HeadlessTest, public ::testing::WithParamInterface<Call> {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    m_http.server().Get("/files/ok", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("content", "application/octet-stream");
    });
    m_http.Start();
    ASSERT_TRUE(m_dlg.Create(104));
    m_dlg.ShowWindow(SW_SHOW);
    m_bar = m_dlg.GetDlgItem(1004)->m_hWnd;
    ::SendMessage(m_bar, PBM_SETPOS, 10, 0);
    // Boxes on the desktop are shown by the UI thread while the worker waits.
    m_system.onMessageBox = [this](const auto&) {
      ui::RunOnUiThread([this] { m_boxShown = true; });
    };
    m_callback = std::make_unique<DialogCallback>(GetParam(), m_dlg.m_hWnd, m_bar);
  }

  // Starts the job whose worker ends up waiting for the UI thread, and waits until it does.
  void StartJobAndWaitForItsCall() {
    const std::string path = GetParam() == Call::kMessageBox ? "/missing" : "/files/ok";
    ASSERT_TRUE(m_downloader->Add(m_http.Url(path), m_dir / "file"));
    ASSERT_TRUE(m_downloader->ExcuteThread(false, false, m_callback.get()));
    ASSERT_TRUE(m_backend.WaitForQueued(20s));
  }
  void ExpectNotCarriedOut() {
    EXPECT_FALSE(m_boxShown);
    EXPECT_EQ(::SendMessage(m_bar, PBM_GETPOS, 0, 0), 10);
    EXPECT_TRUE(m_dlg.IsWindowVisible());
  }

  TestHttpServer m_http;
  CDialog m_dlg{104};
  HWND m_bar = 0;
  std::atomic<bool> m_boxShown{false};
  std::unique_ptr<DialogCallback> m_callback;
  std::unique_ptr<Downloader> m_downloader =
      std::make_unique<Downloader>(Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 1000});
};

TEST_P(DownloaderShutdownTest, ResetWhileTheWorkerWaitsForTheUiThread) {
  Watchdog watchdog("Reset of a job whose worker waits for the UI thread", 20s);
  StartJobAndWaitForItsCall();
  m_downloader->Reset();
  ExpectNotCarriedOut();
  EXPECT_EQ(m_downloader->GetRequest(), nullptr);
}

TEST_P(DownloaderShutdownTest, LoopEndsThenTheOwnerGoesWhileTheWorkerWaitsForTheUiThread) {
  Watchdog watchdog("exit while a worker waits for the UI thread", 20s);
  CWinApp app;
  PostQuitMessage(0);
  ASSERT_TRUE(m_backend.WaitForQueued(0ms));
  StartJobAndWaitForItsCall();  // queued behind WM_QUIT
  app.Run();
  m_downloader.reset();
  ExpectNotCarriedOut();
}

INSTANTIATE_TEST_SUITE_P(Calls, DownloaderShutdownTest,
                         ::testing::Values(Call::kMessageBox, Call::kProgress, Call::kHide));

// With the real system's clock: the pause after a failed attempt, and the wait a busy server
// asked for, wake when the job is ended, with one connection and with several.
TEST(DownloaderAbortTest, ResetDoesNotSitOutTheRetryPauseNorABusyServersWait) {
  for (int connections : {1, 8}) {
    for (auto fault : {FaultyServer::Fault::kNotFound, FaultyServer::Fault::kUnavailable}) {
      SCOPED_TRACE(connections);
      TempDir dir;
      FaultyServer server;
      server.Serve("file", "body", fault);
      server.SetRetryAfter("600");
      Downloader downloader(Downloader::Timing{
          .lowSpeedSeconds = 5, .retryPauseMs = 600000, .longestRetryAfterMs = 600000});
      downloader.SetConnections(connections);
      ASSERT_TRUE(downloader.Add(server.Url("/file"), dir / "file"));
      ASSERT_TRUE(downloader.ExcuteThread(false, false, nullptr));
      Watchdog watchdog("Reset during the retry pause", 20s);
      while (server.RequestCount("file") == 0) std::this_thread::sleep_for(5ms);
      downloader.Reset();
      EXPECT_EQ(server.RequestCount("file"), 1u);
    }
  }
}

}  // namespace

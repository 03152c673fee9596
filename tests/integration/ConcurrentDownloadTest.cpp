// The same job with one connection and with several: the same files and markers, the same
// boxes for a file that cannot be had, nothing half-installed when the job is ended midway.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <set>

#include "FaultyServer.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/Downloader.h"
#include "update/FileUtil.h"
#include "update/Signature.h"
#include "update/VersionInfos.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class ConcurrentDownloadTest : public ::testing::TestWithParam<int> {
 protected:
  ConcurrentDownloadTest() {
    m_downloader.SetConnections(GetParam());
    // With several connections the first requests are answered only once that many are in
    // flight at once (or after a generous bound, which the test then notices).
    m_gate = GetParam() > 1 ? GetParam() : 0;
    m_http.server().set_keep_alive_max_count(1000);
    m_http.server().Get(
        R"(/files/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
          std::unique_lock lock(m_mutex);
          m_maxInFlight = std::max(m_maxInFlight, ++m_inFlight);
          if (m_inFlight >= m_gate) m_gateOpened = true;
          m_changed.notify_all();
          m_changed.wait_for(lock, 10s, [this] { return m_gateOpened || m_released; });
          --m_inFlight;
          if (req.matches[1] == "stall") {
            ++m_stalled;
            m_changed.notify_all();
            m_changed.wait_for(lock, 10s, [this] { return m_released; });
          }
          auto it = m_content.find(req.matches[1]);
          if (it == m_content.end()) {
            res.status = 404;
            return;
          }
          res.set_content(it->second, "application/octet-stream");
        });
    m_http.server().Get("/flaky", [this](const httplib::Request&, httplib::Response& res) {
      if (m_flakyCalls++ < 2) {
        res.set_content_provider(1000, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
          sink.write(std::string(500, 'c').data(), 500);
          return false;
        });
      } else {
        res.set_content("whole", "text/plain");
      }
    });
    m_http.Start();
  }
  ~ConcurrentDownloadTest() override {
    {
      std::lock_guard lock(m_mutex);
      m_released = true;
    }
    m_changed.notify_all();
    // Handlers still waiting use this fixture's members: they end before the members go.
    m_downloader.Reset();
    m_http.Stop();
  }

  void Serve(const std::string& name, const std::string& content) {
    std::lock_guard lock(m_mutex);
    m_content[name] = content;
  }
  std::string Url(const std::string& name) { return m_http.Url("/files/" + name); }
  size_t RequestsFor(const std::string& path) { return m_http.RequestCount(path); }
  // Every temporary file below the folder: a transfer's, or one a failed attempt left.
  std::vector<std::string> Temporaries() {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(m_dir.path())) {
      if (entry.path().filename().string().find(".tmp") != std::string::npos) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  Downloader m_downloader{Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 10}};
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<std::string, std::string> m_content;
  int m_gate = 0, m_inFlight = 0, m_maxInFlight = 0, m_stalled = 0;
  bool m_gateOpened = false, m_released = false;
  std::atomic<int> m_flakyCalls{0};
};

TEST_P(ConcurrentDownloadTest, SameFilesAndMarkersAsOneAfterTheOther) {
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "d" + std::to_string(i % 3) + "/f" + std::to_string(i);
    const std::string content = TestText(static_cast<size_t>(i) * 37000);
    expected[name] = content;
    Serve(name + ".5", i % 4 == 3 ? content : XzCompress(content));
    if (i % 2) {
      WriteFile(m_dir / name, "old");
      WriteFile(m_dir / (name + ".version"), "4");
    }
    ASSERT_TRUE(m_downloader.Add(Url(name + ".5"), m_dir / name));
  }
  ASSERT_TRUE(m_downloader.Excute(true, true));
  for (const auto& [name, content] : expected) {
    EXPECT_EQ(ReadFile(m_dir / name), content) << name;
    EXPECT_EQ(ReadLocalVersion(m_dir / name), 5) << name;
    EXPECT_EQ(RequestsFor("/files/" + name + ".5"), 1u) << name;
  }
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
  EXPECT_EQ(m_downloader.GetProgress().completed, 12);
  EXPECT_EQ(m_downloader.GetProgress().running, 0);
  EXPECT_TRUE(m_system.MessageBoxes().empty());
  std::lock_guard lock(m_mutex);
  EXPECT_EQ(m_maxInFlight, GetParam()) << "as many transfers at once as connections";
  std::set<std::string> ports;
  for (const auto& r : m_http.Requests()) ports.insert(r.headers.find("REMOTE_PORT")->second);
  EXPECT_EQ(ports.size(), static_cast<size_t>(GetParam())) << "each connection is kept alive";
}

TEST_P(ConcurrentDownloadTest, AFileThatCannotBeHadAmongOthersGetsItsBoxesAndEndsTheJob) {
  for (int i = 0; i < 6; ++i) {
    if (i != 2) Serve("f" + std::to_string(i) + ".3", XzCompress("file " + std::to_string(i)));
    ASSERT_TRUE(
        m_downloader.Add(Url("f" + std::to_string(i) + ".3"), m_dir / ("f" + std::to_string(i))));
  }
  m_system.onMessageBox = [&](const sys::FakeSystem::MessageBoxCall&) {
    EXPECT_EQ(Temporaries(), std::vector<std::string>{}) << "no transfer runs behind a box";
  };
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_EQ(RequestsFor("/files/f2.3"), 9u);
  auto boxes = m_system.MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.text, "下载资源失败：" + Url("f2.3") + "\n请点击确定重试！");
    EXPECT_EQ(box.caption, "错误");
  }
  const auto log = m_system.DebugOutput();
  EXPECT_NE(std::find(log.begin(), log.end(), "Downloader(304) : bDownloaded"), log.end());
  EXPECT_FALSE(IsPathExist(m_dir / "f2"));
  int installed = 0;
  for (int i : {0, 1, 3, 4, 5}) {
    const std::string file = m_dir / ("f" + std::to_string(i));
    if (i < 2) {
      EXPECT_TRUE(IsPathExist(file)) << "the files before it are installed";
    }
    if (!IsPathExist(file)) {
      EXPECT_FALSE(IsPathExist(file + ".version"));
      continue;
    }
    ++installed;
    EXPECT_EQ(ReadFile(file), "file " + std::to_string(i));
    EXPECT_EQ(ReadLocalVersion(file), 3);
  }
  EXPECT_EQ(m_downloader.GetProgress().completed, installed);
  if (GetParam() == 1) {
    EXPECT_EQ(installed, 2) << "one after the other, later files wait";
  }
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

TEST_P(ConcurrentDownloadTest, ABrokenAnswerIsRetriedWithoutDisturbingTheOthers) {
  for (int i = 0; i < 5; ++i) {
    Serve("g" + std::to_string(i) + ".1", "g" + std::to_string(i));
    ASSERT_TRUE(
        m_downloader.Add(Url("g" + std::to_string(i) + ".1"), m_dir / ("g" + std::to_string(i))));
  }
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/flaky"), m_dir / "flaky"));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  EXPECT_EQ(m_flakyCalls, 3);
  EXPECT_EQ(ReadFile(m_dir / "flaky"), "whole");
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(ReadFile(m_dir / ("g" + std::to_string(i))), "g" + std::to_string(i));
  EXPECT_TRUE(m_system.MessageBoxes().empty());
}

// The owner ends the job while transfers hang: it returns promptly, reports no completion, and
// leaves installed files with their markers and nothing half-written.
TEST_P(ConcurrentDownloadTest, EndingTheJobMidwayLeavesNothingHalfInstalled) {
  struct Done : Downloader::ICallback {
    explicit Done(const Downloader& d) : downloader(d) {}
    void OnProgress() override {
      std::lock_guard lock(mutex);
      completed = downloader.GetProgress().completed;
      changed.notify_all();
    }
    void OnComplete() override { ++completions; }
    const Downloader& downloader;
    std::mutex mutex;
    std::condition_variable changed;
    int completed = 0;
    std::atomic<int> completions{0};
  } done(m_downloader);
  Serve("first.2", XzCompress("first"));
  ASSERT_TRUE(m_downloader.Add(Url("first.2"), m_dir / "first"));
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(m_downloader.Add(Url("stall"), m_dir / ("s" + std::to_string(i))));
  }
  ASSERT_TRUE(m_downloader.ExcuteThread(true, true, &done));
  {
    std::unique_lock lock(done.mutex);
    ASSERT_TRUE(done.changed.wait_for(lock, 20s, [&] { return done.completed == 1; }));
  }
  {
    std::unique_lock lock(m_mutex);
    ASSERT_TRUE(m_changed.wait_for(lock, 20s, [&] { return m_stalled > 0; }));
  }
  const auto start = std::chrono::steady_clock::now();
  m_downloader.Reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(done.completions, 0);
  EXPECT_EQ(ReadFile(m_dir / "first"), "first");
  EXPECT_EQ(ReadLocalVersion(m_dir / "first"), 2);
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(IsPathExist(m_dir / ("s" + std::to_string(i))));
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
  EXPECT_TRUE(m_system.MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Connections, ConcurrentDownloadTest, ::testing::Values(1, 4),
                         [](const auto& info) { return std::to_string(info.param); });

// Bodies that come slowly, stall after their headers or never end (FaultyServer), each checked
// against the limits a stuck or oversized transfer must hit, at one connection and at eight.
class TransferLimitsTest : public ::testing::TestWithParam<int> {
 protected:
  TransferLimitsTest() {
    m_downloader.SetConnections(GetParam());
    // Longer than the client waits for a stalled body, short enough to free the server's
    // thread for the next attempt.
    m_server.SetStall(3s);
  }
  bool Logged(const std::string& prefix) {
    for (const std::string& line : m_system.DebugOutput()) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  FaultyServer m_server;  // goes after the downloader, whose jobs it may still be answering
  // Formerly every transfer had one second in all; a stall now fails after one.
  Downloader m_downloader{Downloader::Timing{.lowSpeedSeconds = 1, .retryPauseMs = 10}};
};

TEST_P(TransferLimitsTest, MovingBodiesFinishAndStuckOrOversizedOnesFail) {
  using Fault = FaultyServer::Fault;
  const std::string text = TestText(80 * 1024);
  // 20 pieces 100 ms apart: two seconds, but always moving.
  m_server.Serve("moving.5", text, Fault::kTrickle);
  m_server.Serve("stalled.5", text, Fault::kStall);
  m_server.Serve("endless.5", "", Fault::kEndless);
  m_server.Serve("garbage.5", XzCompress("sixsix"), Fault::kEndless);
  m_server.Serve("bomb.5", XzCompress(std::string(16 << 20, '\0')), Fault::kTrickle);
  m_server.Serve("hungry.5", XzDeclaringDictionary(text, 30), Fault::kTrickle);
  const ContentDigest six = HashBytes("sixsix");
  const std::string file = m_dir / "f";
  struct Case {
    std::string name;
    const ContentDigest* expected;
    std::string logged;  // empty: the file is installed
  } cases[] = {
      {"moving.5", nullptr, ""},
      {"stalled.5", nullptr, "download " + m_server.Url("/stalled.5") + " failed(28)"},
      {"endless.5", &six, file + ".tmp: more than 6 bytes, the most it may hold"},
      {"bomb.5", &six, file + ".tmp2: more than 6 bytes, the most it may hold"},
      // A stream followed by bytes without end: they decode to nothing, but they are kept.
      {"garbage.5", &six, file + ".tmp: more than 65542 bytes, the most it may hold"},
      // A gigabyte of dictionary: the need is that and the decoder's own few kilobytes.
      {"hungry.5", nullptr, file + ".tmp: Decoder error: the stream needs 1025 MiB of memory"},
  };
  for (const Case& c : cases) {
    WriteFile(file, "old");
    WriteFile(file + ".version", "4");
    m_downloader.Reset();
    ASSERT_TRUE(m_downloader.Add(m_server.Url("/" + c.name), file, c.expected));
    const bool installed = m_downloader.Excute(true, true);
    EXPECT_EQ(installed, c.logged.empty()) << c.name;
    if (installed) {
      EXPECT_EQ(ReadFile(file), text) << c.name;
      continue;
    }
    EXPECT_TRUE(Logged(c.logged)) << c.logged;
    EXPECT_EQ(m_server.RequestCount(c.name), 9u) << c.name;
    EXPECT_EQ(ReadFile(file), "old") << c.name;
    EXPECT_EQ(ReadFile(file + ".version"), "4") << c.name;
    EXPECT_FALSE(IsPathExist(file + ".tmp") || IsPathExist(file + ".tmp2")) << c.name;
  }
}

// Eight bodies whose decoders each take more than their 64 MiB dictionary: all eight requests
// go out at once, but no more decoders start than the budget has room for, counting each new
// one at the per-decoder limit.
TEST_P(TransferLimitsTest, LargeDictionariesDecodeNoMoreAtOnceThanTheBudgetHolds) {
  if (GetParam() == 1) GTEST_SKIP() << "one transfer at a time whatever the budget";
  const std::string text = TestText(400 * 1024);
  m_server.Serve("text.1", XzDeclaringDictionary(text, 26), FaultyServer::Fault::kTrickle);
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(m_downloader.Add(m_server.Url("/text.1"), m_dir / std::to_string(i)));
  }
  ASSERT_TRUE(m_downloader.Excute(true, false));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ReadFile(m_dir / std::to_string(i)), text);
  EXPECT_EQ(m_server.MaxInFlight(), 8);
  EXPECT_GT(m_downloader.GetProgress().decoderMemoryPeak, kDecoderMemBudget / 2);
  EXPECT_LE(m_downloader.GetProgress().decoderMemoryPeak, kDecoderMemBudget);
}

// Ending the job does not wait for a stalled transfer to fail by its low speed.
TEST_P(TransferLimitsTest, EndingTheJobStopsAStalledTransferAtOnce) {
  m_server.SetStall(60s);
  m_server.Serve("stalled.1", "text", FaultyServer::Fault::kStall);
  Downloader downloader;  // the product's limits: the stall would fail after 30 s
  downloader.SetConnections(GetParam());
  ASSERT_TRUE(downloader.Add(m_server.Url("/stalled.1"), m_dir / "f"));
  ASSERT_TRUE(downloader.ExcuteThread(true, true, nullptr));
  while (m_server.RequestCount("stalled.1") == 0) std::this_thread::sleep_for(5ms);
  const auto start = std::chrono::steady_clock::now();
  downloader.Reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_FALSE(IsPathExist(m_dir / "f") || IsPathExist(m_dir / "f.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Connections, TransferLimitsTest, ::testing::Values(1, 8),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace

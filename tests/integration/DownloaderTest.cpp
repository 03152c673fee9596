#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>

#include "TempDir.h"
#include "TestHttpServer.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/Downloader.h"
#include "update/FileUtil.h"
#include "update/VersionInfos.h"

namespace {

using namespace std::chrono_literals;

const std::string kFailedBox = "下载资源失败：%s\n请点击确定重试！";
const std::string kDiskFullBox = "磁盘空间不足，无法写入%s，请清理磁盘后点击确定重试！";

std::string Fill(const std::string& format, const std::string& value) {
  std::string text = format;
  return text.replace(text.find("%s"), 2, value);
}

// Records the callback's calls; OnComplete may run a continuation (to chain a job).
class Callback : public Downloader::ICallback {
 public:
  explicit Callback(const Downloader& downloader) : m_downloader(downloader) {}
  void OnProgress() override {
    const DownloadProgress& p = m_downloader.GetProgress();
    m_lastRunning = p.running;
    m_lastCompleted = p.completed;
    ++m_progressCalls;
  }
  void OnComplete() override {
    if (then) then();
    std::lock_guard lock(m_mutex);
    ++m_completions;
    m_done.notify_all();
  }
  bool WaitForCompletions(int count) {
    std::unique_lock lock(m_mutex);
    return m_done.wait_for(lock, 20s, [&] { return m_completions >= count; });
  }
  int Completions() {
    std::lock_guard lock(m_mutex);
    return m_completions;
  }

  std::function<void()> then;
  std::atomic<int> m_progressCalls{0}, m_lastRunning{-1}, m_lastCompleted{-1};

 private:
  const Downloader& m_downloader;
  std::mutex m_mutex;
  std::condition_variable m_done;
  int m_completions = 0;
};

class DownloaderTest : public ::testing::Test {
 protected:
  static constexpr long kStallSeconds = 1;
  static constexpr uint32_t kPauseMs = 1000;  // recorded by the fake system, not slept

  DownloaderTest() {
    auto& s = m_http.server();
    s.Get(R"(/files/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(m_contentMutex);
      auto it = m_content.find(req.matches[1]);
      if (it == m_content.end()) {
        res.status = 404;
        return;
      }
      res.set_content(it->second, "application/octet-stream");
    });
    s.Get(R"(/code/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content("body of " + std::string(req.matches[1]), "text/plain");
    });
    // Answers nothing until the test ends.
    s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock lock(m_contentMutex);
      m_release.wait_for(lock, 10s, [this] { return m_released; });
      res.set_content("late", "text/plain");
    });
    // The first answers are broken in turn (a body cut short, a connection closed mid-answer),
    // then the content comes whole.
    s.Get("/flaky", [this](const httplib::Request&, httplib::Response& res) {
      int call = m_flakyCalls++;
      if (call == 0) {
        res.set_content_provider(1000, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
          sink.write(std::string(500, 'c').data(), 500);
          return false;
        });
      } else if (call == 1) {
        res.set_chunked_content_provider("text/plain",
                                         [](size_t, httplib::DataSink&) { return false; });
      } else {
        res.set_content("whole", "text/plain");
      }
    });
    m_http.Start();
  }
  ~DownloaderTest() override { Release(); }

  void Release() {
    {
      std::lock_guard lock(m_contentMutex);
      m_released = true;
    }
    m_release.notify_all();
  }
  void Serve(const std::string& name, const std::string& content) {
    std::lock_guard lock(m_contentMutex);
    m_content[name] = content;
  }
  std::string Url(const std::string& name) { return m_http.Url("/files/" + name); }
  size_t RequestsFor(const std::string& path) { return m_http.RequestCount(path); }
  size_t LogCount(const std::string& line) {
    size_t n = 0;
    for (const std::string& l : m_system.DebugOutput()) n += l == line;
    return n;
  }
  bool Logged(const std::string& line) { return LogCount(line) > 0; }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  Downloader m_downloader{
      Downloader::Timing{.lowSpeedSeconds = kStallSeconds, .retryPauseMs = kPauseMs}};
  std::mutex m_contentMutex;
  std::map<std::string, std::string> m_content;
  std::condition_variable m_release;
  bool m_released = false;
  std::atomic<int> m_flakyCalls{0};
};

TEST_F(DownloaderTest, InstallsEverySectionOverOneConnectionWithTheTwoHeaders) {
  Serve("a.txt.3", "alpha");
  Serve("sub/b.bin.4", std::string("\0\1\2", 3));
  ASSERT_TRUE(m_downloader.Add(Url("a.txt.3"), m_dir / "a.txt"));
  ASSERT_TRUE(m_downloader.Add(Url("sub/b.bin.4"), m_dir / "deep/er/b.bin"));
  WriteFile(m_dir / "a.txt", "old");
  ASSERT_TRUE(m_downloader.Excute(false, false));

  EXPECT_EQ(ReadFile(m_dir / "a.txt"), "alpha");
  EXPECT_EQ(ReadFile(m_dir / "deep/er/b.bin"), std::string("\0\1\2", 3));
  EXPECT_FALSE(IsPathExist(m_dir / "a.txt.version"));
  EXPECT_FALSE(IsPathExist(m_dir / "a.txt.tmp"));
  const DownloadProgress& p = m_downloader.GetProgress();
  EXPECT_EQ(p.completed, 2);
  EXPECT_EQ(p.total, 2);
  EXPECT_EQ(p.running, 0);
  EXPECT_TRUE(Logged("download file " + Url("a.txt.3") + " to " + m_dir / "a.txt"));
  auto requests = m_http.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) {
    EXPECT_EQ(r.headers.find("User-Agent")->second,
              "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; CIBA)");
    EXPECT_EQ(r.headers.find("Connection")->second, "Keep-Alive");
    EXPECT_EQ(r.headers.find("REMOTE_PORT")->second,
              requests[0].headers.find("REMOTE_PORT")->second)
        << "the connection is reused";
  }
  EXPECT_TRUE(m_system.MessageBoxes().empty());
}

TEST_F(DownloaderTest, RedirectAndNotModifiedAreAcceptedAsTheyCame) {
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/code/302"), m_dir / "r"));
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/code/304"), m_dir / "n"));
  ASSERT_TRUE(m_downloader.Excute(false, false));
  EXPECT_EQ(ReadFile(m_dir / "r"), "body of 302");
  EXPECT_TRUE(IsPathExist(m_dir / "n"));
}

TEST_F(DownloaderTest, FailingSectionGetsThreePassesOfThreeAttemptsAndLaterOnesAreNotTried) {
  for (const char* code : {"404", "500"}) {
    Serve("later.1", "later");
    m_downloader.Reset();
    const std::string url = m_http.Url(std::string("/code/") + code);
    ASSERT_TRUE(m_downloader.Add(url, m_dir / "failing"));
    ASSERT_TRUE(m_downloader.Add(Url("later.1"), m_dir / "later"));
    uint64_t sleptBefore = m_system.SleptMilliseconds();
    size_t boxesBefore = m_system.MessageBoxes().size();

    EXPECT_FALSE(m_downloader.Excute(false, false));
    EXPECT_EQ(RequestsFor(std::string("/code/") + code), 9u);
    EXPECT_EQ(RequestsFor("/files/later.1"), 0u);
    EXPECT_EQ(m_system.SleptMilliseconds() - sleptBefore, 9 * kPauseMs);
    auto boxes = m_system.MessageBoxes();
    ASSERT_EQ(boxes.size() - boxesBefore, 3u);
    EXPECT_EQ(boxes.back().text, Fill(kFailedBox, url));
    EXPECT_EQ(boxes.back().caption, "错误");
    EXPECT_TRUE(Logged("download " + url + " failed(" + code + ")"));
    EXPECT_TRUE(Logged("download " + m_dir / "failing" + " failed"));
    EXPECT_TRUE(Logged("Downloader(304) : bDownloaded"));
    EXPECT_TRUE(Logged("Downloader(375) : m_pRequest->Excute()"));
    EXPECT_FALSE(IsPathExist(m_dir / "failing"));
    EXPECT_FALSE(IsPathExist(m_dir / "later"));
    EXPECT_EQ(m_downloader.GetProgress().completed, 0);
  }
}

TEST_F(DownloaderTest, CutBodyAndClosedConnectionAreRetriedAndNeverInstalled) {
  WriteFile(m_dir / "f", "old");
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/flaky"), m_dir / "f"));
  m_system.onMessageBox = [&](const auto&) { ADD_FAILURE() << "no box expected"; };
  ASSERT_TRUE(m_downloader.Excute(false, false));
  EXPECT_EQ(m_flakyCalls, 3);
  EXPECT_EQ(ReadFile(m_dir / "f"), "whole");
  EXPECT_EQ(m_system.SleptMilliseconds(), 2 * kPauseMs);
}

TEST_F(DownloaderTest, ServerThatNeverAnswersGivesThreeBoxesAndOnCompleteAfterNineAttempts) {
  Callback callback(m_downloader);
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/stall"), m_dir / "never"));
  ASSERT_TRUE(m_downloader.ExcuteThread(false, false, &callback));
  ASSERT_TRUE(callback.WaitForCompletions(1));
  // Each attempt times out (28); the stalled server may not even take the later connections.
  EXPECT_EQ(LogCount("download " + m_http.Url("/stall") + " failed(28)"), 9u);
  EXPECT_EQ(m_system.MessageBoxes().size(), 3u);
  EXPECT_EQ(callback.m_lastRunning, 0);
  EXPECT_FALSE(IsPathExist(m_dir / "never"));
}

TEST_F(DownloaderTest, XzBodiesAreUnpackedAndOtherBodiesInstalledAsReceived) {
  const std::string big = TestText(300000);
  Serve("one.xz.1", XzCompress(big));
  Serve("two.xz.1", XzCompress("first ") + XzCompress("second"));
  Serve("plain.1", "not compressed at all");
  ASSERT_TRUE(m_downloader.Add(Url("one.xz.1"), m_dir / "one"));
  ASSERT_TRUE(m_downloader.Add(Url("two.xz.1"), m_dir / "two"));
  ASSERT_TRUE(m_downloader.Add(Url("plain.1"), m_dir / "plain"));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  EXPECT_EQ(ReadFile(m_dir / "one"), big);
  EXPECT_EQ(ReadFile(m_dir / "two"), "first second");
  EXPECT_EQ(ReadFile(m_dir / "plain"), "not compressed at all");
  EXPECT_EQ(ReadFile(m_dir / "plain.version"), "1");
  for (const char* leftover : {"one.tmp", "one.tmp2", "plain.tmp", "plain.tmp2"}) {
    EXPECT_FALSE(IsPathExist(m_dir / leftover)) << leftover;
  }
}

TEST_F(DownloaderTest, DamagedXzFailsAndKeepsTheOldFileWithItsMarker) {
  std::string truncated = XzCompress(TestText(50000));
  truncated.resize(truncated.size() / 2);
  std::string corrupt = XzCompress("checked content");
  corrupt[corrupt.size() / 2] ^= 0x55;
  for (const std::string& body : {truncated, corrupt}) {
    Serve("d.5", body);
    WriteFile(m_dir / "d", "old content");
    WriteFile(m_dir / "d.version", "4");
    m_downloader.Reset();
    ASSERT_TRUE(m_downloader.Add(Url("d.5"), m_dir / "d"));
    EXPECT_FALSE(m_downloader.Excute(true, true));
    EXPECT_EQ(ReadFile(m_dir / "d"), "old content");
    EXPECT_EQ(ReadFile(m_dir / "d.version"), "4");
  }
}

TEST_F(DownloaderTest, MarkersOnlyForInstalledSections) {
  Serve("ok.7", "seven");
  ASSERT_TRUE(m_downloader.Add(Url("ok.7"), m_dir / "ok"));
  ASSERT_TRUE(m_downloader.Add(Url("missing.8"), m_dir / "missing"));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_EQ(ReadFile(m_dir / "ok.version"), "7");
  EXPECT_EQ(ReadLocalVersion(m_dir / "ok"), 7);
  EXPECT_FALSE(IsPathExist(m_dir / "missing.version"));
  EXPECT_EQ(m_downloader.GetProgress().completed, 1);
}

TEST_F(DownloaderTest, LockedOldFileShowsItsBoxAndKeepsFileAndMarkerUntilReleased) {
  Serve("f.2", XzCompress("new"));
  WriteFile(m_dir / "f", "old");
  WriteFile(m_dir / "f.version", "1");
  m_system.Lock(m_dir / "f");
  m_system.onMessageBox = [&](const sys::FakeSystem::MessageBoxCall& box) {
    EXPECT_EQ(ReadFile(m_dir / "f"), "old");
    EXPECT_EQ(ReadFile(m_dir / "f.version"), "1");
    if (box.caption == "更新失败") m_system.Unlock(m_dir / "f");
  };
  ASSERT_TRUE(m_downloader.Add(Url("f.2"), m_dir / "f"));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  auto boxes = m_system.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "删除旧版文件" + m_dir / "f" + "失败，文件被锁定，请先关闭游戏。");
  EXPECT_EQ(ReadFile(m_dir / "f"), "new");
  EXPECT_EQ(ReadFile(m_dir / "f.version"), "2");
}

TEST_F(DownloaderTest, LockedTemporaryFilesShowTheirBoxes) {
  Serve("x.1", XzCompress("unpacked"));
  Serve("p.1", "plain");
  struct Case {
    std::string url, locked, box;
  } cases[] = {
      {Url("x.1"), m_dir / "x.tmp",
       "清理临时文件" + m_dir / "x" + "失败，文件被锁定，请先关闭游戏。"},
      {Url("p.1"), m_dir / "p.tmp2",
       "清理旧版文件" + m_dir / "p" + "失败，文件被锁定，请先关闭游戏。"},
  };
  for (const Case& c : cases) {
    m_system.Lock(c.locked);
    std::vector<std::string> texts;
    m_system.onMessageBox = [&](const sys::FakeSystem::MessageBoxCall& box) {
      texts.push_back(box.text);
      m_system.Unlock(c.locked);
    };
    m_downloader.Reset();
    const std::string target = c.locked.substr(0, c.locked.find(".tmp"));
    ASSERT_TRUE(m_downloader.Add(c.url, target));
    EXPECT_TRUE(m_downloader.Excute(true, false));
    EXPECT_EQ(texts, std::vector<std::string>{c.box});
  }
  EXPECT_EQ(ReadFile(m_dir / "x"), "unpacked");
  EXPECT_EQ(ReadFile(m_dir / "p"), "plain");
}

TEST_F(DownloaderTest, MarkerThatCannotBeWrittenFailsTheAttemptAndNamesNothing) {
  Serve("m.3", "three");
  // The file's name fits the file system, its marker's name (8 bytes longer) does not.
  const std::string file = m_dir / std::string(250, 'm');
  ASSERT_TRUE(m_downloader.Add(Url("m.3"), file));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_EQ(RequestsFor("/files/m.3"), 9u);
  EXPECT_EQ(ReadFile(file), "three");
  EXPECT_EQ(ReadLocalVersion(file), 0);  // the next run downloads it again
}

// The marker write fails right after the new file took the old one's place: no file descriptor
// is left for it. The first retry pause gives them back, so the second attempt installs.
class MarkerAfterRenameFails : public sys::FakeSystem {
 public:
  explicit MarkerAfterRenameFails(std::string file) : m_file(std::move(file)) {}
  bool MoveFileReplace(const std::string& from, const std::string& to) override {
    if (!FakeSystem::MoveFileReplace(from, to)) return false;
    if (to == m_file && !m_bFailed) {
      m_bFailed = true;
      getrlimit(RLIMIT_NOFILE, &m_limit);
      const int lowestFree = open("/dev/null", O_RDONLY);
      close(lowestFree);
      rlimit none = m_limit;
      none.rlim_cur = static_cast<rlim_t>(lowestFree);
      setrlimit(RLIMIT_NOFILE, &none);
    }
    return true;
  }
  bool Pause(uint32_t milliseconds, const sys::Signal& wake) override {
    if (m_bFailed && !m_bPaused) {
      m_bPaused = true;
      setrlimit(RLIMIT_NOFILE, &m_limit);
      contentAtFailure = ReadFile(m_file);
      markerAtFailure =
          IsPathExist(VersionFileName(m_file)) ? ReadFile(VersionFileName(m_file)) : "";
    }
    return FakeSystem::Pause(milliseconds, wake);
  }
  std::string contentAtFailure, markerAtFailure;

 private:
  std::string m_file;
  rlimit m_limit{};
  bool m_bFailed = false, m_bPaused = false;
};

TEST_F(DownloaderTest, MarkerWriteFailingAfterTheRenameLeavesNoOldMarker) {
  Serve("g.5", XzCompress("new content"));
  WriteFile(m_dir / "g", "old content");
  WriteFile(m_dir / "g.version", "4");
  MarkerAfterRenameFails system(m_dir / "g");
  ASSERT_TRUE(m_downloader.Add(Url("g.5"), m_dir / "g"));
  EXPECT_TRUE(m_downloader.Excute(true, true));
  // Between the attempts the file held the new content: its marker must not name the old one.
  EXPECT_EQ(system.contentAtFailure, "new content");
  EXPECT_EQ(system.markerAtFailure, "");
  EXPECT_EQ(ReadFile(m_dir / "g"), "new content");
  EXPECT_EQ(ReadFile(m_dir / "g.version"), "5");
}

// The disk fills up in the middle of a download: no file may grow past `bytes`, and a write
// beyond fails (EFBIG) instead of ending the process. Only this process's files are limited.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : m_handler(signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &m_limit);
    rlimit low = m_limit;
    low.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &low);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_limit);
    signal(SIGXFSZ, m_handler);
  }

 private:
  sighandler_t m_handler;
  rlimit m_limit{};
};

TEST_F(DownloaderTest, FullDiskFailsEveryAttemptAndKeepsTheOldFileWithoutLeftovers) {
  constexpr rlim_t kDiskBytes = 100000;
  const std::string big = TestText(300000);
  Serve("plain.5", big);               // the body itself does not fit
  Serve("packed.5", XzCompress(big));  // the body fits, its unpacked content does not
  ASSERT_LT(XzCompress(big).size(), kDiskBytes);
  for (const std::string name : {"plain", "packed"}) {
    const std::string file = m_dir / name;
    WriteFile(file, "old content");
    WriteFile(file + ".version", "4");
    m_downloader.Reset();
    ASSERT_TRUE(m_downloader.Add(Url(name + ".5"), file));
    {
      FileSizeLimit full(kDiskBytes);
      EXPECT_FALSE(m_downloader.Excute(true, true));
    }
    EXPECT_EQ(RequestsFor("/files/" + name + ".5"), 9u);
    EXPECT_EQ(ReadFile(file), "old content");
    EXPECT_EQ(ReadFile(file + ".version"), "4");
    EXPECT_FALSE(IsPathExist(file + ".tmp")) << name;
    EXPECT_FALSE(IsPathExist(file + ".tmp2")) << name;
    // Each attempt says why it failed: retrying cannot help until the player makes room.
    const auto boxes = m_system.MessageBoxes();
    EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(),
                            [&](const sys::FakeSystem::MessageBoxCall& box) {
                              return box.caption == "更新失败" &&
                                     box.text == Fill(kDiskFullBox, file);
                            }),
              9)
        << name;
  }
}

TEST_F(DownloaderTest, JobWithoutSectionsOrWithoutRequest) {
  EXPECT_FALSE(m_downloader.Excute(false, false));
  EXPECT_FALSE(m_downloader.ExcuteThread(false, false, nullptr));
  EXPECT_TRUE(Logged("Downloader(372) : m_pRequest"));
  EXPECT_TRUE(Logged("Downloader(396) : m_pRequest"));

  DownloadProgress progress;
  progress.running = 1;
  sys::Signal abort;
  Downloader::Request empty(nullptr, &progress, {}, &abort);
  EXPECT_FALSE(empty.Excute());
  EXPECT_EQ(progress.running, 0);
  EXPECT_TRUE(Logged("Downloader(256) : !m_sections.empty()"));
}

TEST_F(DownloaderTest, DownloadFileForTheSelfUpdate) {
  Serve("launcherversion.txt", "1.0.0.2");
  EXPECT_TRUE(m_downloader.DownloadFile(Url("launcherversion.txt"), m_dir / "lv.txt", false));
  EXPECT_EQ(ReadFile(m_dir / "lv.txt"), "1.0.0.2");
  EXPECT_FALSE(m_downloader.DownloadFile(Url("absent"), m_dir / "absent", false));
  EXPECT_TRUE(Logged("Downloader(386) : Excute(bDecompress, false)"));
}

TEST_F(DownloaderTest, OnCompleteChainsTheNextJob) {
  Serve("first.1", "1");
  Serve("second.2", "2");
  Callback callback(m_downloader);
  callback.then = [&] {
    if (callback.Completions() > 0) return;
    m_downloader.Reset();
    ASSERT_TRUE(m_downloader.Add(Url("second.2"), m_dir / "second"));
    ASSERT_TRUE(m_downloader.ExcuteThread(true, true, &callback));
  };
  ASSERT_TRUE(m_downloader.Add(Url("first.1"), m_dir / "first"));
  ASSERT_TRUE(m_downloader.ExcuteThread(false, false, &callback));
  ASSERT_TRUE(callback.WaitForCompletions(2));
  EXPECT_EQ(ReadFile(m_dir / "first"), "1");
  EXPECT_EQ(ReadFile(m_dir / "second"), "2");
  EXPECT_EQ(ReadFile(m_dir / "second.version"), "2");
  EXPECT_EQ(callback.m_lastCompleted, 1);
}

TEST_F(DownloaderTest, DestroyingTheDownloaderEndsARunningJobWithoutOnComplete) {
  Callback callback(m_downloader);
  auto start = std::chrono::steady_clock::now();
  {
    Downloader downloader(Downloader::Timing{.retryPauseMs = kPauseMs});
    Callback own(downloader);
    ASSERT_TRUE(downloader.Add(m_http.Url("/stall"), m_dir / "never"));
    ASSERT_TRUE(downloader.ExcuteThread(false, false, &own));
    while (RequestsFor("/stall") == 0) std::this_thread::sleep_for(5ms);
    downloader.Reset();  // the owner's clean-up, from another thread than the job's
    EXPECT_EQ(own.Completions(), 0);
    EXPECT_EQ(downloader.GetRequest(), nullptr);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(m_system.MessageBoxes().empty());
  EXPECT_FALSE(IsPathExist(m_dir / "never"));
}

}  // namespace

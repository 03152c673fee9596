// The manifests job against a loopback server: what it leaves in the work folder.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "TestHttpServer.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"
#include "update/FileUtil.h"
#include "update/SignedTree.h"
#include "update/UpdatePlan.h"

namespace {

class JobEnd : public Downloader::ICallback {
 public:
  void OnProgress() override {}
  void OnComplete() override { m_ended.Set(); }
  bool Wait() { return m_ended.WaitFor(20000); }

 private:
  sys::Signal m_ended;
};

// The manifests job of a signed tree (the content list comes too) against `m_http`.
class ManifestJobTest : public ::testing::Test {
 protected:
  void RunJob(const std::string& key = std::string(64, '0')) {
    m_http.Start();
    AppConfig config;
    config.strWorkPath = m_dir.path();
    config.strDataHost = m_http.Url("/");
    config.strUpdatePublicKey = key;
    Downloader downloader(Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 0});
    JobEnd end;
    ASSERT_TRUE(StartManifestJob(downloader, config, m_versions, m_files, &end));
    ASSERT_TRUE(end.Wait());
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  const SignedListFiles m_list = GameTreeListFiles(m_dir.path());
  const std::string m_versions = VersionsFilePath(m_dir.path());
  const std::string m_files = GameFilesPath(m_dir.path());
};

// A job killed while it wrote the manifests leaves their temporary files. One that stops at the
// first manifest (here a tree being replaced, answering 404) never gets to the others, so no
// attempt would ever replace or delete theirs: the next job removes them all before it starts.
TEST_F(ManifestJobTest, StaleTemporaryFilesOfEveryManifestAreRemoved) {
  const std::vector<std::string> stale = {m_versions + ".tmp", m_files + ".tmp",
                                          m_list.list + ".tmp", m_list.signature + ".tmp"};
  for (const std::string& path : stale) WriteFile(path, "cut short by a crash");
  WriteFile(m_dir / "unlisted.tmp", "not a manifest's");
  RunJob();
  EXPECT_EQ(m_http.RequestCount("//versions.txt"), 9u);
  EXPECT_EQ(m_http.RequestCount("/standalone/launcher/gamefiles.txt"), 0u);
  for (const std::string& path : stale) EXPECT_FALSE(IsPathExist(path)) << path;
  EXPECT_TRUE(IsPathExist(m_dir / "unlisted.tmp"));
}

// A signature is a line per key: one of kilobytes is no signature, and is not received whole.
TEST_F(ManifestJobTest, AnOversizedSignatureFailsAsItArrives) {
  m_http.server().Get(".*", [](const httplib::Request& req, httplib::Response& res) {
    const bool signature = req.path.ends_with("contentlist.sig");
    res.set_content(std::string(signature ? kMaxSignatureBytes + 1 : 10, 's'), "text/plain");
  });
  RunJob();
  EXPECT_EQ(ReadFile(m_list.list), std::string(10, 's'));
  EXPECT_FALSE(IsPathExist(m_list.signature));
  const auto log = m_system.DebugOutput();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      m_list.signature + ".tmp: more than 4096 bytes, the most it may hold"),
            log.end());
}

// Without a key the list is fetched only in case the tree publishes one: a tree without it (a
// 404, or a 403 as some stores answer) costs one request, no retry, no log line and no box, and
// a copy an earlier tree left is gone; a tree with one has it copied.
TEST_F(ManifestJobTest, AnUnsignedTreeMayPublishItsListAndAnOldOneCostsOneQuietRequest) {
  for (const int status : {404, 403, 200}) {
    SCOPED_TRACE(status);
    TestHttpServer http;
    http.server().Get(".*", [status](const httplib::Request& req, httplib::Response& res) {
      res.status = req.path.ends_with("contentlist.txt") ? status : 200;
      res.set_content("body of " + req.path, "text/plain");
    });
    http.Start();
    WriteFile(m_list.list, "an earlier tree's list");
    AppConfig config;
    config.strWorkPath = m_dir.path();
    config.strDataHost = http.Url("/");
    Downloader downloader(Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 0});
    JobEnd end;
    ASSERT_TRUE(StartManifestJob(downloader, config, m_versions, m_files, &end));
    ASSERT_TRUE(end.Wait());
    EXPECT_EQ(http.RequestCount("/contentlist.txt"), 1u);
    EXPECT_EQ(IsPathExist(m_list.list), status == 200);
    EXPECT_TRUE(IsPathExist(m_files));
    EXPECT_FALSE(IsPathExist(m_list.signature));
    EXPECT_TRUE(m_system.MessageBoxes().empty());
    for (const std::string& line : m_system.DebugOutput()) {
      EXPECT_EQ(line.find("contentlist"), std::string::npos) << line;
    }
  }
}

}  // namespace

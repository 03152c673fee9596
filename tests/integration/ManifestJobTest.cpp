// The manifests job against a loopback server: what it leaves in the work folder.
#include <gtest/gtest.h>

#include "AppConfig.h"
#include "FileUtil.h"
#include "SignedTree.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "UpdatePlan.h"
#include "platform/headless/FakeSystem.h"

namespace {

class JobEnd : public Downloader::ICallback {
 public:
  void OnProgress() override {}
  void OnComplete() override { m_ended.Set(); }
  bool Wait() { return m_ended.WaitFor(20000); }

 private:
  sys::Signal m_ended;
};

// A job killed while it wrote the manifests leaves their temporary files. One that stops at the
// first manifest (here a tree being replaced, answering 404) never gets to the others, so no
// attempt would ever replace or delete theirs: the next job removes them all before it starts.
TEST(ManifestJobTest, StaleTemporaryFilesOfEveryManifestAreRemoved) {
  sys::FakeSystem system;
  TempDir dir;
  TestHttpServer http;
  http.Start();
  AppConfig config;
  config.strWorkPath = dir.path();
  config.strDataHost = http.Url("/");
  config.strUpdatePublicKey = std::string(64, '0');  // the content list comes too
  const SignedListFiles list = GameTreeListFiles(dir.path());
  const std::string versions = VersionsFilePath(dir.path()), files = GameFilesPath(dir.path());
  const std::vector<std::string> stale = {versions + ".tmp", files + ".tmp", list.list + ".tmp",
                                          list.signature + ".tmp"};
  for (const std::string& path : stale) WriteFile(path, "cut short by a crash");
  WriteFile(dir / "unlisted.tmp", "not a manifest's");

  Downloader downloader(Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 0});
  JobEnd end;
  ASSERT_TRUE(StartManifestJob(downloader, config, versions, files, &end));
  ASSERT_TRUE(end.Wait());
  EXPECT_EQ(http.RequestCount("//versions.txt"), 9u);
  EXPECT_EQ(http.RequestCount("/standalone/launcher/gamefiles.txt"), 0u);
  for (const std::string& path : stale) EXPECT_FALSE(IsPathExist(path)) << path;
  EXPECT_TRUE(IsPathExist(dir / "unlisted.tmp"));
}

// A signature is a line per key: one of kilobytes is no signature, and is not received whole.
TEST(ManifestJobTest, AnOversizedSignatureFailsAsItArrives) {
  sys::FakeSystem system;
  TempDir dir;
  TestHttpServer http;
  http.server().Get(".*", [](const httplib::Request& req, httplib::Response& res) {
    const bool signature = req.path.ends_with("contentlist.sig");
    res.set_content(std::string(signature ? kMaxSignatureBytes + 1 : 10, 's'), "text/plain");
  });
  http.Start();
  AppConfig config;
  config.strWorkPath = dir.path();
  config.strDataHost = http.Url("/");
  config.strUpdatePublicKey = std::string(64, '0');
  const SignedListFiles list = GameTreeListFiles(dir.path());
  Downloader downloader(Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 0});
  JobEnd end;
  ASSERT_TRUE(StartManifestJob(downloader, config, VersionsFilePath(dir.path()),
                               GameFilesPath(dir.path()), &end));
  ASSERT_TRUE(end.Wait());
  EXPECT_EQ(ReadFile(list.list), std::string(10, 's'));
  EXPECT_FALSE(IsPathExist(list.signature));
  const auto log = system.DebugOutput();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      list.signature + ".tmp: more than 4096 bytes, the most it may hold"),
            log.end());
}

}  // namespace

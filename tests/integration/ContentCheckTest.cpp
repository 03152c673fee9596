#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "Downloader.h"
#include "FileUtil.h"
#include "Signature.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"

namespace {

// Downloads that must hold a signed content: what the transfer and the unpacking produced is
// checked before it replaces the old file.
class ContentCheckTest : public ::testing::Test {
 protected:
  ContentCheckTest() {
    m_http.server().Get(R"(/files/(.*))",
                        [this](const httplib::Request& req, httplib::Response& res) {
                          std::lock_guard lock(m_mutex);
                          const auto it = m_content.find(req.matches[1]);
                          if (it == m_content.end()) {
                            res.status = 404;
                          } else {
                            res.set_content(it->second, "application/octet-stream");
                          }
                        });
    m_http.Start();
  }
  void Serve(const std::string& name, const std::string& content) {
    std::lock_guard lock(m_mutex);
    m_content[name] = content;
  }
  std::string Url(const std::string& name) { return m_http.Url("/files/" + name); }
  size_t RequestsFor(const std::string& name) { return m_http.RequestCount("/files/" + name); }
  bool Logged(const std::string& line) { return std::ranges::count(m_system.DebugOutput(), line); }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  Downloader m_downloader{Downloader::Timing{5000, 0}};
  std::mutex m_mutex;
  std::map<std::string, std::string> m_content;
};

TEST_F(ContentCheckTest, UnpackedContentThatIsTheSignedOneIsInstalled) {
  const std::string big = TestText(200000);
  Serve("big.2", XzCompress(big));
  Serve("plain.1", "installed as received");
  const ContentDigest bigDigest = HashBytes(big), plainDigest = HashBytes("installed as received");
  ASSERT_TRUE(m_downloader.Add(Url("big.2"), m_dir / "big", &bigDigest));
  ASSERT_TRUE(m_downloader.Add(Url("plain.1"), m_dir / "plain", &plainDigest));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  EXPECT_EQ(ReadFile(m_dir / "big"), big);
  EXPECT_EQ(ReadFile(m_dir / "big.version"), "2");
  EXPECT_EQ(ReadFile(m_dir / "plain"), "installed as received");
}

// A payload swapped on the server (or on the way) after signing: the attempt fails like a cut
// body, so it is retried, then the job fails; the old file and its marker stay, and nothing of
// the download is left behind.
TEST_F(ContentCheckTest, SwappedPayloadIsNeverInstalled) {
  WriteFile(m_dir / "game.exe", "old game");
  WriteFile(m_dir / "game.exe.version", "1");
  Serve("game.exe.2", XzCompress("evil game"));
  Serve("later.1", "later");
  const ContentDigest signedGame = HashBytes("new game!"), later = HashBytes("later");
  ASSERT_TRUE(m_downloader.Add(Url("game.exe.2"), m_dir / "game.exe", &signedGame));
  ASSERT_TRUE(m_downloader.Add(Url("later.1"), m_dir / "later", &later));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_EQ(RequestsFor("game.exe.2"), 9u);
  EXPECT_EQ(RequestsFor("later.1"), 0u);
  EXPECT_EQ(m_system.MessageBoxes().size(), 3u);
  EXPECT_EQ(ReadFile(m_dir / "game.exe"), "old game");
  EXPECT_EQ(ReadFile(m_dir / "game.exe.version"), "1");
  for (const char* leftover : {"game.exe.tmp", "game.exe.tmp2", "later"}) {
    EXPECT_FALSE(IsPathExist(m_dir / leftover)) << leftover;
  }
  EXPECT_TRUE(Logged("download " + m_dir / "game.exe" +
                     " failed: the file has other content, not the signed content"));

  // Same size, other bytes, or other size: both refused; put right, the file installs.
  const ContentDigest shorter = HashBytes("evil");
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("game.exe.2"), m_dir / "game.exe", &shorter));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_TRUE(Logged("download " + m_dir / "game.exe" +
                     " failed: the file has 9 bytes, not 4, not the signed content"));
  Serve("game.exe.2", XzCompress("new game!"));
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("game.exe.2"), m_dir / "game.exe", &signedGame));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  EXPECT_EQ(ReadFile(m_dir / "game.exe"), "new game!");
  EXPECT_EQ(ReadFile(m_dir / "game.exe.version"), "2");
}

}  // namespace

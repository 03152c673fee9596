#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "TempDir.h"
#include "TestHttpServer.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/Downloader.h"
#include "update/FileUtil.h"
#include "update/Signature.h"

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
    // Each name's first answer is cut short halfway, the next ones are whole.
    m_http.server().Get(
        R"(/cut-once/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
          std::lock_guard lock(m_mutex);
          const std::string content = m_content[req.matches[1]];
          if (m_cut[req.matches[1]]++ > 0) {
            res.set_content(content, "application/octet-stream");
            return;
          }
          res.set_content_provider(content.size(), "application/octet-stream",
                                   [content](size_t, size_t, httplib::DataSink& sink) {
                                     sink.write(content.data(), content.size() / 2);
                                     return false;
                                   });
        });
    m_http.Start();
  }
  void Serve(const std::string& name, const std::string& content) {
    std::lock_guard lock(m_mutex);
    m_content[name] = content;
  }
  std::string Url(const std::string& name) { return m_http.Url("/files/" + name); }
  size_t RequestsFor(const std::string& name) { return m_http.RequestCount("/files/" + name); }
  int Cuts(const std::string& name) {
    std::lock_guard lock(m_mutex);
    return m_cut[name];
  }
  bool Logged(const std::string& line) { return std::ranges::count(m_system.DebugOutput(), line); }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  Downloader m_downloader{Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 0}};
  std::mutex m_mutex;
  std::map<std::string, std::string> m_content;
  std::map<std::string, int> m_cut;
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

// A payload that is not the content an unsigned list gives (damage, or a mirror half-way through
// a sync): the attempt fails like a cut body, so it is retried, then the job fails; the old file
// and its marker stay, and nothing of the download is left behind.
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

  // Same size, other bytes, or other size: both refused (a larger one as soon as it passes the
  // signed size, a smaller one once whole); put right, the file installs.
  const ContentDigest shorter = HashBytes("evil"), longer = HashBytes("new game!!");
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("game.exe.2"), m_dir / "game.exe", &shorter));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_TRUE(Logged(m_dir / "game.exe.tmp2" + ": more than 4 bytes, the most it may hold"));
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("game.exe.2"), m_dir / "game.exe", &longer));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_TRUE(Logged("download " + m_dir / "game.exe" +
                     " failed: the file has 9 bytes, not 10, not the signed content"));
  Serve("game.exe.2", XzCompress("new game!"));
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("game.exe.2"), m_dir / "game.exe", &signedGame));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  EXPECT_EQ(ReadFile(m_dir / "game.exe"), "new game!");
  EXPECT_EQ(ReadFile(m_dir / "game.exe.version"), "2");
}

// A signed file served whole with other content is the server's answer, not an accident of the
// transfer: one request, no box, the job ends at once with the refusal saying which file, with
// one connection or several. Only a cut body is tried again.
TEST_F(ContentCheckTest, ASignedFileOfOtherContentIsRefusedAtOnce) {
  WriteFile(m_dir / "game.exe", "old game");
  Serve("game.exe.2", XzCompress("evil game"));
  const ContentDigest signedGame = HashBytes("new game!");
  for (const int connections : {1, 4}) {
    SCOPED_TRACE(connections);
    const size_t requests = RequestsFor("game.exe.2");
    m_downloader.Reset();
    m_downloader.SetConnections(connections);
    ASSERT_TRUE(m_downloader.AddSigned(Url("game.exe.2"), m_dir / "game.exe", signedGame));
    for (int i = 0; i < 8; ++i) {
      ASSERT_TRUE(m_downloader.AddSigned(m_http.Url("/cut-once/f" + std::to_string(i)),
                                         m_dir / ("f" + std::to_string(i)), HashBytes("")));
    }
    EXPECT_FALSE(m_downloader.Excute(true, true));
    EXPECT_EQ(RequestsFor("game.exe.2"), requests + 1);
    EXPECT_TRUE(m_system.MessageBoxes().empty());
    EXPECT_EQ(m_downloader.GetRefusal().kind, Refusal::NotGenuine);
    EXPECT_EQ(m_downloader.GetRefusal().reason, "the download of " + m_dir / "game.exe" +
                                                    " has other content, not the signed content");
    EXPECT_EQ(ReadFile(m_dir / "game.exe"), "old game");
    EXPECT_FALSE(IsPathExist(m_dir / "game.exe.tmp2"));
  }
  // A body longer than the signed size is refused as it passes it.
  Serve("game.exe.2", XzCompress("evil game, longer than signed"));
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.AddSigned(Url("game.exe.2"), m_dir / "game.exe", signedGame));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_EQ(m_downloader.GetRefusal().reason, "the download of " + m_dir / "game.exe" +
                                                  " has more than 9 bytes, not the signed content");
  EXPECT_TRUE(m_system.MessageBoxes().empty());
  m_downloader.Reset();
  EXPECT_EQ(m_downloader.GetRefusal().kind, Refusal::None);
}

// A plain body is checked as received, byte for byte: same size and other bytes is refused, and
// so is a body that opens like .xz but is not.
TEST_F(ContentCheckTest, SwappedPlainPayloadIsNeverInstalled) {
  Serve("plain.1", "evil bytes of the same size");
  Serve("magic.1", std::string("\xFD"
                               "7zX and not packed"));
  const ContentDigest signedPlain = HashBytes("good bytes of the same size");
  const ContentDigest signedMagic =
      HashBytes(std::string("\xFD"
                            "7zX and not PACKED"));
  ASSERT_TRUE(m_downloader.Add(Url("plain.1"), m_dir / "plain", &signedPlain));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_FALSE(IsPathExist(m_dir / "plain"));
  EXPECT_TRUE(Logged("download " + m_dir / "plain" +
                     " failed: the file has other content, not the signed content"));
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("magic.1"), m_dir / "magic", &signedMagic));
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_FALSE(IsPathExist(m_dir / "magic"));

  // Without unpacking, the .xz bytes as received are the content.
  const std::string packed = XzCompress("packed");
  const ContentDigest signedPacked = HashBytes(packed), unpacked = HashBytes("packed");
  Serve("packed.1", packed);
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("packed.1"), m_dir / "unpacked", &unpacked));
  EXPECT_FALSE(m_downloader.Excute(false, false));
  m_downloader.Reset();
  ASSERT_TRUE(m_downloader.Add(Url("packed.1"), m_dir / "packed", &signedPacked));
  ASSERT_TRUE(m_downloader.Excute(false, false));
  EXPECT_EQ(ReadFile(m_dir / "packed"), packed);
}

// Every attempt starts its digest afresh: the bytes of a cut attempt never count toward the
// next one, which installs and checks out.
TEST_F(ContentCheckTest, RetryAfterACutBodyInstallsTheSignedContent) {
  const std::string big = TestText(300000);
  Serve("big.2", XzCompress(big));
  Serve("plain.2", TestText(100000));
  const ContentDigest bigDigest = HashBytes(big), plainDigest = HashBytes(TestText(100000));
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/cut-once/big.2"), m_dir / "big", &bigDigest));
  ASSERT_TRUE(m_downloader.Add(m_http.Url("/cut-once/plain.2"), m_dir / "plain", &plainDigest));
  ASSERT_TRUE(m_downloader.Excute(true, true));
  EXPECT_EQ(Cuts("big.2"), 2);
  EXPECT_EQ(Cuts("plain.2"), 2);
  EXPECT_EQ(ReadFile(m_dir / "big"), big);
  EXPECT_EQ(ReadFile(m_dir / "plain"), TestText(100000));
  EXPECT_EQ(ReadFile(m_dir / "plain.version"), "2");
}

// Transfers at once each hash their own body: every signed file installs, cut ones after
// their retry, and only the swapped one is refused.
TEST_F(ContentCheckTest, ConcurrentTransfersEachCheckTheirOwnContent) {
  std::vector<ContentDigest> digests;
  for (int i = 0; i < 8; ++i) {
    const std::string content = TestText(50000 + i * 7001);
    Serve("f" + std::to_string(i), i % 2 ? content : XzCompress(content));
    digests.push_back(HashBytes(content));
  }
  for (int i = 0; i < 8; ++i) {
    const std::string name = "f" + std::to_string(i);
    const std::string url = i % 3 ? Url(name) : m_http.Url("/cut-once/" + name);
    ASSERT_TRUE(m_downloader.Add(url, m_dir / name, &digests[i]));
  }
  m_downloader.SetConnections(4);
  ASSERT_TRUE(m_downloader.Excute(true, true));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(ReadFile(m_dir / ("f" + std::to_string(i))), TestText(50000 + i * 7001)) << i;
  }

  Serve("f5", TestText(50000 + 5 * 7001 - 1) + "!");
  m_downloader.Reset();
  for (int i = 0; i < 8; ++i) {
    const std::string name = "f" + std::to_string(i);
    ASSERT_TRUE(m_downloader.Add(Url(name), m_dir / ("again" + name), &digests[i]));
  }
  EXPECT_FALSE(m_downloader.Excute(true, true));
  EXPECT_FALSE(IsPathExist(m_dir / "againf5"));
  for (int i : {0, 1, 2, 3, 4, 6, 7}) {
    EXPECT_TRUE(IsPathExist(m_dir / ("againf" + std::to_string(i)))) << i;
  }
}

}  // namespace

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "SelfUpdate.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "platform/headless/FakeSystem.h"
#include "platform/posix/VersionNote.h"
#include "update/Log.h"
#include "update/Signature.h"

namespace {

// A loopback address where nothing listens: a port the kernel chose, closed again at once.
std::string ClosedPortUrl() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
}

// The built launcher with its version note rewritten to carry `version` ("a.b.c.d").
std::string LauncherBuild(const std::string& version) {
  std::string build = ReadFile(LAUNCHER_EXE);
  const std::string head("\x09\0\0\0\x08\0\0\0\x01\0\0\0Launcher\0\0\0\0", 24);
  const size_t at = build.find(head);
  if (at == std::string::npos) return "";
  auto field = [&](int index) { return sys::FileVersionField(version.c_str(), index); };
  const uint32_t halves[2] = {field(0) << 16 | field(1), field(2) << 16 | field(3)};
  build.replace(at + head.size(), sizeof halves, reinterpret_cast<const char*>(halves),
                sizeof halves);
  return build;
}

// The update server's launcher folder: the version file and the builds it holds.
class SelfUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_work);
    std::filesystem::copy_file(LAUNCHER_EXE, m_work + "Launcher.exe");  // version 1.0.0.1
    m_system.moduleFileName = m_work + "Launcher.exe";
    m_config.strWorkPath = m_work;
    SetLogFile(m_work + "log.txt");
    m_http.server().Get("/launcher/launcherversion.txt",
                        [this](const httplib::Request&, httplib::Response& res) {
                          res.set_content(m_serverVersion, "text/plain");
                        });
    m_http.server().Get(R"(/launcher/Launcher\.exe\.(1\.0\.0\.0|1\.0\.0\.2))",
                        [](const httplib::Request& req, httplib::Response& res) {
                          res.set_content(LauncherBuild(req.matches[1].str()),
                                          "application/octet-stream");
                        });
    // What a misconfigured server or proxy hands out in a build's place, with status 200.
    m_http.server().Get("/launcher/Launcher.exe.1.0.0.3",
                        [](const httplib::Request&, httplib::Response& res) {
                          res.set_content("<html><body>502 Bad Gateway</body></html>", "text/html");
                        });
    m_http.server().Get("/launcher/Launcher.exe.1.0.0.4",
                        [](const httplib::Request&, httplib::Response& res) {
                          res.set_content(LauncherBuild("1.0.0.2"), "application/octet-stream");
                        });
    m_http.Start();
  }
  void TearDown() override { SetLogFile(""); }

  bool TryUpgrade() { return TryUpgradeApp(m_config, m_downloader, m_http.Url("/launcher")); }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (const auto& request : m_http.Requests()) paths.push_back(request.path);
    return paths;
  }
  std::vector<std::string> LauncherBuilds() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
      std::string name = entry.path().filename();
      if (name.rfind("Launcher_", 0) == 0) names.push_back(name);
    }
    return names;
  }
  bool Logged(const std::string& message) {
    for (const std::string& line : m_system.DebugOutput()) {
      if (line == message) return true;
    }
    return false;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  std::string m_work = m_dir / "wan_tarn/";
  AppConfig m_config;
  Downloader m_downloader{Downloader::Timing{.lowSpeedSeconds = 5, .retryPauseMs = 0}};
  TestHttpServer m_http;
  std::string m_serverVersion;
};

TEST_F(SelfUpdateTest, SameVersionGoesOnWithoutFetchingABuild) {
  m_serverVersion = "1.0.0.1\r\n";
  EXPECT_FALSE(TryUpgrade());
  ASSERT_EQ(m_http.Requests().size(), 1u);
  EXPECT_EQ(m_http.Requests()[0].path, "/launcher/launcherversion.txt");
  EXPECT_EQ(m_http.Requests()[0].query, "t=1796598460");
  EXPECT_EQ(ReadFile(m_work + "launcherversion.txt"), "1.0.0.1\r\n");  // left in place
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_TRUE(LauncherBuilds().empty());
}

TEST_F(SelfUpdateTest, LowerVersionIsDownloadedAndStartedInTheWorkFolder) {
  m_serverVersion = "1.0.0.0";
  EXPECT_TRUE(TryUpgrade());
  std::string build = m_work + "Launcher_1.0.0.0.exe";
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/launcher/launcherversion.txt",
                                               "/launcher/Launcher.exe.1.0.0.0"}));
  EXPECT_EQ(GetFileVersionString(build), "1.0.0.0");
  auto starts = m_system.Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].file, build);
  EXPECT_EQ(starts[0].params, "-killpid 4242");
  EXPECT_EQ(starts[0].workDir, m_work);
  EXPECT_TRUE(Logged("download app to " + build + " successed"));
  EXPECT_TRUE(Logged("TryUpgradeApp run " + build + "\n"));
}

TEST_F(SelfUpdateTest, OnlyTheFirstWordCounts) {
  m_serverVersion = "1.0.0.2 1.0.0.1\nnotes";
  EXPECT_TRUE(TryUpgrade());
  EXPECT_EQ(GetFileVersionString(m_work + "Launcher_1.0.0.2.exe"), "1.0.0.2");
  EXPECT_EQ(LauncherBuilds(), std::vector<std::string>{"Launcher_1.0.0.2.exe"});

  m_serverVersion = "1.0.0.1 1.0.0.2";
  EXPECT_FALSE(TryUpgrade());
  EXPECT_EQ(m_system.Starts().size(), 1u);  // only the first check started a build
}

TEST_F(SelfUpdateTest, MissingBuildLetsStartUpGoOn) {
  m_serverVersion = "2.0.0.0";
  EXPECT_FALSE(TryUpgrade());
  EXPECT_EQ(Paths().back(), "/launcher/Launcher.exe.2.0.0.0");
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_FALSE(std::filesystem::exists(m_work + "Launcher_2.0.0.0.exe"));
}

TEST_F(SelfUpdateTest, DownloadThatIsNotABuildIsDeletedAndStartUpGoesOn) {
  m_serverVersion = "1.0.0.3";
  EXPECT_FALSE(TryUpgrade());
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_TRUE(LauncherBuilds().empty());
  EXPECT_TRUE(Logged("downloaded launcher " + m_work +
                     "Launcher_1.0.0.3.exe is not version 1.0.0.3 (it carries \"\"), deleted"));
}

TEST_F(SelfUpdateTest, BuildOfAnotherVersionThanTheWordIsDeletedAndStartUpGoesOn) {
  // Started, it would find the word differing from its own version and hand over again.
  m_serverVersion = "1.0.0.4";
  EXPECT_FALSE(TryUpgrade());
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_TRUE(LauncherBuilds().empty());
  EXPECT_TRUE(
      Logged("downloaded launcher " + m_work +
             "Launcher_1.0.0.4.exe is not version 1.0.0.4 (it carries \"1.0.0.2\"), deleted"));
}

TEST_F(SelfUpdateTest, UnreachableServerLetsStartUpGoOn) {
  EXPECT_FALSE(TryUpgradeApp(m_config, m_downloader, ClosedPortUrl() + "/launcher"));
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_FALSE(std::filesystem::exists(m_work + "launcherversion.txt"));
}

// An empty body (a captive portal's, with status 200), a path, a partial or padded number: no
// build is fetched, none is started, start-up goes on.
TEST_F(SelfUpdateTest, WordThatIsNoVersionMeansNoUpdate) {
  for (const char* word : {"", " \r\n", "../../evil", "1.0.0", "1.0.0.0.0", "1.0.0.65536",
                           "01.0.0.0", "1.0.0.x", "+1.0.0.0", "1.0.0.0/", "<html>"}) {
    m_serverVersion = word;
    EXPECT_FALSE(TryUpgrade()) << word;
    EXPECT_EQ(Paths().back(), "/launcher/launcherversion.txt") << word;
  }
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_TRUE(LauncherBuilds().empty());
  EXPECT_TRUE(Logged("launcher version \"\" is not a version, no update"));
  EXPECT_TRUE(Logged("launcher version \"../../evil\" is not a version, no update"));
  EXPECT_TRUE(IsLauncherVersion("65535.0.10.1"));
}

// A build that cannot be started does not end the process (no window on every start): it is
// deleted and start-up goes on.
TEST_F(SelfUpdateTest, BuildThatDoesNotStartIsDeletedAndStartUpGoesOn) {
  m_serverVersion = "1.0.0.0";
  m_system.startSucceeds = false;
  EXPECT_FALSE(TryUpgrade());
  EXPECT_EQ(m_system.Starts().size(), 1u);
  EXPECT_TRUE(LauncherBuilds().empty());
  EXPECT_TRUE(Logged("TryUpgradeApp cannot start " + m_work +
                     "Launcher_1.0.0.0.exe (2), deleted, start-up goes on"));
}

// A launcher built with a public key: the update folder also holds the signed content list
// that names the current build and its hash.
class SignedSelfUpdateTest : public SelfUpdateTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeKeyPair(m_key));
    for (const char* name : {"txt", "sig"}) {
      m_http.server().Get(std::string("/launcher/contentlist.") + name,
                          [this, name](const httplib::Request&, httplib::Response& res) {
                            res.set_content(name == std::string("txt") ? m_list : m_signature,
                                            "text/plain");
                          });
    }
    SelfUpdateTest::SetUp();
  }
  // Signs a list naming `name` with the content `build`, as sequence `sequence`.
  void SignLauncher(const std::string& name, const std::string& build, uint64_t sequence = 1,
                    const std::string& secretKey = "") {
    ContentList list;
    list.sequence = sequence;
    list.tree = m_listTree;
    list.expires = m_listExpires;
    list.launcherName = name;
    list.launcher = HashBytes(build);
    m_list = FormatContentList(list);
    ASSERT_TRUE(SignMessage(m_list, secretKey.empty() ? m_key.secretKey : secretKey, m_signature));
  }
  bool TrySignedUpgrade() {
    m_config.strUpdatePublicKey = m_key.publicKey;
    return TryUpgrade();
  }
  bool NotStarted(const std::string& line) {
    EXPECT_FALSE(TrySignedUpgrade());
    EXPECT_TRUE(m_system.Starts().empty());
    EXPECT_TRUE(LauncherBuilds().empty());
    return Logged(line) && Logged("downloaded launcher " + m_work +
                                  "Launcher_1.0.0.2.exe is not the signed build, deleted");
  }

  KeyPair m_key;
  std::string m_list, m_signature;
  std::string m_listTree;  // the tree and expiry the next SignLauncher writes
  uint64_t m_listExpires = 0;
};

TEST_F(SignedSelfUpdateTest, SignedBuildIsStarted) {
  m_serverVersion = "1.0.0.2";
  SignLauncher("Launcher.exe.1.0.0.2", LauncherBuild("1.0.0.2"), 3);
  EXPECT_TRUE(TrySignedUpgrade());
  EXPECT_EQ(Paths(), (std::vector<std::string>{
                         "/launcher/launcherversion.txt", "/launcher/Launcher.exe.1.0.0.2",
                         "/launcher/contentlist.txt", "/launcher/contentlist.sig"}));
  ASSERT_EQ(m_system.Starts().size(), 1u);
  EXPECT_EQ(ReadFile(m_work + "launcher-contentlist.seq"), "3");
}

TEST_F(SignedSelfUpdateTest, BuildWhoseHashDiffersIsNotStarted) {
  m_serverVersion = "1.0.0.2";
  SignLauncher("Launcher.exe.1.0.0.2", LauncherBuild("1.0.0.2") + "x");
  EXPECT_TRUE(NotStarted("downloaded launcher " + m_work + "Launcher_1.0.0.2.exe has " +
                         std::to_string(LauncherBuild("1.0.0.2").size()) + " bytes, not " +
                         std::to_string(LauncherBuild("1.0.0.2").size() + 1)));
}

TEST_F(SignedSelfUpdateTest, BuildTheListDoesNotNameIsNotStarted) {
  m_serverVersion = "1.0.0.2";
  SignLauncher("Launcher.exe.1.0.0.0", LauncherBuild("1.0.0.2"));
  EXPECT_TRUE(NotStarted("downloaded launcher " + m_work +
                         "Launcher_1.0.0.2.exe is not the build the signed list names "
                         "(Launcher.exe.1.0.0.0)"));
}

TEST_F(SignedSelfUpdateTest, ListOfAnotherKeyOrAnOlderListIsNotTrusted) {
  m_serverVersion = "1.0.0.2";
  KeyPair other;
  ASSERT_TRUE(MakeKeyPair(other));
  SignLauncher("Launcher.exe.1.0.0.2", LauncherBuild("1.0.0.2"), 1, other.secretKey);
  EXPECT_TRUE(NotStarted("Launcher(210) : ReadSignedList(m_ContentListName, m_SignatureName)"));

  WriteFile(m_work + "launcher-contentlist.seq", "8");
  SignLauncher("Launcher.exe.1.0.0.2", LauncherBuild("1.0.0.2"), 7);
  EXPECT_TRUE(NotStarted("Launcher(211) : !IsRollback(contentList)"));
}

// A launcher that never updated itself takes no launcher list older than its build, nor one
// expired or of another tree than its build's; the build's sequence, in time, of its tree does.
TEST_F(SignedSelfUpdateTest, ListBelowTheBuildExpiredOrOfAnotherTreeIsNotTrusted) {
  m_serverVersion = "1.0.0.2";
  m_config.strUpdateTree = "prod";
  m_config.nLowestSequence = 5;
  const struct {
    uint64_t sequence, expires;
    std::string tree, line;
  } cases[] = {
      {4, 0, "prod", "Launcher(211) : !IsRollback(contentList)"},
      {5, static_cast<uint64_t>(m_system.time), "prod", "Launcher(212) : !IsExpired(contentList)"},
      {5, 0, "beta", "Launcher(213) : IsExpectedTree(contentList, m_config.strUpdateTree)"},
      {5, 0, "", "Launcher(213) : IsExpectedTree(contentList, m_config.strUpdateTree)"},
  };
  for (const auto& c : cases) {
    m_listTree = c.tree;
    m_listExpires = c.expires;
    SignLauncher("Launcher.exe.1.0.0.2", LauncherBuild("1.0.0.2"), c.sequence);
    EXPECT_TRUE(NotStarted(c.line)) << c.line;
  }
  m_listTree = "prod";
  m_listExpires = m_system.time + 1;
  SignLauncher("Launcher.exe.1.0.0.2", LauncherBuild("1.0.0.2"), 5);
  EXPECT_TRUE(TrySignedUpgrade());
}

}  // namespace

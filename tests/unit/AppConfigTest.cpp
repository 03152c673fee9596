#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "AppLocation.h"
#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"
#include "update/Log.h"

namespace {

class AppConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_dir / "d");
    m_system.drives = {{m_dir / "d/", 1000, true}};
    m_previousDir = std::filesystem::current_path();
  }
  void TearDown() override {
    std::filesystem::current_path(m_previousDir);
    SetLogFile("");
  }
  AppConfig Parse(const std::vector<std::string>& args) {
    AppConfig config;
    EXPECT_TRUE(config.ParseCommandLine(args));
    return config;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  std::filesystem::path m_previousDir;
};

TEST_F(AppConfigTest, WorkFolderIsChosenCreatedEnteredAndLogged) {
  AppConfig config = Parse({"ID=1001", "-killpid"});
  std::string work = m_dir / "d/wan_tarn/";
  EXPECT_EQ(config.GetWorkPath(), work);
  EXPECT_EQ(config.strLogFile, work + "log.txt");
  EXPECT_EQ(config.GetGameExeName(), "orca.exe");
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), work));
  EXPECT_EQ(ReadFile(work + "log.txt"), "261206-230740: set work path " + work +
                                            " \n"
                                            "261206-230740: recv arg ... ID=1001 \n"
                                            "261206-230740: recv arg ... -killpid \n");
}

TEST_F(AppConfigTest, NoWritableRootAsksThePlayerAndUsesTheCurrentFolder) {
  m_system.drives.clear();
  std::filesystem::current_path(m_dir.path());
  AppConfig config = Parse({});
  ASSERT_EQ(m_system.MessageBoxes().size(), 1u);
  EXPECT_EQ(m_system.MessageBoxes()[0].text, "无法找到可写入的缓存磁盘！");
  EXPECT_EQ(m_system.MessageBoxes()[0].caption, "写入缓存失败");
  // Made absolute before it is entered, so the log is not looked for in wan_tarn/wan_tarn/.
  EXPECT_EQ(config.GetWorkPath(), m_dir / "wan_tarn/");
  EXPECT_EQ(config.strLogFile, m_dir / "wan_tarn/log.txt");
  EXPECT_NE(ReadFile(m_dir / "wan_tarn/log.txt").find("set work path " + m_dir / "wan_tarn/ \n"),
            std::string::npos);
}

TEST_F(AppConfigTest, RelativeStandInDriveGivesAnAbsoluteWorkFolder) {
  m_system.drives = {{"d/", 1000, true}};
  std::filesystem::current_path(m_dir.path());
  AppConfig config = Parse({});
  EXPECT_EQ(config.GetWorkPath(), m_dir / "d/wan_tarn/");
  EXPECT_TRUE(std::filesystem::exists(m_dir / "d/wan_tarn/log.txt"));
}

// The work folder is spelt as the running executable's path is (without links or doubled
// separators), so the launcher that runs from it does not copy itself over itself and hand over.
class WorkFolderSpellingTest : public AppConfigTest {
 protected:
  // Parses with the launcher running from `running`, then runs the relocation check.
  bool NeedsMove(const std::string& running, const std::vector<std::string>& args = {}) {
    WriteFile(running, "launcher build");
    m_system.moduleFileName = running;
    AppConfig config = Parse(args);
    return CheckNeedMoveAppLocation(config);
  }
};

TEST_F(WorkFolderSpellingTest, SymlinkedDriveIsTheRunningLaunchersFolder) {
  std::filesystem::create_directories(m_dir / "real");
  std::filesystem::create_directory_symlink(m_dir / "real", m_dir / "link");
  m_system.drives = {{m_dir / "link/", 1000, true}};
  EXPECT_FALSE(NeedsMove(m_dir / "real/wan_tarn/Launcher.exe"));
  EXPECT_TRUE(m_system.Starts().empty());
}

TEST_F(WorkFolderSpellingTest, HomeWithTrailingSlashIsTheRunningLaunchersFolder) {
  m_system.drives.clear();
  std::filesystem::create_directories(m_dir / "home/.local/share");
  m_system.folders[sys::Folder::AppData] = m_dir / "home//.local/share";  // HOME=.../home/
  EXPECT_FALSE(NeedsMove(m_dir / "home/.local/share/wan_tarn/Launcher.exe"));
  EXPECT_TRUE(m_system.Starts().empty());
}

TEST_F(WorkFolderSpellingTest, HandedOverLauncherNeverMovesAgain) {
  // Whatever makes the paths differ, a launcher that another copy started does not go on.
  EXPECT_FALSE(NeedsMove(m_dir / "elsewhere/Launcher.exe", {"-killpid", "77"}));
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_NE(ReadFile(m_dir / "d/wan_tarn/log.txt")
                .find(": started by hand-over, no further relocation \n"),
            std::string::npos);
  // A downloaded build that was handed over still moves to "Launcher.exe".
  EXPECT_TRUE(NeedsMove(m_dir / "d/wan_tarn/Launcher_1.0.0.2.exe", {"-killpid", "77"}));
  ASSERT_EQ(m_system.Starts().size(), 1u);
  EXPECT_EQ(m_system.Starts()[0].file, m_dir / "d/wan_tarn/Launcher.exe");
}

TEST_F(AppConfigTest, DefaultsAreTheDeveloperLogin) {
  AppConfig config = Parse({});
  EXPECT_EQ(config.strPlatform, "orca_dev_login");
  EXPECT_EQ(config.strToken, "kelp_mist_rune_wisps");
  EXPECT_EQ(config.strClientVersion, "1");
  EXPECT_FALSE(config.bDev);
  EXPECT_FALSE(config.bNewbie);
}

struct ArgumentCase {
  std::string arg;
  std::string account, token, pid, platform, procPara;
};

void PrintTo(const ArgumentCase& c, std::ostream* out) {
  *out << c.arg;
}

class ArgumentTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentTest, PairsSetTheirFields) {
  const ArgumentCase& c = GetParam();
  AppConfig config;
  config.ParseArgument(c.arg);
  EXPECT_EQ(config.strAccount, c.account);
  EXPECT_EQ(config.strToken, c.token);
  EXPECT_EQ(config.strPid, c.pid);
  EXPECT_EQ(config.strPlatform, c.platform);
  EXPECT_EQ(config.strProcPara, c.procPara);
}

const char* const kDevToken = "kelp_mist_rune_wisps";
const char* const kDevPlatform = "orca_dev_login";

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentTest,
    ::testing::Values(ArgumentCase{"ID=1001,Key=abc,PID=8", "1001", "abc", "8", "qzone", ""},
                      ArgumentCase{"PID=8,pf=website", "", kDevToken, "8", "website", ""},
                      ArgumentCase{"pf=website,ID=5", "5", kDevToken, "", "qqgame", ""},
                      ArgumentCase{"PID=3", "", kDevToken, "3", "qqgame", ""},
                      ArgumentCase{"PID=abc", "", kDevToken, "abc", "qqgame", ""},
                      ArgumentCase{"PID=15", "", kDevToken, "15", "union", ""},
                      ArgumentCase{"PID= +16x", "", kDevToken, " +16x", "union-10215-1", ""},
                      ArgumentCase{"PID=-1", "", kDevToken, "-1", "qqgame", ""},
                      ArgumentCase{"PROCPARA=a=b,ID=7", "7", kDevToken, "", "qqgame", "a=b"},
                      // An empty value ends at its comma instead of swallowing the next pair.
                      ArgumentCase{"ID=,Key=abc", "", "abc", "", "qqgame", ""},
                      ArgumentCase{"ID=,,Key=abc", "", "abc", "", "qqgame", ""},
                      ArgumentCase{",,Key=abc", "", "abc", "", kDevPlatform, ""},
                      ArgumentCase{"Key=", "", "", "", kDevPlatform, ""},
                      ArgumentCase{"Key", "", "", "", kDevPlatform, ""},
                      ArgumentCase{"id=5,PF=x", "", kDevToken, "", kDevPlatform, ""},
                      ArgumentCase{"-killpid", "", kDevToken, "", kDevPlatform, ""},
                      ArgumentCase{"4242", "", kDevToken, "", kDevPlatform, ""}));

TEST_F(AppConfigTest, LaterPairsWinAcrossArguments) {
  AppConfig config = Parse({"ID=1,PID=2", "pf=x", "ID=9"});
  EXPECT_EQ(config.strAccount, "9");
  EXPECT_EQ(config.strPlatform, "qqgame");
  EXPECT_EQ(config.strPid, "2");
}

TEST_F(AppConfigTest, OtherKeysAndDevFlag) {
  AppConfig config = Parse({"ModelID=m,pfkey=k,ADId=ad", "dev=1"});
  EXPECT_EQ(config.strModelId, "m");
  EXPECT_EQ(config.strPfKey, "k");
  EXPECT_EQ(config.strAdId, "ad");
  EXPECT_TRUE(config.bDev);
  EXPECT_FALSE(Parse({"dev"}).bDev);
  EXPECT_FALSE(Parse({"dev=0"}).bDev);
  EXPECT_FALSE(Parse({"dev=x"}).bDev);
}

TEST_F(AppConfigTest, ArgumentIsCutAt511Characters) {
  std::string arg = "PROCPARA=" + std::string(600, 'p');
  AppConfig config = Parse({arg});
  EXPECT_EQ(config.strProcPara, std::string(511 - 9, 'p'));
  EXPECT_NE(ReadFile(config.strLogFile).find("recv arg ... " + arg + " \n"), std::string::npos);
}

TEST(GameCommandLineTest, FullExample) {
  AppConfig config;
  config.strHost = "s1";
  config.strPort = "7000";
  config.strDataHost = "d1";
  config.strGroupId = "12";
  config.strAccount = "a1";
  config.strPlatform = "qqgame";
  config.strToken = "";
  EXPECT_EQ(config.GetGameCommandLine(4660),
            "-host s1 -port 7000 -datahost d1 -launcher 2 -hwnd 4660 -newbie 0 -clientVersion 1 "
            "-groupid 12 -account a1 -platform qqgame");
}

TEST(GameCommandLineTest, DefaultsKeepHeadAndDeveloperLogin) {
  AppConfig config;
  EXPECT_EQ(config.GetGameCommandLine(0),
            "-host  -port  -datahost  -launcher 2 -hwnd 0 -newbie 0 -clientVersion 1 -token "
            "kelp_mist_rune_wisps -platform orca_dev_login");
}

TEST(GameCommandLineTest, EveryOptionInOrderAndValuesByteForByte) {
  AppConfig config;
  config.bNewbie = true;
  config.strClientVersion = "9";
  config.strGroupId = "g";
  config.strAccount = "账号";
  config.strToken = "t\"q";
  config.strPfKey = "k";
  config.strPf = "p";
  config.strPlatform = "pl";
  config.strAdId = "ad";
  config.strArg = "two words";
  EXPECT_EQ(config.GetGameCommandLine(0xFFFFFFFFu),
            "-host  -port  -datahost  -launcher 2 -hwnd 4294967295 -newbie 1 -clientVersion 9 "
            "-groupid g -account 账号 -token t\"q -pfkey k -pf p -platform pl -adid ad "
            "-arg two words");
}

TEST(ChannelTableTest, EveryChannelNumber) {
  const std::map<long, std::string> named = {
      {1, "union-10029-1"}, {2, "3366"},           {6, "union-10224-97"}, {7, "union"},
      {8, "qzone"},         {9, "union-10041-1"},  {10, "website"},       {14, "union-10153-1"},
      {15, "union"},        {16, "union-10215-1"}, {17, "union-10210-1"}, {18, "union-10194-1"}};
  for (long channel = -2; channel <= 20; ++channel) {
    const auto it = named.find(channel);
    EXPECT_EQ(PlatformForChannel(channel), it == named.end() ? "qqgame" : it->second) << channel;
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "AppLocation.h"
#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "update/Log.h"

namespace {

// Each recorded process start as "file | params | work folder".
std::vector<std::string> Starts(sys::FakeSystem& system) {
  std::vector<std::string> starts;
  for (const auto& s : system.Starts())
    starts.push_back(s.file + " | " + s.params + " | " + s.workDir);
  return starts;
}

class AppLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_config.strWorkPath = m_work;
    std::filesystem::create_directories(m_dir / "Downloads");
    WriteFile(m_dir / "Downloads/Launcher.exe", "launcher build");
    m_system.moduleFileName = m_dir / "Downloads/Launcher.exe";
    m_system.folders = {{sys::Folder::Desktop, m_dir / "Desktop"},
                        {sys::Folder::CommonPrograms, m_dir / "applications"},
                        {sys::Folder::AppData, m_dir / "share"}};
    std::filesystem::create_directories(m_dir / "Desktop");
    std::filesystem::create_directories(m_dir / "share");
    SetLogFile(m_dir / "log.txt");
  }
  void TearDown() override { SetLogFile(""); }

  // The logged messages, without time and line end.
  std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    std::istringstream in(ReadFile(m_dir / "log.txt"));
    for (std::string line; std::getline(in, line);) messages.push_back(line.substr(15));
    for (std::string& m : messages) m.pop_back();  // the blank before the line feed
    return messages;
  }
  // Runs from the work folder's own launcher.
  void RunFromTarget() {
    std::filesystem::create_directories(m_work);
    WriteFile(m_target, "launcher build");
    m_system.moduleFileName = m_target;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  std::string m_work = m_dir / "d/wan_tarn/";
  std::string m_target = m_work + "Launcher.exe";
  AppConfig m_config;
};

TEST_F(AppLocationTest, ElsewhereCopiesIntoWorkFolderStartsTheCopyAndEnds) {
  EXPECT_TRUE(CheckNeedMoveAppLocation(m_config));
  EXPECT_EQ(ReadFile(m_target), "launcher build");
  EXPECT_EQ(Starts(m_system), std::vector<std::string>{m_target + " | -killpid 4242 | " + m_work});
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{
                "check application path " + m_dir / "Downloads/Launcher.exe and " + m_target,
                "CheckNeedMoveAppLocation copy file to " + m_target + " successed",
                "CheckNeedMoveAppLocation ShellExecute " + m_target}));
  EXPECT_FALSE(std::filesystem::exists(m_dir / "Desktop/WanVellmark.desktop"));
}

TEST_F(AppLocationTest, FailedCopyIsLoggedAndStillEnds) {
  std::filesystem::create_directories(m_work);
  m_system.Lock(m_target);
  EXPECT_TRUE(CheckNeedMoveAppLocation(m_config));
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_EQ(LogMessages().back(),
            "CheckNeedMoveAppLocation CopyFile error(" + std::to_string(EBUSY) + ")!");
}

TEST_F(AppLocationTest, PathDifferingOnlyInCaseCountsAsDifferent) {
  RunFromTarget();
  m_system.moduleFileName = m_work + "launcher.exe";
  WriteFile(m_system.moduleFileName, "launcher build");
  EXPECT_TRUE(CheckNeedMoveAppLocation(m_config));
  EXPECT_EQ(Starts(m_system), std::vector<std::string>{m_target + " | -killpid 4242 | " + m_work});
}

TEST_F(AppLocationTest, InWorkFolderWritesShortcutsOnlyWhereFoldersExistAndGoesOn) {
  RunFromTarget();
  EXPECT_FALSE(CheckNeedMoveAppLocation(m_config));
  EXPECT_TRUE(m_system.Starts().empty());
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{"check application path " + m_target + " and " + m_target,
                                      "create shortcut " + m_target}));
  std::string shortcut = ReadFile(m_dir / "Desktop/WanVellmark.desktop");
  EXPECT_NE(shortcut.find("\nName=WanVellmark\n"), std::string::npos) << shortcut;
  EXPECT_NE(shortcut.find("\nExec=\"" + m_target + "\"\n"), std::string::npos) << shortcut;
  EXPECT_NE(shortcut.find("\nPath=" + m_work + "\n"), std::string::npos) << shortcut;
  // The desktop shows icon 128's largest picture (256 x 256, a PNG in the icon) and ties the
  // main dialog's windows to the shortcut; it starts it once marked trusted.
  EXPECT_NE(shortcut.find("\nIcon=" + m_work + "Launcher.png\n"), std::string::npos) << shortcut;
  EXPECT_NE(shortcut.find("\nStartupWMClass=DODuzoDizuzide\n"), std::string::npos) << shortcut;
  const std::string png = ReadFile(m_work + "Launcher.png");
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 4), "\x89PNG");
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x01\0\0\0\x01\0", 8));  // IHDR width, height
  EXPECT_EQ(m_system.TrustedShortcuts(),
            std::vector<std::string>{m_dir / "Desktop" + "/WanVellmark"});
  // Neither the program menu nor Quick Launch exists; neither is created.
  EXPECT_FALSE(std::filesystem::exists(m_dir / "applications"));
  EXPECT_FALSE(std::filesystem::exists(m_dir / "share/Microsoft"));
}

TEST_F(AppLocationTest, EveryStartRewritesTheShortcutsIncludingQuickLaunch) {
  RunFromTarget();
  std::string quickLaunch = m_dir / "share/Microsoft/Internet Explorer/Quick Launch";
  std::filesystem::create_directories(quickLaunch);
  std::filesystem::create_directories(m_dir / "applications");
  WriteFile(m_dir / "applications/WanVellmark.desktop", "stale");
  WriteFile(m_work + "Launcher.png", "stale");
  EXPECT_FALSE(CheckNeedMoveAppLocation(m_config));
  // The picture is replaced only while it differs.
  const std::string png = ReadFile(m_work + "Launcher.png");
  EXPECT_EQ(png.substr(0, 4), "\x89PNG");
  const auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
  std::filesystem::last_write_time(m_work + "Launcher.png", long_ago);
  EXPECT_FALSE(CheckNeedMoveAppLocation(m_config));
  EXPECT_EQ(std::filesystem::last_write_time(m_work + "Launcher.png"), long_ago);
  // Only the desktop's shortcut is marked, once per start.
  EXPECT_EQ(m_system.TrustedShortcuts(),
            std::vector<std::string>(2, m_dir / "Desktop" + "/WanVellmark"));
  std::string desktop = ReadFile(m_dir / "Desktop/WanVellmark.desktop");
  EXPECT_NE(desktop.find("[Desktop Entry]"), std::string::npos);
  EXPECT_EQ(ReadFile(m_dir / "applications/WanVellmark.desktop"), desktop);
  EXPECT_EQ(ReadFile(quickLaunch + "/WanVellmark.desktop"), desktop);
}

TEST_F(AppLocationTest, UnknownSpecialFolderIsReported) {
  m_system.folders.erase(sys::Folder::CommonPrograms);
  EXPECT_FALSE(CreateShortcut("WanVellmark", sys::Folder::CommonPrograms, m_target, m_work));
  EXPECT_TRUE(CreateShortcut("WanVellmark", sys::Folder::AppData, m_target, m_work));
}

TEST_F(AppLocationTest, FirstPinVerbOnTheWorkFoldersLauncherIsInvoked) {
  RunFromTarget();
  m_system.shellVerbs = {"Open", "Pin to Task&bar", "锁定到任务栏(&K)", "Pin to Taskbar"};
  EXPECT_FALSE(CheckNeedMoveAppLocation(m_config));
  auto verbs = m_system.InvokedVerbs();
  ASSERT_EQ(verbs.size(), 1u);
  EXPECT_EQ(verbs[0].folder, m_work);
  EXPECT_EQ(verbs[0].item, "Launcher.exe");
  EXPECT_EQ(verbs[0].verb, "锁定到任务栏(&K)");
}

TEST_F(AppLocationTest, NoPinVerbPinsNothing) {
  m_system.shellVerbs = {"Open", "Pin to Start", "Pin to Task&bar"};
  EXPECT_FALSE(PinToTaskbar(m_work, "Launcher.exe"));
  m_system.shellVerbs.clear();  // the Linux desktop offers none
  EXPECT_FALSE(PinToTaskbar(m_work, "Launcher.exe"));
  EXPECT_TRUE(m_system.InvokedVerbs().empty());
}

TEST(PinVerbTest, NamesBeginningWithAPinTextIgnoringCase) {
  EXPECT_TRUE(IsPinVerb("Pin to Taskbar"));
  EXPECT_TRUE(IsPinVerb("pin to TASKBAR"));
  EXPECT_TRUE(IsPinVerb("Pin to Taskbar (K)"));
  EXPECT_TRUE(IsPinVerb("锁定到任务栏"));
  EXPECT_TRUE(IsPinVerb("固定到任务栏(&K)"));
  EXPECT_FALSE(IsPinVerb("Pin to Task&bar"));
  EXPECT_FALSE(IsPinVerb("Pin to"));
  EXPECT_FALSE(IsPinVerb("Unpin from Taskbar"));
  EXPECT_FALSE(IsPinVerb("锁定到开始屏幕"));
  EXPECT_FALSE(IsPinVerb(""));
}

TEST_F(AppLocationTest, PinVerbListedFirstIsInvoked) {
  m_system.shellVerbs = {"Pin to Taskbar", "Open"};
  EXPECT_TRUE(PinToTaskbar(m_work, "Launcher.exe"));
  auto verbs = m_system.InvokedVerbs();
  ASSERT_EQ(verbs.size(), 1u);
  EXPECT_EQ(verbs[0].verb, "Pin to Taskbar");
}

}  // namespace

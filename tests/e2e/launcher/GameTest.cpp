// The start road of the real launcher with the stand-in game: a server link clicked in the list,
// the update, the launch, the game's messages, and the ways the two programs end.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "LauncherRig.h"
#include "OrcaLayout.h"
#include "platform/gtk/XMessages.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kRunLauncher = 2030, kClose = 0x0010, kUser = 0x0400;

class LauncherGameTest : public LauncherE2E {
 protected:
  // Launcher.exe already in its work folder, started there, its server list loaded and the
  // first-tick event sent; returns its shown main dialog.
  uint32_t StartInstalledLauncher() {
    ServeLauncherVersion("1.0.0.1");
    PlaceLauncher(Work() + "Launcher.exe");
    m_launcher = Start({Work() + "Launcher.exe"}, Work());
    const uint32_t dialog = WaitForMainDialog(m_launcher);
    EXPECT_TRUE(WaitUntil([&] { return PageLoaded("/mini/zonelist.html"); }));
    EXPECT_TRUE(WaitUntil([&] { return Telemetry().size() >= 3; })) << "no startup event";
    return dialog;
  }
  bool PageLoaded(const std::string& path) const {
    return LogHas("load page " + m_origin + path + " completed");
  }
  // Clicks the server link and waits for the game's window; returns it.
  uint32_t StartGameFromList(uint32_t dialog) {
    ClickServerLink(dialog);
    uint32_t game = 0;
    WaitUntil([&] { return (game = x11::FindWindowByClass(orca::kWindowClass)) != 0; });
    EXPECT_NE(game, 0u) << "the game did not show its window";
    EXPECT_TRUE(WaitUntil([&] { return OrcaLogHas("window shown"); }));
    return game;
  }
  // A page served at `path` whose one link, covering the whole page, is `href`.
  void ServeLinkPage(const std::string& path, const std::string& href) {
    WriteFile(Root() + path, "<!DOCTYPE html><html><body style=\"margin:0\"><a href=\"" + href +
                                 "\" style=\"position:fixed;inset:0;background:#432\">go</a>"
                                 "</body></html>");
  }
  bool AnyLauncherWindowShown() const {
    for (uint32_t window : WindowsOf(m_launcher)) {
      if (Info(window).viewable) return true;
    }
    return false;
  }
  std::string ClientVersion() const {
    std::istringstream manifest(ReadFile(Root() + "versions.txt"));
    for (std::string line; std::getline(manifest, line);) {
      if (line.rfind("clientVersion\t", 0) == 0) return line.substr(14, line.find('\t', 14) - 14);
    }
    return "";
  }
  std::vector<uint32_t> PopupsOf(uint32_t dialog) const {
    std::vector<uint32_t> popups;
    for (uint32_t window : WindowsOf(m_launcher)) {
      const WindowInfo info = Info(window);
      // The layered edge window is owned by the dialog too, at the dialog's size.
      if (x11::TransientFor(window) == dialog && info.viewable && info.width != 980)
        popups.push_back(window);
    }
    return popups;
  }

  pid_t m_launcher = 0;
};

TEST_F(LauncherGameTest, TheStartRoadInstallsAndLaunchesTheGameAndEndsWithIt) {
  PublishGame(ORCA_EXE);
  const uint32_t dialog = StartInstalledLauncher();
  ASSERT_NE(dialog, 0u);
  const uint32_t game = StartGameFromList(dialog);
  ASSERT_NE(game, 0u);

  // The game got the main dialog and the manifest's client version, and its files.
  const std::string args = OrcaLog().substr(0, OrcaLog().find('\n'));
  EXPECT_NE(args.find(" -hwnd " + std::to_string(dialog) + " "), std::string::npos) << args;
  EXPECT_NE(args.find(" -clientVersion " + ClientVersion() + " "), std::string::npos) << args;
  EXPECT_NE(args.find(" -newbie 1 "), std::string::npos) << args;
  for (const std::string file : {"readme.txt", "data/map.dat"}) {
    EXPECT_EQ(ReadFile(Work() + file), ReadFile(m_dir / ("build/" + file))) << file;
    EXPECT_TRUE(fs::exists(Work() + file + ".version")) << file;
  }
  EXPECT_EQ(ReadFile(Work() + "orca.exe"), ReadFile(ORCA_EXE));
  EXPECT_TRUE(WaitUntil([&] { return LogHas("game init ...."); }));
  EXPECT_TRUE(InOrder(Log(), {"click start game 9", "start orca.exe ... ", "game init ...."}));
  // The update dialog was made (and hidden again), and no launcher window shows.
  EXPECT_GE(WindowsOf(m_launcher).size(), 3u);
  EXPECT_FALSE(AnyLauncherWindowShown());
  EXPECT_EQ(Telemetry(),
            (std::vector<std::string>{"event wd_start", "event wd_server_list", "startup",
                                      "event wd_download_game", "install", "event wd_start_game"}));

  // The game's notices are logged; 2030 brings the game forward and leaves the launcher hidden.
  uint32_t result = 1;
  ASSERT_TRUE(x11::SendMessage(dialog, kUser + 2, 0, 0, &result));
  ASSERT_TRUE(x11::SendMessage(dialog, kUser + 3, 0, 0, &result));
  ASSERT_TRUE(x11::SendMessage(dialog, kRunLauncher, 0, 0, &result));
  EXPECT_EQ(result, 0u);
  EXPECT_TRUE(InOrder(
      Log(), {"game resize ....", "game activate ....", "run launcher, bring game to top"}));
  EXPECT_FALSE(AnyLauncherWindowShown());

  // The game's pop-up request opens the page in a window owned by the main dialog.
  const WindowInfo window = Info(game);
  ClickAt(window.x + (orca::kPopupButton.left + orca::kPopupButton.right) / 2,
          window.y + (orca::kPopupButton.top + orca::kPopupButton.bottom) / 2);
  std::vector<uint32_t> popups;
  ASSERT_TRUE(WaitUntil([&] { return (popups = PopupsOf(dialog)).size() == 1; }));
  const uint32_t first = popups[0];
  EXPECT_EQ(Info(first).width, 480);
  EXPECT_EQ(Info(first).height, 360);
  EXPECT_TRUE(WaitUntil([&] { return PageLoaded("/popup.html"); }));
  // A second request replaces it; one too long is refused and leaves it.
  ASSERT_TRUE(x11::SendCopyData(dialog, 0, 1, "400,300," + m_origin + "/home.html", &result));
  ASSERT_TRUE(WaitUntil([&] { return !x11::WindowExists(first) && PopupsOf(dialog).size() == 1; }));
  const uint32_t second = PopupsOf(dialog)[0];
  EXPECT_EQ(Info(second).width, 400);
  ASSERT_TRUE(x11::SendCopyData(dialog, 0, 1, std::string(1024, '7'), &result));
  EXPECT_TRUE(WaitUntil([&] { return LogHas("copy data command too long 1024 > 1024 on 1"); }));
  EXPECT_EQ(PopupsOf(dialog), std::vector<uint32_t>{second});

  // The game's window closes: the launcher sees it within its one-second tick and ends.
  ASSERT_TRUE(x11::PostMessage(game, kClose, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return !Alive(m_launcher); }, 10)) << "the launcher did not end";
  EXPECT_TRUE(OrcaLogHas("window closed"));
  EXPECT_TRUE(InOrder(Log(), {"game closed ...", "Exit ..."}));
}

TEST_F(LauncherGameTest, WhileTheGameRunsASecondStartIsRefusedAndClosingTheLauncherQuitsTheGame) {
  PublishGame(ORCA_EXE);
  const std::string startLink = "app:startgame|e2e_player|e2e_token|9|127.0.0.1|7009|" + m_origin +
                                "/|e2e_platform|e2e_pf|true|zone=9";
  ServeLinkPage("again.html", startLink);
  const uint32_t dialog = StartInstalledLauncher();
  ASSERT_NE(dialog, 0u);
  const uint32_t game = StartGameFromList(dialog);
  ASSERT_NE(game, 0u);

  // The game asks for a pop-up whose page starts a game again.
  uint32_t result = 1;
  ASSERT_TRUE(x11::SendCopyData(dialog, 0, 1, "480,360," + m_origin + "/again.html", &result));
  std::vector<uint32_t> popups;
  ASSERT_TRUE(WaitUntil([&] { return (popups = PopupsOf(dialog)).size() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return PageLoaded("/again.html"); }));
  const WindowInfo popup = Info(popups[0]);
  ClickWhenShown(popup.x + popup.width / 2, popup.y + popup.height / 2, kLinkPageColour);
  std::string box;
  ASSERT_TRUE(WaitUntil([&] {
    return RunProgram({"xdotool", "search", "--name", "启动失败"}, &box) == 0 && !box.empty();
  })) << "no refusal box";
  box = box.substr(0, box.find('\n'));
  EXPECT_TRUE(LogHas("start game but game wnd exist!"));
  ASSERT_EQ(RunProgram({"xdotool", "windowfocus", "--sync", box, "key", "Return"}), 0);
  EXPECT_TRUE(WaitUntil([&] { return !Info(static_cast<uint32_t>(std::stoul(box))).viewable; }));
  // Nothing more was launched or reported.
  EXPECT_EQ(LogCount("start orca.exe"), 1);
  const std::string orcaLog = OrcaLog();
  EXPECT_EQ(orcaLog.find("args: "), orcaLog.rfind("args: ")) << orcaLog;
  EXPECT_EQ(Telemetry().back(), "event wd_download_game");

  // Closing the launcher asks the game to quit.
  ASSERT_TRUE(x11::PostMessage(dialog, kClose, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return !Alive(m_launcher); })) << "the launcher did not end";
  EXPECT_TRUE(WaitUntil([&] { return OrcaLogHas("exit"); })) << "the game did not end";
  EXPECT_TRUE(OrcaLogHas("WM_QUIT received, exit code 0"));
  EXPECT_TRUE(WaitUntil([&] { return !x11::WindowExists(game); }));
}

TEST_F(LauncherGameTest, AGameWithoutAWindowLeavesTheLauncherHiddenUntilAsked) {
  const std::string script = m_dir / "windowless-orca";
  WriteFile(script, "#!/bin/sh\necho $$ > started\nexec sleep 60\n");
  fs::permissions(script, fs::perms::owner_all);
  PublishGame(script);
  const uint32_t dialog = StartInstalledLauncher();
  ASSERT_NE(dialog, 0u);
  ClickServerLink(dialog);
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(Work() + "started").empty(); }))
      << "the game was not started";
  const pid_t game = std::stoi(ReadFile(Work() + "started"));
  // Hidden after the launch's wait for a window has given up.
  ASSERT_TRUE(
      WaitUntil([&] { return LogHas("start orca.exe ... ") && !AnyLauncherWindowShown(); }));
  ASSERT_TRUE(WaitUntil([&] { return !Info(dialog).viewable; }));

  // No game window is known, so 2030 shows the main dialog again. The launch looks for the
  // game's window for 3 s and then hides the main window, which undoes a 2030 that came first:
  // it is asked again until the dialog shows after that time.
  const auto launched = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] {
    uint32_t result = 1;
    if (!Info(dialog).viewable) x11::SendMessage(dialog, kRunLauncher, 0, 0, &result);
    return Info(dialog).viewable && std::chrono::steady_clock::now() - launched > 4s;
  })) << "2030 did not show the main dialog";
  EXPECT_TRUE(LogHas("run launcher, open main dialog"));
  EXPECT_EQ(LogCount("run launcher, bring game to top"), 0);
  EXPECT_TRUE(Alive(m_launcher));
  kill(game, SIGKILL);
}

}  // namespace

// Launcher.exe until the window framework lands: chooses the work folder, reads the launch
// parameters and shows what the game would be started with.
#include <cstdio>

#include "AppConfig.h"
#include "LauncherSettings.h"
#include "Log.h"
#include "platform/System.h"

int main() {
  AppConfig config;
  config.ParseCommandLine();
  LogPrint("Launcher start ...%s", sys::Current().GetModuleFileName().c_str());
  std::printf("Launcher %s\n", LAUNCHER_VERSION);
  std::printf("work folder: %s\n", config.GetWorkPath().c_str());
  std::printf("server list: %s/mini/zonelist.html\n", LAUNCHER_PARTNER_SITE);
  std::printf("game: %s %s\n", config.GetGameExeName().c_str(),
              config.GetGameCommandLine(0).c_str());
  return 0;
}

// The string table.
#include "LauncherSettings.h"
#include "platform/Resources.h"

namespace res {
const char* FindString(UINT id) {
  switch (id) {
    case 129:
      return LAUNCHER_GAME_TITLE;  // the game's title
    case 130:
      return "更新游戏";  // update the game
    default:
      return nullptr;
  }
}
}  // namespace res

// The launcher's private window messages. Their numbers are fixed: other processes send them.
#pragma once

#include "platform/WinUser.h"

// Thread message to the application's main thread: start the game with the launch parameters.
inline constexpr UINT WM_LAUNCHER_STARTGAME = 2028;
// Sent by a web control to its parent when the page asks to close.
inline constexpr UINT WM_HTML_CLOSE = 2029;
// To the main dialog, from any process: bring the game or the launcher to the front.
inline constexpr UINT WM_RUN_LAUNCHER = 2030;

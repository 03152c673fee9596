// The stand-in game's window: its class, size and buttons, shared with the end-to-end test
// that clicks them.
#pragma once

#include "platform/Types.h"

namespace orca {
inline constexpr const char* kWindowClass = "OrcaStandIn";
inline constexpr int kWindowWidth = 560, kWindowHeight = 420;
inline constexpr UINT kPopupButtonId = 1001, kLauncherButtonId = 1002;
inline constexpr RECT kPopupButton{20, 370, 190, 402};
inline constexpr RECT kLauncherButton{210, 370, 380, 402};
}  // namespace orca

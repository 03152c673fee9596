// Test support for the GTK tests: an Xvfb of their own, the GTK backend installed on it, and
// helpers that keep the main loop running while waiting.
#pragma once

#include <functional>
#include <string>

#include <cstdint>

typedef struct _XDisplay Display;  // Xlib's; its header defines macros other headers trip over

// Runs the main loop until `done` or `milliseconds` pass; returns `done()`.
bool RunLoopUntil(const std::function<bool()>& done, int milliseconds = 5000);
// Runs `command` through the shell on another thread while the main loop keeps running;
// returns its exit status and puts its standard output in `output`.
int RunWhileLooping(const std::string& command, std::string* output = nullptr);
// A connection of the test's own to the X server.
Display* TestDisplay();
// The colour of a screen pixel as 0xRRGGBB.
uint32_t ScreenPixel(int x, int y);

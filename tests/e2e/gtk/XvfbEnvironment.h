// Test support for the GTK tests: an Xvfb of their own, the GTK backend installed on it, and
// helpers that keep the main loop running while waiting.
#pragma once

#include <functional>
#include <string>

#include <cstdint>

typedef struct _XDisplay Display;  // Xlib's; its header defines macros other headers trip over

// Runs the main loop until `done` or `milliseconds` pass; returns `done()`.
bool RunLoopUntil(const std::function<bool()>& done, int milliseconds = 5000);
// Runs `command` through the shell while the main loop keeps running; returns its exit status
// and puts its standard output in `output`. A command still running after `milliseconds` is
// ended with everything it started, fails the test and returns -1.
int RunWhileLooping(const std::string& command, std::string* output = nullptr,
                    int milliseconds = 20000);
// A connection of the test's own to the X server.
Display* TestDisplay();
// The colour of a screen pixel as 0xRRGGBB.
uint32_t ScreenPixel(int x, int y);

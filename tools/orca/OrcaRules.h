// The stand-in game's rules: how it reads the parameter string the launcher starts it with,
// which window it reports to, and the pop-up it asks the launcher to open. The window and the
// end-to-end tests call them; unit tests call them with exact inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One option of the parameter string: its name without the "-" and its value.
struct GameOption {
  std::string name;
  std::string value;
};

// The options in the order they came. A known option name ("-host", "-port", ...) takes the
// words up to the next known name as its value, joined by one blank: an empty value leaves no
// word of its own, and a value with blanks, which the launcher does not quote, is put back
// together. Words before the first known name come as one option with an empty name.
std::vector<GameOption> ParseGameArgs(const std::vector<std::string>& args);
// The value of the first option called `name`; empty when there is none.
std::string GameOptionValue(const std::vector<GameOption>& options, const std::string& name);

// The log line of the parameter string: "args: " and the arguments joined by one blank.
std::string ArgsLogLine(const std::vector<std::string>& args);

// The launcher's window from "-hwnd": a number of 1 to 4294967295 written as the launcher
// writes it, decimal digits without a leading zero. Anything else (a sign, blanks, hex,
// trailing text, 0, out of range) is refused, so a malformed value never reaches some other
// window.
bool ParseLauncherWindow(const std::string& text, uint32_t* window);

// The copy-data kind-1 text that opens the demo pop-up: "480,360," and the origin
// (scheme://host[:port]) of the data host followed by "/popup.html". Empty when the data host
// has no origin or the text would not fit the launcher's 1023-byte limit.
std::string PopupCommand(const std::string& dataHost);

// The text commands the game sends the main dialog as copy-data: how a payload becomes text
// and how a pop-up command splits into its size and address.
#pragma once

#include <string>

#include "platform/Types.h"

// Command kinds (dwData).
inline constexpr ULONG_PTR kCopyDataOpenPopUp = 1;  // "width,height,address"
inline constexpr ULONG_PTR kCopyDataText = 2;       // read and ignored
// The handler's buffer: a payload must leave room for the terminating zero.
inline constexpr DWORD kCopyDataBufferSize = 1024;

// The payload as text, cut at its first zero byte. False when it is too long for the buffer.
bool ReadCopyDataText(const COPYDATASTRUCT& data, std::string& text);

struct PopUpCommand {
  bool hasSize = false;  // both a width and a height field were given
  int width = 0, height = 0;
  bool hasAddress = false;
  std::string address;
};
// Width and height are the first two runs of characters other than commas (commas before each
// are skipped), read as atoi reads them; the address is all that follows the comma ending the
// height, commas included, and absent when nothing does.
PopUpCommand SplitPopUpCommand(const std::string& text);

// A pop-up extent the screen can hold: from 0 up to the screen's extent. A game asking for a
// window of 100000 pixels would otherwise have us allocate gigabytes for its surface.
int ClampPopUpExtent(int value, int screenExtent);

// System services of the windowed programs on Windows: message boxes shown by the UI thread.
#pragma once

#include "Win32System.h"

namespace win32ui {

class Win32GuiSystem : public sys::Win32System {
 public:
  // A modal box with the text, the caption and an OK button, shown by the UI thread; a worker
  // thread waits until the player has confirmed it. Not shown (false) once the loop has ended
  // or while the UI thread waits for workers: no box pops up while the program ends.
  bool MessageBox(const std::string& text, const std::string& caption) override;
};

}  // namespace win32ui

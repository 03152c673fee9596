// System services of the desktop program: the POSIX ones, with message boxes on screen.
#pragma once

#include "platform/posix/PosixSystem.h"

namespace gtkui {

class GtkSystem : public sys::PosixSystem {
 public:
  // A modal box with the text, the caption and an OK button, shown by the UI thread; a
  // worker thread waits until the player has confirmed it. Not shown (false) once the loop has
  // ended or while the UI thread waits for workers: no box pops up while the program ends.
  bool MessageBox(const std::string& text, const std::string& caption) override;
};

}  // namespace gtkui

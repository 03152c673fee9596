// The publish's progress on one line of a terminal, redrawn in place: files and bytes done, the
// rate so far and the time left at that rate.
#pragma once

#include <chrono>
#include <cstdio>

#include "Publisher.h"

class ProgressLine {
 public:
  explicit ProgressLine(FILE* terminal) : m_terminal(terminal) {}

  void Show(const PublishProgress& progress);
  // Clears the line, so that what is printed next starts on an empty one.
  void Clear();

 private:
  FILE* m_terminal;
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

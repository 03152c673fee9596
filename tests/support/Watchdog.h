// Ends the test program when a scope has not been left in time: a test of something that must
// not hang fails the run instead of stalling it (a hung thread cannot be joined or unwound).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex m_mutex;
  std::condition_variable m_left;
  bool m_bLeft = false;
  std::thread m_thread;
};

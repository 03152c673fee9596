#include "Watchdog.h"

#include <cstdio>
#include <cstdlib>

Watchdog::Watchdog(std::string what, std::chrono::seconds limit)
    : m_thread([this, what = std::move(what), limit] {
        std::unique_lock lock(m_mutex);
        if (m_left.wait_for(lock, limit, [this] { return m_bLeft; })) return;
        std::fprintf(stderr, "HANG: %s did not end within %lld s\n", what.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
      }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(m_mutex);
    m_bLeft = true;
  }
  m_left.notify_all();
  m_thread.join();
}

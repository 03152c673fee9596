// Joining worker threads on the UI thread without waiting for each other.
#pragma once

namespace ui {
// Held by the UI thread while it waits for worker threads to end (joining them). A worker may
// be inside a call that only the UI thread can carry out (SendMessage, ShowWindow, a message
// box): such calls, queued or arriving while the scope lasts, fail at once (SendMessage gives
// 0, ShowWindow FALSE, a message box counts as not shown) instead of waiting for a thread that
// is waiting for them. The UI thread joins workers when it ends their jobs (a reset, a window
// going away, the program's exit): a box or a progress step popping up then would only hold
// the player up, so they are dropped rather than run. Does nothing on other threads.
class WorkerJoin {
 public:
  WorkerJoin();
  ~WorkerJoin();
  WorkerJoin(const WorkerJoin&) = delete;
  WorkerJoin& operator=(const WorkerJoin&) = delete;

 private:
  bool m_active;
};
}  // namespace ui

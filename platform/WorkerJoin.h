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

// Held by the UI thread while it runs a nested loop: a message box, or a worker's call (the
// worker's box among them). Thread messages (the application's requests) taken from the queue
// meanwhile are kept and queued again, in order, when the outermost such scope ends: a request
// handled inside a worker's box could join that very worker, which waits for the box below it
// on the same stack. Window messages (painting, input) still run. Does nothing on other threads.
class ModalLoop {
 public:
  ModalLoop();
  ~ModalLoop();
  ModalLoop(const ModalLoop&) = delete;
  ModalLoop& operator=(const ModalLoop&) = delete;

 private:
  bool m_active;
};
}  // namespace ui

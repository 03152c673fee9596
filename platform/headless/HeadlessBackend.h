// The headless window system: windows are the framework's records only, time moves when the
// test says so, and what windows paint lands in surfaces the test reads. Construct one per test
// (before any window); the constructing thread becomes the UI thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "../Backend.h"
#include "../Surface.h"

namespace headless {

class HeadlessBackend : public ui::Backend {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  RECT primaryMonitor{0, 0, 1920, 1080};

  // Moves the clock on, running each timer that falls due (and the messages it queues).
  void AdvanceClock(uint32_t milliseconds);
  uint32_t Now() const { return m_now; }
  // Runs queued messages and calls from other threads; false once WM_QUIT was taken.
  bool Pump();
  // Waits up to `timeout` until something was queued for the UI thread (a post, or another
  // thread's call that now waits for it) since the last time this returned true.
  bool WaitForQueued(std::chrono::milliseconds timeout);

  // Input in the top-level window's client coordinates; each is followed by Pump().
  void MouseMove(HWND topLevel, int x, int y);
  void LButtonDown(HWND topLevel, int x, int y);
  void LButtonUp(HWND topLevel, int x, int y);
  void PointerLeft(HWND topLevel);
  void KeyDown(HWND topLevel, UINT virtualKey);

  // What a top-level window shows (painted first if it needs painting), and a layered
  // window's last pixels.
  const Surface& Pixels(HWND topLevel);
  const Surface& LayeredPixels(HWND hwnd);
  // Windows the display was asked to start moving with the pointer.
  std::vector<HWND> moveDrags;
  // Areas of top-level windows the display was asked to show anew (client coordinates), and
  // how many times it was handed a layered window's pixels.
  std::vector<RECT> redrawAreas;
  int layeredUpdates = 0;
  int loopsQuit = 0;

  // Top-level windows of other processes, listed below this process's own, and how long one
  // listing takes (on a real display, round trips for each window).
  struct ForeignWindow {
    HWND hwnd;
    DWORD processId;
    HWND owner = 0;
    std::string className{};
  };
  std::vector<ForeignWindow> foreignWindows;
  std::chrono::milliseconds listingTime{0};
  // Messages posted or sent to those windows, in order (a send is answered 0).
  std::vector<MSG> foreignMessages;

  // ui::Backend
  HWND CreateTopLevel(ui::WindowRecord& record) override;
  void DestroyTopLevel(ui::WindowRecord&) override {}
  void Sync(ui::WindowRecord&, unsigned) override {}
  void QueueRedraw(ui::WindowRecord&, const RECT& area) override { redrawAreas.push_back(area); }
  void UpdateLayered(ui::WindowRecord&) override { ++layeredUpdates; }
  void BeginMoveDrag(ui::WindowRecord& record) override;
  RECT PrimaryMonitor() override { return primaryMonitor; }
  void WakeUp() override;
  void RunLoop() override;
  void QuitLoop() override { ++loopsQuit; }
  UINT_PTR StartTimer(UINT milliseconds, std::function<void()> tick) override;
  void StopTimer(UINT_PTR id) override;
  bool IsForeignWindow(HWND hwnd) override { return Foreign(hwnd) != nullptr; }
  bool ListTopLevel(std::vector<HWND>& out) override;
  bool ForeignProcessId(HWND hwnd, DWORD* pid) override;
  HWND ForeignOwner(HWND hwnd) override { return Foreign(hwnd) ? Foreign(hwnd)->owner : 0; }
  std::string ForeignClass(HWND hwnd) override {
    return Foreign(hwnd) ? Foreign(hwnd)->className : "";
  }
  bool PostForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l) override;
  bool SendForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l, LRESULT* result) override;

 private:
  const ForeignWindow* Foreign(HWND hwnd) const;

  struct Timer {
    UINT_PTR id;
    uint32_t due;
    uint32_t period;
    std::function<void()> tick;
  };
  std::mutex m_mutex;
  std::condition_variable m_queued;
  uint64_t m_wakeUps = 0, m_wakeUpsSeen = 0;
  std::vector<Timer> m_timers;
  uint32_t m_now = 0;
  UINT_PTR m_nextTimer = 1;
  HWND m_nextWindow = 0x00200001;
};

}  // namespace headless

#include "HeadlessBackend.h"

#include <algorithm>
#include <thread>

#include "../WindowTable.h"
#include "../Wnd.h"

namespace headless {

HeadlessBackend::HeadlessBackend() {
  ui::InstallBackend(this);
}

HeadlessBackend::~HeadlessBackend() {
  // Windows still open (a test that failed half-way) go with the backend.
  for (HWND hwnd : ui::LocalTopLevels()) {
    if (ui::WindowRecord* r = ui::FindRecord(hwnd); r && r->wnd) r->wnd->DestroyWindow();
  }
  ui::InstallBackend(nullptr);
}

void HeadlessBackend::AdvanceClock(uint32_t milliseconds) {
  const uint32_t end = m_now + milliseconds;
  while (true) {
    std::function<void()> tick;
    {
      std::lock_guard lock(m_mutex);
      auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                   [](const Timer& a, const Timer& b) { return a.due < b.due; });
      if (next == m_timers.end() || next->due > end) break;
      m_now = next->due;
      next->due += next->period;
      tick = next->tick;
    }
    tick();
    Pump();
  }
  m_now = end;
  Pump();
}

bool HeadlessBackend::Pump() {
  return ui::DispatchPending();
}

void HeadlessBackend::WakeUp() {
  std::lock_guard lock(m_mutex);
  ++m_wakeUps;
  m_queued.notify_all();
}

bool HeadlessBackend::WaitForQueued(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  if (!m_queued.wait_for(lock, timeout, [this] { return m_wakeUps > m_wakeUpsSeen; })) return false;
  m_wakeUpsSeen = m_wakeUps;
  return true;
}

void HeadlessBackend::MouseMove(HWND topLevel, int x, int y) {
  ui::DeliverMouse(topLevel, WM_MOUSEMOVE, x, y);
  Pump();
}
void HeadlessBackend::LButtonDown(HWND topLevel, int x, int y) {
  ui::DeliverMouse(topLevel, WM_LBUTTONDOWN, x, y);
  Pump();
}
void HeadlessBackend::LButtonUp(HWND topLevel, int x, int y) {
  ui::DeliverMouse(topLevel, WM_LBUTTONUP, x, y);
  Pump();
}
void HeadlessBackend::PointerLeft(HWND topLevel) {
  ui::DeliverPointerLeft(topLevel);
  Pump();
}
void HeadlessBackend::KeyDown(HWND topLevel, UINT virtualKey) {
  ui::DeliverKey(topLevel, WM_KEYDOWN, virtualKey);
  Pump();
}

const Surface& HeadlessBackend::Pixels(HWND topLevel) {
  static const Surface kNone;
  ui::PaintTopLevel(topLevel);
  ui::WindowRecord* r = ui::FindRecord(topLevel);
  return r ? r->backing : kNone;
}

const Surface& HeadlessBackend::LayeredPixels(HWND hwnd) {
  static const Surface kNone;
  ui::WindowRecord* r = ui::FindRecord(hwnd);
  return r ? r->layered : kNone;
}

HWND HeadlessBackend::CreateTopLevel(ui::WindowRecord&) {
  return m_nextWindow++;
}

bool HeadlessBackend::ListTopLevel(std::vector<HWND>& out) {
  std::this_thread::sleep_for(listingTime);
  out = ui::LocalTopLevels();
  std::reverse(out.begin(), out.end());
  for (const ForeignWindow& w : foreignWindows) out.push_back(w.hwnd);
  return true;
}

bool HeadlessBackend::ForeignProcessId(HWND hwnd, DWORD* pid) {
  const ForeignWindow* w = Foreign(hwnd);
  if (w) *pid = w->processId;
  return w != nullptr;
}

bool HeadlessBackend::PostForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  if (!Foreign(hwnd)) return false;
  foreignMessages.push_back(MSG{hwnd, message, w, l, 0, {}});
  return true;
}

bool HeadlessBackend::SendForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l, LRESULT* result) {
  *result = 0;
  return PostForeign(hwnd, message, w, l);
}

const HeadlessBackend::ForeignWindow* HeadlessBackend::Foreign(HWND hwnd) const {
  for (const ForeignWindow& w : foreignWindows) {
    if (w.hwnd == hwnd) return &w;
  }
  return nullptr;
}

void HeadlessBackend::BeginMoveDrag(ui::WindowRecord& record) {
  moveDrags.push_back(record.hwnd);
}

void HeadlessBackend::RunLoop() {
  // Without a display nothing arrives on its own: run what is queued.
  Pump();
}

UINT_PTR HeadlessBackend::StartTimer(UINT milliseconds, std::function<void()> tick) {
  std::lock_guard lock(m_mutex);
  const UINT_PTR id = m_nextTimer++;
  m_timers.push_back(Timer{id, m_now + milliseconds, milliseconds, std::move(tick)});
  return id;
}

void HeadlessBackend::StopTimer(UINT_PTR id) {
  std::lock_guard lock(m_mutex);
  m_timers.erase(
      std::remove_if(m_timers.begin(), m_timers.end(), [id](const Timer& t) { return t.id == id; }),
      m_timers.end());
}

}  // namespace headless

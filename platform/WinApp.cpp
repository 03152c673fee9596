#include "WinApp.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "Backend.h"
#include "System.h"
#include "WindowTable.h"

LRESULT DispatchToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // Wnd.cpp

namespace {
CWinApp* g_app = nullptr;

// A call another thread asked the UI thread to carry out, and what became of it. The caller
// waits on it; the queue and the UI thread share it, so neither outlives the other's view.
struct CrossThreadCall {
  enum State { kPending, kDone, kWithdrawn };
  explicit CrossThreadCall(const std::function<void()>& f) : call(f) {}
  const std::function<void()>& call;  // the caller's, alive while the caller waits
  std::mutex mutex;
  std::condition_variable changed;
  State state = kPending;

  void Finish(State result) {
    std::lock_guard lock(mutex);
    state = result;
    changed.notify_all();
  }
};

struct QueueItem {
  MSG msg;
  std::shared_ptr<CrossThreadCall> call;  // a cross-thread call instead of a message
};

// Guards the queue, g_quit's changes and g_joiningWorkers, so a call is either queued before
// the UI thread stops taking calls (and withdrawn then) or refused at once, never lost.
std::mutex g_queueMutex;
std::deque<QueueItem> g_queue;
std::atomic<ui::Backend*> g_backend{nullptr};
std::thread::id g_uiThread;
std::atomic<bool> g_quit{false};
int g_joiningWorkers = 0;  // WorkerJoin scopes open on the UI thread
// UI thread only: ModalLoop scopes open, and the thread messages they hold back.
int g_modalDepth = 0;
std::deque<MSG> g_deferred;

// Releases the callers of every queued call, which will not run (g_queueMutex held).
void WithdrawCallsLocked() {
  for (auto it = g_queue.begin(); it != g_queue.end();) {
    if (it->call) {
      it->call->Finish(CrossThreadCall::kWithdrawn);
      it = g_queue.erase(it);
    } else {
      ++it;
    }
  }
}

struct Timer {
  HWND hwnd;
  UINT_PTR backendId;
  TIMERPROC proc;
};
std::mutex g_timerMutex;
std::map<std::pair<HWND, UINT_PTR>, Timer> g_timers;
UINT_PTR g_nextTimerId = 1;

void Enqueue(QueueItem item) {
  {
    std::lock_guard lock(g_queueMutex);
    g_queue.push_back(std::move(item));
  }
  if (ui::Backend* backend = g_backend.load()) backend->WakeUp();
}

DWORD ThreadIdOf(std::thread::id id) {
  return static_cast<DWORD>(std::hash<std::thread::id>{}(id)&0x7FFFFFFF) | 1;
}
}  // namespace

namespace ui {

void InstallBackend(Backend* backend) {
  g_backend = backend;
  g_uiThread = std::this_thread::get_id();
  {
    std::lock_guard lock(g_queueMutex);
    WithdrawCallsLocked();  // callers waiting on the previous backend's loop
    g_queue.clear();
    g_quit = false;
    g_joiningWorkers = 0;
  }
  g_modalDepth = 0;
  g_deferred.clear();
  std::lock_guard lock(g_timerMutex);
  g_timers.clear();  // timers of the previous backend
}

void KillTimersOf(HWND hwnd) {
  std::lock_guard lock(g_timerMutex);
  for (auto it = g_timers.begin(); it != g_timers.end();) {
    if (it->first.first == hwnd) {
      GetBackend().StopTimer(it->second.backendId);
      it = g_timers.erase(it);
    } else {
      ++it;
    }
  }
}

Backend& GetBackend() {
  return *g_backend.load();
}
bool HasBackend() {
  return g_backend.load() != nullptr;
}
bool IsUiThread() {
  return std::this_thread::get_id() == g_uiThread;
}

void PostToQueue(const MSG& msg) {
  Enqueue(QueueItem{msg, nullptr});
}

bool DispatchPending() {
  while (true) {
    QueueItem item;
    {
      std::lock_guard lock(g_queueMutex);
      if (g_queue.empty()) return !g_quit;
      item = std::move(g_queue.front());
      g_queue.pop_front();
    }
    if (item.call) {
      {
        ModalLoop modal;
        item.call->call();
      }
      item.call->Finish(CrossThreadCall::kDone);
    } else if (item.msg.hwnd == 0 && item.msg.message != WM_QUIT && g_modalDepth > 0) {
      g_deferred.push_back(item.msg);
    } else if (item.msg.message == WM_QUIT) {  // posted to the thread or to any of its windows
      {
        // Nothing runs the queue after the loop: calls waiting for it are turned away.
        std::lock_guard lock(g_queueMutex);
        g_quit = true;
        WithdrawCallsLocked();
      }
      if (g_app) g_app->m_nExitCode = static_cast<int>(item.msg.wParam);
      GetBackend().QuitLoop();
      return false;
    } else {
      ProcessMessage(item.msg);
    }
  }
}

bool RunOnUiThread(const std::function<void()>& call) {
  if (IsUiThread() || !HasBackend()) {
    call();
    return true;
  }
  auto pending = std::make_shared<CrossThreadCall>(call);
  {
    std::lock_guard lock(g_queueMutex);
    if (g_quit || g_joiningWorkers > 0) return false;
    g_queue.push_back(QueueItem{MSG{}, pending});
  }
  if (Backend* backend = g_backend.load()) backend->WakeUp();
  // No clock bound: the UI thread either carries the call out, or withdraws it when its loop
  // ends, when it starts waiting for worker threads, or when its backend goes.
  std::unique_lock lock(pending->mutex);
  pending->changed.wait(lock, [&] { return pending->state != CrossThreadCall::kPending; });
  return pending->state == CrossThreadCall::kDone;
}

WorkerJoin::WorkerJoin() : m_active(IsUiThread() && HasBackend()) {
  if (!m_active) return;
  std::lock_guard lock(g_queueMutex);
  ++g_joiningWorkers;
  WithdrawCallsLocked();
}

WorkerJoin::~WorkerJoin() {
  if (!m_active) return;
  std::lock_guard lock(g_queueMutex);
  --g_joiningWorkers;
}

ModalLoop::ModalLoop() : m_active(IsUiThread() && HasBackend()) {
  if (m_active) ++g_modalDepth;
}

ModalLoop::~ModalLoop() {
  if (!m_active || --g_modalDepth > 0 || g_deferred.empty()) return;
  {
    std::lock_guard lock(g_queueMutex);
    for (auto it = g_deferred.rbegin(); it != g_deferred.rend(); ++it) {
      g_queue.push_front(QueueItem{*it, nullptr});
    }
  }
  g_deferred.clear();
  if (Backend* backend = g_backend.load()) backend->WakeUp();
}

}  // namespace ui

// ---------------------------------------------------------------------------------------------

BOOL CWinThread::PreTranslateMessage(MSG* msg) {
  if (msg->hwnd == 0) {
    // Thread messages go to this object's message map.
    if (const MessageEntry* e = GetMessageMap().Find(msg->message, msg->wParam)) {
      e->handler(*this, msg->wParam, msg->lParam);
      return TRUE;
    }
    return FALSE;
  }
  return WalkPreTranslateTree(msg);
}

BOOL CWinThread::WalkPreTranslateTree(MSG* msg) {
  for (HWND hwnd = msg->hwnd; hwnd;) {
    CWnd* wnd = CWnd::FromHandle(hwnd);
    if (wnd && wnd->PreTranslateMessage(msg)) return TRUE;
    ui::WindowRecord* r = ui::FindRecord(hwnd);
    hwnd = r && r->IsChild() ? r->parent : 0;
  }
  return FALSE;
}

CWinApp::CWinApp(const char*) {
  g_app = this;
  m_nThreadID = ::GetCurrentThreadId();
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
  m_nThreadID = ::GetCurrentThreadId();
  if (!g_quit) ui::GetBackend().RunLoop();
  return ExitInstance();
}

void CWinApp::ReportStartFailure(const char* reason) {
  sys::Current().OutputDebugString(reason);
}

CWinApp* AfxGetApp() {
  return g_app;
}

BOOL SetCurrentProcessExplicitAppUserModelID(const char* id) {
  if (!id || !*id || !ui::HasBackend()) return FALSE;
  ui::GetBackend().SetApplicationId(id);
  return TRUE;
}

int AfxRunApplication() {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->m_nThreadID = GetCurrentThreadId();
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

int AfxFailApplication(const char* reason) {
  if (CWinApp* app = AfxGetApp())
    app->ReportStartFailure(reason);
  else
    sys::Current().OutputDebugString(reason);
  return 1;
}

DWORD GetCurrentThreadId() {
  return ThreadIdOf(std::this_thread::get_id());
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  // Only the main thread has a message queue.
  if (!g_app || threadId != g_app->m_nThreadID) return FALSE;
  Enqueue(QueueItem{MSG{0, message, wParam, lParam, 0, {}}, nullptr});
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  Enqueue(QueueItem{MSG{0, WM_QUIT, static_cast<WPARAM>(exitCode), 0, 0, {}}, nullptr});
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC proc) {
  if (hwnd && !ui::FindRecord(hwnd)) return 0;
  std::lock_guard lock(g_timerMutex);
  if (!hwnd) id = g_nextTimerId++;  // thread timers get fresh ids
  auto key = std::make_pair(hwnd, id);
  if (auto it = g_timers.find(key); it != g_timers.end()) {
    ui::GetBackend().StopTimer(it->second.backendId);
  }
  const UINT_PTR backendId =
      ui::GetBackend().StartTimer(std::max(milliseconds, 1u), [hwnd, id, proc] {
        ui::PostToQueue(MSG{hwnd, WM_TIMER, id, reinterpret_cast<LPARAM>(proc), 0, {}});
      });
  if (!backendId) return 0;
  g_timers[key] = Timer{hwnd, backendId, proc};
  return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  std::lock_guard lock(g_timerMutex);
  auto it = g_timers.find(std::make_pair(hwnd, id));
  if (it == g_timers.end()) return FALSE;
  ui::GetBackend().StopTimer(it->second.backendId);
  g_timers.erase(it);
  return TRUE;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (msg->message == WM_TIMER && msg->lParam) {
    {
      // A timer killed after its tick was queued no longer runs.
      std::lock_guard lock(g_timerMutex);
      if (!g_timers.count(std::make_pair(msg->hwnd, static_cast<UINT_PTR>(msg->wParam)))) return 0;
    }
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam,
                                             sys::Current().GetTickCount());
    return 0;
  }
  // Queued messages are this process's own: a window gone meanwhile just misses them.
  if (!msg->hwnd) return 0;
  return DispatchToWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PreTranslate(MSG& msg) {
  CWinApp* app = AfxGetApp();
  return app ? app->PreTranslateMessage(&msg) : CWinThread::WalkPreTranslateTree(&msg);
}

void ProcessMessage(MSG& msg) {
  if (!PreTranslate(msg)) DispatchMessage(&msg);
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param) {
  auto* thread = new CWinThread;
  try {
    std::thread([thread, proc, param] {
      thread->m_nThreadID = GetCurrentThreadId();
      proc(param);
      delete thread;
    }).detach();
  } catch (...) {
    delete thread;
    return nullptr;
  }
  return thread;
}

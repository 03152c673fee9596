// startup-bench LAUNCHER BARE: how fast and how heavy Launcher.exe starts, next to bare-webview
// (one GTK window with a WebKitGTK view and nothing else).
//
// What is measured, for both programs the same way, on an Xvfb this program starts on a free
// display, against its own loopback HTTP server that stands for every site:
// - Startup time: from just before fork/exec to the later of two events, both timed here on the
//   monotonic clock:
//   "mapped": the X server reports a MapNotify for a top-level 980x650 window with a title whose
//     _NET_WM_PID is the program's (seen from outside, through SubstructureNotify on the root
//     window);
//   "loaded": the server list page's own load handler requests /loaded from the server (the
//     page's load event: the document and everything it pulls in are in).
// - CPU time: user and system time of the process tree at that moment, which a busy machine
//   changes less than the wall-clock time.
// - Peak memory: VmHWM (peak resident set) summed over the program and all its descendants
//   (WebKitWebProcess, WebKitNetworkProcess), read from /proc after the settle time, just before
//   the program is ended. Pages shared between the processes (libraries) count once per
//   process. PSS (shared pages split between the processes sharing them) is shown beside it.
// The launcher runs with "dev=1" (no relocation, no self-update); the bare program loads the
// same URL. Both get the same environment: home, XDG folders and the launcher's stand-in drive
// (LAUNCHER_FIXED_DRIVES) in a temporary folder, LAUNCHER_SERVER naming the loopback server. After
// a warm-up pair that is not counted, the programs run interleaved, launcher then bare,
// BENCH_ROUNDS times (default 7); the table shows medians and [min-max]. Each program is ended with
// SIGTERM, then SIGKILL after 5 s; this program is the subreaper of everything they start, and ends
// whatever is left. Every wait is bounded; Ctrl-C, a failure or the death of this program
// (PR_SET_PDEATHSIG) ends the programs, the server and Xvfb. Environment: BENCH_ROUNDS,
// BENCH_SETTLE_MS (1000: time after startup before memory is read, so that work the programs do
// just after showing counts), BENCH_TIMEOUT_S (60 per start), BENCH_TRACE (set: list each start's
// requests, answered when, its map time and each process's memory), BENCH_TELEMETRY_DELAY_MS (0:
// how long the server takes to answer a telemetry post, to see what a slow telemetry site does to
// the start).
#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Xlib defines macros (None, Status, ...): its headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 980, kHeight = 650;

volatile std::sig_atomic_t g_interrupted = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}
void CheckInterrupted() {
  Check(!g_interrupted, "interrupted");
}

long EnvNumber(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value && std::atol(value) > 0 ? std::atol(value) : fallback;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void SleepFor(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    CheckInterrupted();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// ---- processes ----

// Runs argv with stdout and stderr into `log`; it dies with this program.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log, int keepFd = -1) {
  const pid_t pid = fork();
  Check(pid >= 0, "fork failed");
  if (pid > 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (out >= 0) {
    dup2(out, 1);
    dup2(out, 2);
  }
  for (int fd = 3; fd < 1024; ++fd)
    if (fd != keepFd) close(fd);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

struct ProcStat {
  pid_t ppid = 0;
  double cpuMs = 0;  // user and system time, its own and that of children it reaped
};

// From /proc/PID/stat (the name in it may hold spaces and parentheses); nothing when gone.
std::optional<ProcStat> ReadStat(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const size_t close = text.rfind(')');
  ProcStat stat;
  unsigned long long utime, stime, cutime, cstime;
  if (close == std::string::npos ||
      std::sscanf(text.c_str() + close + 1,
                  " %*c %d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu %llu %llu", &stat.ppid,
                  &utime, &stime, &cutime, &cstime) != 5)
    return std::nullopt;
  stat.cpuMs = (utime + stime + cutime + cstime) * 1000.0 / sysconf(_SC_CLK_TCK);
  return stat;
}

std::map<pid_t, pid_t> Parents() {
  std::map<pid_t, pid_t> parents;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (const std::optional<ProcStat> stat = ReadStat(std::stoi(name)))
      parents[std::stoi(name)] = stat->ppid;
  }
  return parents;
}

std::vector<pid_t> Tree(pid_t root) {
  const std::map<pid_t, pid_t> parents = Parents();
  std::vector<pid_t> tree{root};
  for (size_t i = 0; i < tree.size(); ++i)
    for (const auto& [pid, ppid] : parents)
      if (ppid == tree[i]) tree.push_back(pid);
  return tree;
}

// A "Key:   123 kB" field of a /proc file; 0 when the process or the field is gone.
long ProcKiB(pid_t pid, const char* file, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

// Waits for `pid` (a child of ours) to end; false when `ms` pass first.
bool Reap(pid_t pid, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  do {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (Clock::now() < end);
  return false;
}

void End(pid_t pid) {
  kill(pid, SIGTERM);
  if (Reap(pid, 5000)) return;
  kill(pid, SIGKILL);
  Reap(pid, 5000);
}

// Ends a program and then whatever it started: being the subreaper, this process inherits
// them when the program ends, and they have 5 s to notice and end by themselves (the web
// processes do). `spare` is Xvfb.
void EndTree(pid_t pid, pid_t spare) {
  End(pid);
  const auto end = Clock::now() + std::chrono::seconds(5);
  for (;;) {
    std::vector<pid_t> left;
    for (const auto& [child, parent] : Parents())
      if (parent == getpid() && child != spare && waitpid(child, nullptr, WNOHANG) == 0)
        left.push_back(child);
    if (left.empty()) return;
    if (Clock::now() > end) {
      for (pid_t child : left) kill(child, SIGKILL);
      for (pid_t child : left) Reap(child, 5000);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// ---- Xvfb ----

class Xvfb {
 public:
  explicit Xvfb(const std::string& log) {
    int report[2];
    Check(pipe(report) == 0, "pipe failed");
    m_pid = Spawn({XvfbPath(), "-displayfd", std::to_string(report[1]), "-screen", "0",
                   "1280x800x24", "-nolisten", "tcp"},
                  log, report[1]);
    close(report[1]);
    // The number, then a newline in a write of its own: the pipe stays open until that came.
    std::string number;
    const auto end = Clock::now() + std::chrono::seconds(10);
    char c = 0;
    pollfd p{report[0], POLLIN, 0};
    while (c != '\n' && Clock::now() < end && poll(&p, 1, 100) >= 0) {
      if (p.revents && read(report[0], &c, 1) != 1) break;
      if (p.revents && c >= '0' && c <= '9') number += c;
    }
    close(report[0]);
    if (c != '\n' || number.empty()) {
      End(m_pid);
      throw std::runtime_error("Xvfb did not start (see " + log + ")");
    }
    m_display = std::stoi(number);
  }
  ~Xvfb() { End(m_pid); }
  pid_t pid() const { return m_pid; }
  std::string display() const { return ":" + std::to_string(m_display); }

 private:
  static std::string XvfbPath() {
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
      if (access((std::string(dir) + "Xvfb").c_str(), X_OK) == 0) return std::string(dir) + "Xvfb";
    throw std::runtime_error("Xvfb is missing (scripts/setup)");
  }
  pid_t m_pid = 0;
  int m_display = 0;
};

// ---- the sites ----

// A server list of the usual size: a table of zones, a little style, and the load beacon.
std::string ZoneListPage() {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>zones</title><style>"
      "body{margin:0;font:13px sans-serif;background:#1d2330;color:#e8e2d0}"
      "table{width:100%;border-collapse:collapse}td{padding:4px 8px;border-bottom:1px solid #333}"
      "a{color:#f0c060;text-decoration:none}.busy{color:#e06040}.idle{color:#60c060}"
      "</style></head><body><table>";
  for (int i = 1; i <= 40; ++i) {
    const std::string n = std::to_string(i);
    page += "<tr><td>Zone " + n + "</td><td><a href=\"/start?zone=" + n + "\">Server " + n +
            "</a></td><td class=\"" + (i % 3 ? "idle" : "busy") + "\">" +
            (i % 3 ? "open" : "busy") + "</td></tr>";
  }
  return page +
         "</table><script>addEventListener('load',function(){fetch('/loaded')});</script>"
         "</body></html>";
}

struct Request {
  Clock::time_point at;
  std::string what;
};

class Sites {
 public:
  Sites() {
    m_server.Get("/mini/zonelist.html",
                 [page = ZoneListPage()](const httplib::Request&, httplib::Response& res) {
                   res.set_content(page, "text/html; charset=utf-8");
                 });
    m_server.Get("/loaded", [this](const httplib::Request&, httplib::Response& res) {
      Clock::rep none = 0;
      m_loaded.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
      res.status = 204;
    });
    m_server.Post(R"(/receive/rest/\w+)", [delay = EnvNumber("BENCH_TELEMETRY_DELAY_MS", 0)](
                                              const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      res.set_content("{\"ret\":0}", "application/json");
    });
    m_server.set_logger([this](const httplib::Request& req, const httplib::Response&) {
      std::string what = req.method + " " + req.path;
      if (const size_t state = req.body.find("\"state\":"); state != std::string::npos) {
        what += ' ';
        what.append(req.body, state, req.body.find('}', state) - state);
      }
      std::lock_guard lock(m_mutex);
      m_requests.push_back({Clock::now(), what});
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    Check(m_port > 0, "cannot listen on 127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
  }
  ~Sites() {
    m_server.stop();
    m_thread.join();
  }
  std::string address() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  void Reset() {
    m_loaded = 0;
    std::lock_guard lock(m_mutex);
    m_requests.clear();
  }
  // When the page reported its load, if it has.
  std::optional<Clock::time_point> Loaded() const {
    const Clock::rep at = m_loaded;
    if (!at) return std::nullopt;
    return Clock::time_point(Clock::duration(at));
  }
  // Every request since Reset, when it was answered.
  std::vector<Request> Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
  }

 private:
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
  std::atomic<Clock::rep> m_loaded{0};
  mutable std::mutex m_mutex;
  std::vector<Request> m_requests;
};

// ---- the X server seen from outside ----

int IgnoreXError(Display*, XErrorEvent*) {
  return 0;  // a window may go between its event and our look at it
}

class MapWatch {
 public:
  explicit MapWatch(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {
    Check(m_display != nullptr, "cannot open display " + display);
    XSetErrorHandler(IgnoreXError);
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    XSync(m_display, False);
  }
  ~MapWatch() { XCloseDisplay(m_display); }

  // Handles the events that came, waiting up to `ms` for one; true once the main window of
  // `pid` was mapped: a 980x650 top-level with a title (the launcher's picture frame around
  // the dialog has the same size, but no title).
  bool MainWindowMapped(pid_t pid, int ms) {
    if (!XPending(m_display)) {
      pollfd p{ConnectionNumber(m_display), POLLIN, 0};
      poll(&p, 1, ms);
    }
    bool mapped = false;
    while (XPending(m_display)) {
      XEvent e;
      XNextEvent(m_display, &e);
      if (e.type == MapNotify && e.xmap.event == DefaultRootWindow(m_display) &&
          IsMainWindowOf(e.xmap.window, pid))
        mapped = true;
    }
    return mapped;
  }

 private:
  bool IsMainWindowOf(Window w, pid_t pid) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(m_display, w, &a) || a.width != kWidth || a.height != kHeight)
      return false;
    char* title = nullptr;
    if (!XFetchName(m_display, w, &title) || !title) return false;
    XFree(title);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    bool ours = false;
    if (XGetWindowProperty(m_display, w, m_pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && count == 1)
      ours = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
    if (data) XFree(data);
    return ours;
  }

  Display* m_display;
  Atom m_pidAtom;
};

// ---- one start ----

struct Sample {
  double mappedMs = 0, loadedMs = 0, readyMs = 0, cpuMs = 0;
  long hwmKiB = 0, pssKiB = 0;
  int processes = 0, telemetry = 0;
};

// Waits until the program's main window is mapped and its page reported its load.
void WaitUntilReady(pid_t pid, const std::string& name, const std::string& log,
                    Clock::time_point start, const Sites& sites, MapWatch& watch, Sample& s) {
  const long timeoutS = EnvNumber("BENCH_TIMEOUT_S", 60);
  const auto deadline = start + std::chrono::seconds(timeoutS);
  std::optional<Clock::time_point> mapped;
  while (!mapped || !sites.Loaded()) {
    CheckInterrupted();
    if (!mapped && watch.MainWindowMapped(pid, 10)) mapped = Clock::now();
    if (mapped) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    int status = 0;
    const bool running = waitpid(pid, &status, WNOHANG) == 0;
    Check(running, name + " ended early, status " + std::to_string(status) + " (see " + log + ")");
    Check(Clock::now() < deadline, name + ": no " + (mapped ? "page load" : "window") + " within " +
                                       std::to_string(timeoutS) + " s");
  }
  s.mappedMs = Ms(*mapped - start);
  s.loadedMs = Ms(*sites.Loaded() - start);
  s.readyMs = std::max(s.mappedMs, s.loadedMs);
}

// Peak and proportional memory of the program's process tree, as it is now.
void ReadMemory(pid_t pid, bool trace, Sample& s) {
  for (pid_t p : Tree(pid)) {
    const long hwm = ProcKiB(p, "status", "VmHWM:"), pss = ProcKiB(p, "smaps_rollup", "Pss:");
    if (trace) {
      std::ifstream comm("/proc/" + std::to_string(p) + "/comm");
      std::string name;
      std::getline(comm, name);
      std::printf("  %-16s peak RSS %6.1f MiB  PSS %6.1f MiB\n", name.c_str(), hwm / 1024.0,
                  pss / 1024.0);
    }
    s.hwmKiB += hwm;
    s.pssKiB += pss;
    ++s.processes;
  }
}

// One start of one program, measured, then ended with everything it started.
Sample Start(const std::vector<std::string>& argv, const std::string& log, Sites& sites,
             MapWatch& watch, pid_t xvfb) {
  const bool trace = std::getenv("BENCH_TRACE") != nullptr;
  sites.Reset();
  const Clock::time_point start = Clock::now();
  const pid_t pid = Spawn(argv, log);
  Sample s;
  try {
    WaitUntilReady(pid, argv[0], log, start, sites, watch, s);
    for (pid_t p : Tree(pid))
      if (const std::optional<ProcStat> stat = ReadStat(p)) s.cpuMs += stat->cpuMs;
    SleepFor(static_cast<int>(EnvNumber("BENCH_SETTLE_MS", 1000)));
    ReadMemory(pid, trace, s);
    for (const Request& r : sites.Requests()) {
      if (r.what.rfind("POST", 0) == 0) ++s.telemetry;
      if (trace) std::printf("  %6.0f ms  %s\n", Ms(r.at - start), r.what.c_str());
    }
    if (trace) std::printf("  %6.0f ms  mapped   %s\n", s.mappedMs, argv[0].c_str());
  } catch (...) {
    EndTree(pid, xvfb);
    throw;
  }
  EndTree(pid, xvfb);
  return s;
}

// ---- the table ----

struct Spread {
  double median, min, max;
};
Spread Of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
}

template <class Field>
Spread Of(const std::vector<Sample>& samples, Field field) {
  std::vector<double> v;
  for (const Sample& s : samples) v.push_back(static_cast<double>(field(s)));
  return Of(std::move(v));
}

std::string Format(const Spread& s, double scale) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f [%.0f-%.0f]", s.median / scale, s.min / scale,
                s.max / scale);
  return text;
}

void Report(const std::vector<Sample>& launcher, const std::vector<Sample>& bare) {
  auto ready = [](const Sample& s) { return s.readyMs; };
  auto hwm = [](const Sample& s) { return s.hwmKiB; };
  std::printf("\n%zu rounds each, medians [min-max].\n", launcher.size());
  std::printf("%-14s%-20s%-20s%-20s%s\n", "time (ms)", "ready", "mapped", "loaded",
              "CPU until ready");
  for (const auto& [name, v] : {std::pair{"Launcher.exe", &launcher}, {"bare-webview", &bare}})
    std::printf("%-14s%-20s%-20s%-20s%s\n", name, Format(Of(*v, ready), 1).c_str(),
                Format(Of(*v, [](const Sample& s) { return s.mappedMs; }), 1).c_str(),
                Format(Of(*v, [](const Sample& s) { return s.loadedMs; }), 1).c_str(),
                Format(Of(*v, [](const Sample& s) { return s.cpuMs; }), 1).c_str());
  std::printf("%-14s%-20s%-20s%s\n", "memory (MiB)", "peak RSS", "PSS", "processes, posts");
  for (const auto& [name, v] : {std::pair{"Launcher.exe", &launcher}, {"bare-webview", &bare}})
    std::printf("%-14s%-20s%-20s%d, %d\n", name, Format(Of(*v, hwm), 1024).c_str(),
                Format(Of(*v, [](const Sample& s) { return s.pssKiB; }), 1024).c_str(),
                v->back().processes, v->back().telemetry);
  std::printf(
      "ready: from fork to the later of the main window's MapNotify and the page's load beacon;\n"
      "CPU: user + system time of the process tree at ready; peak RSS: VmHWM summed over the\n"
      "process tree (shared pages once per process), PSS: summed at the same moment, both after\n"
      "the settle time.\n");
  const double time = Of(launcher, ready).median / Of(bare, ready).median;
  const double memory = Of(launcher, hwm).median / Of(bare, hwm).median;
  std::printf("\nlauncher / bare   time %.2f (aim <= 1.30: %s)   memory %.2f (aim <= 1.20: %s)\n",
              time, time <= 1.3 ? "met" : "MISSED", memory, memory <= 1.2 ? "met" : "MISSED");
  // The two starts of a round shared the machine's state: their ratio varies less on a busy
  // machine than the medians do.
  std::vector<double> rounds;
  for (size_t i = 0; i < launcher.size(); ++i)
    rounds.push_back(launcher[i].readyMs / bare[i].readyMs);
  const Spread paired = Of(rounds);
  std::printf("time ratio of each round: median %.2f [%.2f-%.2f]\n", paired.median, paired.min,
              paired.max);
}

void OnSignal(int) {
  g_interrupted = 1;
}

// The warm-up pair, then the rounds, then the table.
void Measure(const fs::path& temp, const std::string& launcherPath, const std::string& barePath) {
  Xvfb xvfb((temp / "xvfb.log").string());
  Sites sites;
  MapWatch watch(xvfb.display());

  // The programs' environment: this display, the one loopback server, and home, data, cache,
  // configuration and the work folder's stand-in drive all inside the temporary folder.
  setenv("DISPLAY", xvfb.display().c_str(), 1);
  setenv("LAUNCHER_SERVER", sites.address().c_str(), 1);
  setenv("LAUNCHER_FIXED_DRIVES", (temp / "drive").c_str(), 1);
  setenv("HOME", (temp / "home").c_str(), 1);
  for (const char* name :
       {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
    fs::create_directories(temp / "home" / name);
    fs::permissions(temp / "home" / name, fs::perms::owner_all);
    setenv(name, (temp / "home" / name).c_str(), 1);
  }
  setenv("GSETTINGS_BACKEND", "memory", 1);
  Check(chdir(temp.c_str()) == 0, "cannot enter " + temp.string());

  const std::string url = sites.address() + "/mini/zonelist.html";
  const std::vector<std::string> launcher{launcherPath, "dev=1"}, bare{barePath, url};
  const std::string launcherLog = (temp / "launcher.log").string();
  const std::string bareLog = (temp / "bare.log").string();
  std::printf("bench: %s, Xvfb %s, sites %s\nbench: warm-up\n", url.c_str(), xvfb.display().c_str(),
              sites.address().c_str());
  std::fflush(stdout);
  Start(launcher, launcherLog, sites, watch, xvfb.pid());
  Start(bare, bareLog, sites, watch, xvfb.pid());

  std::vector<Sample> launcherSamples, bareSamples;
  const long rounds = EnvNumber("BENCH_ROUNDS", 7);
  for (long round = 1; round <= rounds; ++round) {
    launcherSamples.push_back(Start(launcher, launcherLog, sites, watch, xvfb.pid()));
    bareSamples.push_back(Start(bare, bareLog, sites, watch, xvfb.pid()));
    std::printf("bench: round %ld/%ld  launcher %.0f ms %.0f MiB   bare %.0f ms %.0f MiB\n", round,
                rounds, launcherSamples.back().readyMs, launcherSamples.back().hwmKiB / 1024.0,
                bareSamples.back().readyMs, bareSamples.back().hwmKiB / 1024.0);
    std::fflush(stdout);
  }
  Report(launcherSamples, bareSamples);
}

void Run(const std::string& launcherPath, const std::string& barePath) {
  const fs::path temp = fs::temp_directory_path() / ("bench-startup-" + std::to_string(getpid()));
  fs::create_directories(temp / "drive");
  // Removed afterwards, but kept with the programs' logs when a start fails.
  struct Remove {
    fs::path path;
    ~Remove() {
      std::error_code ec;
      if (!path.empty()) fs::remove_all(path, ec);
    }
  } remove{temp};
  try {
    Measure(temp, launcherPath, barePath);
  } catch (...) {
    if (!g_interrupted) {
      std::fprintf(stderr, "bench: logs kept in %s\n", temp.c_str());
      remove.path.clear();
    }
    throw;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: startup-bench LAUNCHER BARE_WEBVIEW\n");
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Orphans of the programs (their web processes) become ours, so that none is left behind.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  try {
    // The programs run in the temporary folder.
    Run(fs::absolute(argv[1]), fs::absolute(argv[2]));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench: %s\n", e.what());
    return 1;
  }
}

// update_tree_server DIR PORT_FILE [--rate BYTES_PER_SECOND] [--latency MS] [--served FILE]
// [--cut-once BYTES]: serves the files below DIR over HTTP on 127.0.0.1, on a port the kernel
// chooses and writes to PORT_FILE, until it is terminated. Connections are kept alive, bodies
// stream from disk, and paths never leave DIR. --rate and --latency model a player's link: every
// answer starts MS milliseconds after its request, and the bodies of all connections together go
// out at no more than the rate. Every file has an ETag (its size and time) and "bytes=N-"
// ranges are answered with 206 unless If-Range names another ETag. --served rewrites FILE with
// the body bytes sent so far whenever an answer ends; --cut-once closes the first answer that
// reaches BYTES there, short of its length.
#include <httplib.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "LoopbackListen.h"

namespace fs = std::filesystem;

namespace {

// DIR + the request path with empty parts dropped; false for a ".." part.
bool LocalPath(const std::string& root, const std::string& requestPath, std::string& path) {
  path = root;
  std::string part;
  for (size_t i = 0; i <= requestPath.size(); ++i) {
    if (i == requestPath.size() || requestPath[i] == '/') {
      if (part == "..") return false;
      if (!part.empty() && part != ".") path += "/" + part;
      part.clear();
    } else {
      part += requestPath[i];
    }
  }
  return true;
}

// The one link every connection shares: a block goes out once the blocks before it, of any
// connection, have had their time at the link's rate. A sender that wakes late (the machine is
// busy) may catch up by at most kQueue of the link's time, as the link's queue would have gone
// on sending meanwhile; over any longer span the rate holds.
class Link {
 public:
  explicit Link(double bytesPerSecond) : m_bytesPerSecond(bytesPerSecond) {}
  void Send(size_t bytes) {
    if (m_bytesPerSecond <= 0) return;
    const auto duration = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / m_bytesPerSecond));
    Clock::time_point done;
    {
      std::lock_guard lock(m_mutex);
      m_free = std::max(m_free, Clock::now() - kQueue) + duration;
      done = m_free;
    }
    std::this_thread::sleep_until(done);
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kQueue{20};
  double m_bytesPerSecond;
  std::mutex m_mutex;
  Clock::time_point m_free;
};

// The file's ETag: its size and modification time, which a publish changes.
std::string ETagOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return "\"" + std::to_string(st.st_size) + "-" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec) + "\"";
}

// The body bytes sent, written out whenever an answer ends.
class Served {
 public:
  explicit Served(std::string file) : m_file(std::move(file)) {}
  void Add(size_t bytes) { m_bytes += bytes; }
  void AnswerEnded() {
    if (m_file.empty()) return;
    std::lock_guard lock(m_mutex);
    std::ofstream(m_file + ".part") << m_bytes.load() << "\n";
    fs::rename(m_file + ".part", m_file);
  }

 private:
  std::string m_file;
  std::atomic<uint64_t> m_bytes{0};
  std::mutex m_mutex;
};

}  // namespace

int main(int argc, char** argv) {
  double rate = 0;
  long latencyMs = 0;
  std::string servedFile;
  // The first answer that reaches this byte of its file closes there; 0: none.
  std::atomic<uint64_t> cutAt{0};
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--rate") rate = std::atof(argv[i + 1]);
    if (option == "--latency") latencyMs = std::atol(argv[i + 1]);
    if (option == "--served") servedFile = argv[i + 1];
    if (option == "--cut-once") cutAt = std::strtoull(argv[i + 1], nullptr, 10);
  }
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr,
                 "usage: update_tree_server DIR PORT_FILE [--rate B/S] [--latency MS] "
                 "[--served FILE] [--cut-once BYTES]\n");
    return 2;
  }
  Served served(servedFile);
  const std::string root = argv[1];
  Link link(rate);
  // Blocks small enough that the link's rate holds within a few milliseconds.
  const size_t block = rate > 0 ? 16384 : 65536;
  httplib::Server server;
  server.set_keep_alive_max_count(1000000);
  server.set_tcp_nodelay(true);  // headers and body go out in separate writes
  // A thread per kept-alive connection, for clients with many of them.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  server.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs));
    std::string path;
    std::error_code ec;
    if (!LocalPath(root, req.path, path) || !fs::is_regular_file(path, ec)) {
      res.status = 404;
      return;
    }
    const std::string etag = ETagOf(path);
    res.set_header("ETag", etag);
    // httplib answers the Range itself; a changed file gets all of it.
    if (req.has_header("If-Range") && req.get_header_value("If-Range") != etag) {
      const_cast<httplib::Request&>(req).ranges.clear();
    }
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    res.set_content_provider(
        fs::file_size(path, ec), "application/octet-stream",
        [file, block, &link, &served, &cutAt](size_t offset, size_t length,
                                              httplib::DataSink& sink) {
          char buffer[65536];
          size_t want = std::min(length, block);
          uint64_t cut = cutAt;
          if (cut > offset && cut < offset + want) want = cut - offset;
          if (cut != 0 && cut == offset && cutAt.compare_exchange_strong(cut, 0)) {
            served.AnswerEnded();
            return false;
          }
          file->seekg(static_cast<std::streamoff>(offset));
          file->read(buffer, static_cast<std::streamsize>(want));
          const auto got = static_cast<size_t>(file->gcount());
          link.Send(got);
          const bool sent = got > 0 && sink.write(buffer, got);
          if (sent) served.Add(got);
          if (!sent || got == length) served.AnswerEnded();
          return sent;
        });
  });
  const int port = BindLoopback(server);
  if (port <= 0) return 1;
  const std::string portFile = argv[2];
  std::ofstream(portFile + ".part") << port << "\n";
  fs::rename(portFile + ".part", portFile);
  return server.listen_after_bind() ? 0 : 1;
}

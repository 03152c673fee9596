// update_tree_server DIR PORT_FILE: serves the files below DIR over HTTP on 127.0.0.1, on a
// port the kernel chooses and writes to PORT_FILE, until it is terminated. Connections are
// kept alive, bodies stream from disk, and paths never leave DIR.
#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_tree_server DIR PORT_FILE\n");
    return 2;
  }
  const std::string root = argv[1];
  httplib::Server server;
  server.set_keep_alive_max_count(1000000);
  server.set_tcp_nodelay(true);  // headers and body go out in separate writes
  server.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
    std::string path;
    std::error_code ec;
    if (!LocalPath(root, req.path, path) || !fs::is_regular_file(path, ec)) {
      res.status = 404;
      return;
    }
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    res.set_content_provider(
        fs::file_size(path, ec), "application/octet-stream",
        [file](size_t offset, size_t length, httplib::DataSink& sink) {
          char buffer[65536];
          file->seekg(static_cast<std::streamoff>(offset));
          file->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
          return file->gcount() > 0 && sink.write(buffer, static_cast<size_t>(file->gcount()));
        });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) return 1;
  const std::string portFile = argv[2];
  std::ofstream(portFile + ".part") << port << "\n";
  fs::rename(portFile + ".part", portFile);
  return server.listen_after_bind() ? 0 : 1;
}

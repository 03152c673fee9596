// demo-server: serves a folder (demo pages, an update tree, launcher versions) and takes
// telemetry events, on loopback only.
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: demo-server --root DIR [--port N] [--telemetry-log FILE]\n"
               "Serves DIR on http://127.0.0.1:N/ (N 18080 by default, 0 lets the kernel "
               "choose)\nand answers POST /receive/rest/<kind> by appending the body to FILE.\n"
               "Prints the address it listens on, then serves until killed.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string root, telemetryLog;
  int port = 18080;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--root" && hasValue) {
      root = argv[++i];
    } else if (arg == "--port" && hasValue) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--telemetry-log" && hasValue) {
      telemetryLog = argv[++i];
    } else if (arg == "--help") {
      Usage(stdout);
      return 0;
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (root.empty()) {
    Usage(stderr);
    return 2;
  }

  httplib::Server server;
  if (!server.set_mount_point("/", root)) {
    std::fprintf(stderr, "demo-server: cannot serve %s\n", root.c_str());
    return 1;
  }
  server.Post(R"(/receive/rest/(\w+))", [&](const httplib::Request& req, httplib::Response& res) {
    std::string line = req.matches[1].str() + " " + req.body + "\n";
    std::fputs(("telemetry: " + line).c_str(), stdout);
    std::fflush(stdout);
    if (!telemetryLog.empty()) std::ofstream(telemetryLog, std::ios::app) << line;
    res.set_content("{\"ret\":0}", "application/json");
  });
  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "demo-server: cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::printf("demo-server: http://127.0.0.1:%d/\n", port);
  std::fflush(stdout);
  return server.listen_after_bind() ? 0 : 1;
}

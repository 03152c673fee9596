// demo-server: serves a folder (an update tree, launcher versions), the built-in pages the
// launcher opens (server list, pop-up, the four link pages) and takes telemetry events, on
// loopback only.
#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "LoopbackListen.h"
#include "Site.h"

namespace {

void Usage(FILE* out) {
  std::fputs(
      "usage: demo-server --root DIR [--port N] [--telemetry-log FILE]\n"
      "\n"
      "Serves DIR on http://127.0.0.1:N/ (N 18080 by default, 0 lets the kernel choose), and\n"
      "where DIR has no such file its built-in pages: /mini/zonelist.html (the server list,\n"
      "whose games update from this server), /mini/login, /popup.html, /home.html,\n"
      "/bbs.html, /qa.html and /recharge.html. Each POST /receive/rest/<kind> is printed as\n"
      "\"telemetry: <kind> <body>\" and appended to FILE as \"<kind> <body>\", one line each.\n"
      "\n"
      "Prints the address it listens on, then serves until killed. Exit status 1 when it\n"
      "cannot listen, 2 on bad usage.\n",
      out);
}

bool ParsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *port = std::stoi(text);
  return *port <= 65535;
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
    } else if (arg == "--port" && hasValue && ParsePort(argv[i + 1], &port)) {
      ++i;
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
  std::string origin;  // set once bound, before the first request
  server.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
    std::string html;
    if (!demo::BuiltInPage(req.path, origin, &html)) {
      res.status = 404;
      return;
    }
    res.set_content(html, "text/html; charset=utf-8");
  });
  server.Post(R"(/receive/rest/(\w+))", [&](const httplib::Request& req, httplib::Response& res) {
    const std::string line = req.matches[1].str() + " " + demo::OneLine(req.body) + "\n";
    std::fputs(("telemetry: " + line).c_str(), stdout);
    std::fflush(stdout);
    if (!telemetryLog.empty()) std::ofstream(telemetryLog, std::ios::app) << line;
    res.set_content("{\"ret\":0}", "application/json");
  });
  const int bound = BindLoopback(server, port);
  if (bound <= 0) {
    std::fprintf(stderr, "demo-server: cannot listen on 127.0.0.1:%d (is the port in use?)\n",
                 port);
    return 1;
  }
  origin = "http://127.0.0.1:" + std::to_string(bound);
  std::printf("demo-server: %s/\n", origin.c_str());
  std::fflush(stdout);
  return server.listen_after_bind() ? 0 : 1;
}

// An HTTP server for tests on 127.0.0.1 and a port the kernel chooses, serving on its own
// thread. Register handlers on server() before Start(); the destructor stops it.
#pragma once

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TestHttpServer {
 public:
  struct Recorded {
    std::string method, path, query, body;
    httplib::Headers headers;
  };

  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  httplib::Server& server() { return m_server; }
  void Start();
  void Stop();

  int port() const { return m_port; }
  // "http://127.0.0.1:PORT" + path
  std::string Url(const std::string& path = "") const;

  // Every request that reached the server, in arrival order; recorded before its handler runs,
  // its body filled in before it is answered.
  std::vector<Recorded> Requests();
  // How many requests asked for `path`.
  size_t RequestCount(const std::string& path);

 private:
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
  std::mutex m_mutex;
  std::vector<Recorded> m_requests;
  std::map<const httplib::Request*, size_t> m_pending;  // requests being answered
};

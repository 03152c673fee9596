#include "TestHttpServer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "LoopbackListen.h"

TestHttpServer::TestHttpServer() {
  m_port = BindLoopback(m_server);
  if (m_port <= 0) throw std::runtime_error("cannot bind a loopback port");
  m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    std::string query;
    for (const auto& [key, value] : req.params) {
      query += (query.empty() ? "" : "&") + key + "=" + value;
    }
    std::lock_guard lock(m_mutex);
    m_pending[&req] = m_requests.size();
    m_requests.push_back({req.method, req.path, query, req.body, req.headers});
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // A body is read after routing starts. The post-routing handler runs before the answer is
  // written, so a client that has its answer always finds the body recorded.
  m_server.set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    std::lock_guard lock(m_mutex);
    auto it = m_pending.find(&req);
    if (it == m_pending.end()) return;
    m_requests[it->second].body = req.body;
    m_pending.erase(it);
  });
  // A kept-alive connection holds its server thread until this runs out: Stop waits for it.
  m_server.set_keep_alive_timeout(1);
}

TestHttpServer::~TestHttpServer() {
  Stop();
}

void TestHttpServer::Start() {
  m_thread = std::thread([this] { m_server.listen_after_bind(); });
  // Connections queue in the kernel from bind on; waiting here keeps Stop() from racing listen.
  for (int i = 0; i < 5000 && !m_server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void TestHttpServer::Stop() {
  // The socket is bound from construction on; only a listening server closes it on stop.
  if (!m_thread.joinable()) Start();
  m_server.stop();
  if (m_thread.joinable()) m_thread.join();
}

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<TestHttpServer::Recorded> TestHttpServer::Requests() {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

size_t TestHttpServer::RequestCount(const std::string& path) {
  std::lock_guard lock(m_mutex);
  return std::count_if(m_requests.begin(), m_requests.end(),
                       [&](const Recorded& r) { return r.path == path; });
}

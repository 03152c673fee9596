#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "TestHttpServer.h"

namespace {

TEST(TestHttpServerTest, ServesAndRecordsOnLoopback) {
  TestHttpServer http;
  http.server().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("hi", "text/plain");
  });
  http.Start();
  httplib::Client client("127.0.0.1", http.port());
  auto res = client.Get("/hello?t=5");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "hi");
  ASSERT_EQ(http.Requests().size(), 1u);
  EXPECT_EQ(http.Requests()[0].path, "/hello");
  EXPECT_EQ(http.Requests()[0].query, "t=5");
}

TEST(TestHttpServerTest, RecordsPostBodies) {
  TestHttpServer http;
  http.server().Post("/in", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("ok", "text/plain");
  });
  http.Start();
  httplib::Client client("127.0.0.1", http.port());
  ASSERT_TRUE(client.Post("/in", "{\"a\":1}", "application/json"));
  ASSERT_EQ(http.Requests().size(), 1u);
  EXPECT_EQ(http.Requests()[0].body, "{\"a\":1}");
}

TEST(TestHttpServerTest, NeverStartedServerReleasesItsPort) {
  int port;
  {
    TestHttpServer http;
    port = http.port();
  }
  // A plain socket (no address reuse) binds only once nobody holds the port.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
}

// A client that opens many connections at once (an update with eight) may get them all in before
// the server accepts any. Beyond the listen queue the kernel drops their SYNs, and TCP sends
// them again only a second later: every connection must complete with none accepted yet.
TEST(TestHttpServerTest, ManyConnectionsCompleteBeforeTheServerAccepts) {
  TestHttpServer http;  // listening, never accepting before Stop
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(http.port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<pollfd> pending;
  for (int i = 0; i < 16; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(fd, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pending.push_back({fd, POLLOUT, 0});
  }
  // A dropped SYN would be sent again after one second, then three, and find the queue still
  // full: ten seconds is a bound for a condition that holds at once or never.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<int> connected;
  while (!pending.empty() && std::chrono::steady_clock::now() < deadline) {
    poll(pending.data(), pending.size(), 100);
    for (auto it = pending.begin(); it != pending.end();) {
      if (it->revents == 0) {
        ++it;
        continue;
      }
      int error = 0;
      socklen_t size = sizeof error;
      getsockopt(it->fd, SOL_SOCKET, SO_ERROR, &error, &size);
      EXPECT_EQ(error, 0);
      connected.push_back(it->fd);
      it = pending.erase(it);
    }
  }
  EXPECT_EQ(connected.size(), 16u) << pending.size() << " connections still waiting";
  for (const pollfd& p : pending) close(p.fd);
  for (int fd : connected) close(fd);
}

}  // namespace

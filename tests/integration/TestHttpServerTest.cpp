#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

}  // namespace

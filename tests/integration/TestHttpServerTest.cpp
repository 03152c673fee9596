#include <gtest/gtest.h>

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

}  // namespace

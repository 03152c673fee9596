#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "Telemetry.h"
#include "TempDir.h"
#include "TestHttpServer.h"
#include "platform/headless/FakeSystem.h"
#include "update/Log.h"

namespace {

const char* const kLoginStateBody =
    "{\"appid\":\"5c0e1a9b7d2f48e3a6b1c9d07e2f4a18\",\"what\":\"loginstate\",\"who\":\"A\","
    "\"context\":{\"deviceid\":\"A\",\"channelid\":\"P\",\"state\":\"S\"}}";
const char* const kPlainBody =
    "{\"appid\":\"5c0e1a9b7d2f48e3a6b1c9d07e2f4a18\",\"who\":\"A\","
    "\"context\":{\"deviceid\":\"A\",\"channelid\":\"P\"}}";

// A loopback socket whose connections wait in the kernel's queue: nobody answers unless
// ServeOne is called, which reads one request whole, as sent, and replies "ok".
class RawEndpoint {
 public:
  RawEndpoint() {
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(m_fd, 8) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      throw std::runtime_error("cannot listen on loopback");
    }
    m_port = ntohs(addr.sin_port);
  }
  ~RawEndpoint() { close(m_fd); }

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  std::string ServeOne() {
    int conn = accept(m_fd, nullptr, nullptr);
    std::string request;
    char buffer[4096];
    size_t need = std::string::npos;
    while (request.size() < need) {
      ssize_t n = read(conn, buffer, sizeof buffer);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
      size_t head = request.find("\r\n\r\n");
      size_t length = request.find("Content-Length: ");
      if (head != std::string::npos && length != std::string::npos) {
        need = head + 4 + std::stoul(request.substr(length + 16));
      }
    }
    const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    (void)!write(conn, reply, sizeof reply - 1);
    close(conn);
    return request;
  }

 private:
  int m_fd = -1;
  int m_port = 0;
};

class TelemetryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_config.strAccount = "A";
    m_config.strPlatform = "P";
    SetLogFile(m_dir / "log.txt");
  }
  void TearDown() override {
    SetLogFile("");
    SetTelemetrySite(m_previousSite);
  }
  // The shared server records requests before their bodies are read, so the handler keeps them.
  void ServeTelemetry(const std::string& reply = "") {
    m_http.server().Post(R"(/receive/rest/\w+)",
                         [this, reply](const httplib::Request& req, httplib::Response& res) {
                           std::lock_guard lock(m_mutex);
                           m_posts.push_back(req);
                           res.set_content(reply, "text/plain");
                         });
    m_http.server().set_keep_alive_max_count(
        1);  // the poster's reused connection would hold Stop()
    m_http.Start();
    SetTelemetrySite(m_http.Url());
  }
  std::vector<httplib::Request> Posts() {
    std::lock_guard lock(m_mutex);
    return m_posts;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  TestHttpServer m_http;
  AppConfig m_config;
  std::string m_previousSite = GetTelemetrySite();
  std::mutex m_mutex;
  std::vector<httplib::Request> m_posts;
};

TEST_F(TelemetryTest, LoginStateGoesToEventPathWithItsBody) {
  ServeTelemetry();
  PostLoginState(m_config, "S");
  auto requests = Posts();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/receive/rest/event");
  EXPECT_EQ(requests[0].body, kLoginStateBody);
}

TEST_F(TelemetryTest, StartupAndInstallHaveTheirOwnPathsAndOneJsonHeaderEach) {
  ServeTelemetry();
  PostStartup(m_config);
  PostInstall(m_config);
  PostLoginState(m_config, kLoginStateStart);
  auto requests = Posts();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].path, "/receive/rest/startup");
  EXPECT_EQ(requests[0].body, kPlainBody);
  EXPECT_EQ(requests[1].path, "/receive/rest/install");
  EXPECT_EQ(requests[1].body, kPlainBody);
  EXPECT_EQ(requests[2].path, "/receive/rest/event");
  for (const auto& request : requests) {
    EXPECT_EQ(request.headers.count("Content-Type"), 1u);
    EXPECT_EQ(request.headers.find("Content-Type")->second, "application/json");
  }
}

TEST_F(TelemetryTest, HeaderLineIsSentExactlyAsWritten) {
  RawEndpoint endpoint;
  SetTelemetrySite(endpoint.Url());
  auto served = std::async(std::launch::async, [&endpoint] { return endpoint.ServeOne(); });
  PostLoginState(m_config, "S");
  std::string request = served.get();
  EXPECT_EQ(request.rfind("POST /receive/rest/event HTTP/1.1\r\n", 0), 0u) << request;
  size_t at = request.find("\r\nContent-Type:application/json\r\n");
  EXPECT_NE(at, std::string::npos) << request;
  EXPECT_EQ(request.find("Content-Type", at + 3), std::string::npos) << request;
  EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), kLoginStateBody);
}

TEST_F(TelemetryTest, SilentEndpointEndsThePostAfterAboutThreeSecondsWithoutLogging) {
  RawEndpoint endpoint;  // accepts into the queue, never answers
  SetTelemetrySite(endpoint.Url());
  auto start = std::chrono::steady_clock::now();
  PostLoginState(m_config, "S");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(seconds, 2.5);
  EXPECT_LT(seconds, 10.0);
  EXPECT_TRUE(m_system.DebugOutput().empty());
  EXPECT_EQ(ReadFile(m_dir / "log.txt"), "");
}

TEST_F(TelemetryTest, ReplyBodyIsLogged) {
  ServeTelemetry("{\"code\":0}");
  PostLoginState(m_config, "S");
  EXPECT_EQ(m_system.DebugOutput(), std::vector<std::string>{"www ret {\"code\":0}"});
  EXPECT_EQ(ReadFile(m_dir / "log.txt"), "261206-230740: www ret {\"code\":0} \n");
}

TEST_F(TelemetryTest, PostsFromTwoThreadsAtOnceArriveWhole) {
  ServeTelemetry();
  constexpr int kPosts = 20;
  AppConfig other = m_config;
  other.strAccount = "B";
  std::thread worker([&other] {
    for (int i = 0; i < kPosts; ++i) PostLoginState(other, kLoginStateStartGame);
  });
  for (int i = 0; i < kPosts; ++i) PostLoginState(m_config, kLoginStateStart);
  worker.join();
  auto requests = Posts();
  ASSERT_EQ(requests.size(), 2u * kPosts);
  int fromWorker = 0;
  for (const auto& request : requests) {
    if (request.body == ComposeEventBody("B", "P", "loginstate", "\"state\":\"wd_start_game\"")) {
      ++fromWorker;
    } else {
      EXPECT_EQ(request.body, ComposeEventBody("A", "P", "loginstate", "\"state\":\"wd_start\""));
    }
  }
  EXPECT_EQ(fromWorker, kPosts);
}

TEST_F(TelemetryTest, ValuesWithQuotesBackslashesAndControlsStayValidJson) {
  ServeTelemetry();
  m_config.strAccount = "a\",\"who\":\"evil\\";
  m_config.strPlatform = "line\nbreak\t\x01";
  PostLoginState(m_config, "st\"ate\\");
  PostStartup(m_config);
  auto requests = Posts();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    nlohmann::json body = nlohmann::json::parse(request.body);  // throws on invalid JSON
    EXPECT_EQ(body["who"], m_config.strAccount);
    EXPECT_EQ(body["context"]["deviceid"], m_config.strAccount);
    EXPECT_EQ(body["context"]["channelid"], m_config.strPlatform);
    EXPECT_EQ(body.size(), request.path == "/receive/rest/event" ? 4u : 3u);
  }
  EXPECT_EQ(nlohmann::json::parse(requests[0].body)["context"]["state"], "st\"ate\\");
}

}  // namespace

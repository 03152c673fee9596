// A loopback file server whose files misbehave on request, for the update engine's fault matrix:
// a file may answer 404 or 500, answer busy (503 or 429, with a Retry-After when one is set),
// cut its body short, stall, send a body without end, trickle its bytes, serve damaged xz or
// other (plain) content, for its first `times` requests. With a link rate, every body shares
// one modelled link: the bytes of all connections together pass at that rate.
#pragma once

#include <chrono>
#include <climits>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "TestHttpServer.h"

class FaultyServer {
 public:
  enum class Fault {
    kNone,
    kNotFound,
    kServerError,
    kUnavailable,
    kTooManyRequests,
    kCutBody,
    kStall,
    kEndless,
    kTrickle,
    kBadXz,
    kOtherContent
  };

  FaultyServer();
  // Releases stalled answers, then stops the server.
  ~FaultyServer();

  // Serves `body` at "/" + `name`, with `fault` for its first `times` requests.
  void Serve(const std::string& name, const std::string& body, Fault fault = Fault::kNone,
             int times = INT_MAX);
  // Bytes per second all bodies share; 0 (the default): as fast as loopback goes.
  void SetLinkRate(size_t bytesPerSecond) { m_rate = bytesPerSecond; }
  // How long a stalled answer holds its connection (at most until the server goes).
  void SetStall(std::chrono::milliseconds stall) { m_stall = stall; }
  // The Retry-After value of busy answers; empty (the default): none.
  void SetRetryAfter(const std::string& value) { m_retryAfter = value; }
  // The most bodies that were being sent at once.
  int MaxInFlight();
  std::string Url(const std::string& path = "") const { return m_http.Url(path); }
  size_t RequestCount(const std::string& name) { return m_http.RequestCount("/" + name); }

 private:
  struct File {
    std::string body;
    Fault fault = Fault::kNone;
    int times = 0;
  };
  void Answer(const std::string& name, httplib::Response& res);
  // Sends `data` through the modelled link; false once the client or the server has gone.
  bool Send(httplib::DataSink& sink, const char* data, size_t size);
  // Waits `pause`; false once the server goes.
  bool Pause(std::chrono::milliseconds pause);
  void Count(int change);

  TestHttpServer m_http;
  std::mutex m_mutex;
  std::condition_variable m_stopping;
  bool m_bStopping = false;
  std::map<std::string, File> m_files;
  size_t m_rate = 0;
  std::chrono::milliseconds m_stall{60000};
  std::string m_retryAfter;
  int m_inFlight = 0, m_maxInFlight = 0;
  std::chrono::steady_clock::time_point m_linkFree;  // when the modelled link is free again
};

// A loopback file server whose files misbehave on request, for the update engine's fault matrix:
// a file may answer 404 or 500, answer busy (503 or 429, with a Retry-After when one is set),
// cut its body short, stall, send a body without end, trickle its bytes, serve damaged xz or
// other (plain) content, for its first `times` requests, or answer a Range request with other
// bytes than asked. With a link rate, every body shares one modelled link: the bytes of all
// connections together pass at that rate. It answers "bytes=N-" ranges with 206 unless If-Range
// names another validator than the file's ETag.
#pragma once

#include <chrono>
#include <climits>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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
    kOtherContent,
    kIgnoreRange,     // the whole file, 200, whatever was asked
    kRangeElsewhere,  // 206 from byte 0, whatever byte was asked
    kNewValidator,    // 206 from the byte asked, but of a changed file with another ETag
    kPartToPlain,     // 206 with the second half, to a request for the whole file
  };
  static constexpr const char* kETag = "\"v1\"";

  FaultyServer();
  // Releases stalled answers, then stops the server.
  ~FaultyServer();

  // Serves `body` at "/" + `name`, with `fault` for its first `times` requests.
  void Serve(const std::string& name, const std::string& body, Fault fault = Fault::kNone,
             int times = INT_MAX);
  // Serves `body` at "/" + `name`, its n-th request with `faults[n]`, and the later ones well.
  void Serve(const std::string& name, const std::string& body, std::vector<Fault> faults);
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
  // The Range header of every request for `name`, in order ("" where it had none).
  std::vector<std::string> RangesAsked(const std::string& name);
  // The body bytes sent to every client so far.
  size_t BytesSent();

 private:
  struct File {
    std::string body;
    Fault fault = Fault::kNone;
    int times = 0;
    std::vector<Fault> script;  // the next requests' faults, before `fault`
  };
  void Answer(const httplib::Request& req, const std::string& name, httplib::Response& res);
  // The body from the byte the request asks for, as `fault` shapes it; false for none (416).
  static bool Ranged(const httplib::Request& req, Fault fault, std::string& body,
                     httplib::Response& res);
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
  size_t m_sent = 0;
  std::chrono::steady_clock::time_point m_linkFree;  // when the modelled link is free again
};

#include "FaultyServer.h"

#include <algorithm>

namespace {
constexpr size_t kChunk = 4096;
constexpr auto kTrickleGap = std::chrono::milliseconds(100);
// An endless body ends here all the same, so a client without a limit still finishes its test.
constexpr size_t kEndlessCap = 64u << 20;
}  // namespace

FaultyServer::FaultyServer() {
  m_http.server().set_keep_alive_max_count(1000);
  m_http.server().Get(R"(/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
    Answer(req, req.matches[1], res);
  });
  m_http.Start();
}

FaultyServer::~FaultyServer() {
  {
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
  }
  m_stopping.notify_all();
  m_http.Stop();
}

void FaultyServer::Serve(const std::string& name, const std::string& body, Fault fault, int times) {
  std::lock_guard lock(m_mutex);
  m_files[name] = File{body, fault, times, {}};
}

void FaultyServer::Serve(const std::string& name, const std::string& body,
                         std::vector<Fault> faults) {
  std::lock_guard lock(m_mutex);
  m_files[name] = File{body, Fault::kNone, 0, std::move(faults)};
}

std::vector<std::string> FaultyServer::RangesAsked(const std::string& name) {
  std::vector<std::string> ranges;
  for (const auto& request : m_http.Requests()) {
    if (request.path != "/" + name) continue;
    const auto range = request.headers.find("Range");
    ranges.push_back(range == request.headers.end() ? "" : range->second);
  }
  return ranges;
}

size_t FaultyServer::BytesSent() {
  std::lock_guard lock(m_mutex);
  return m_sent;
}

bool FaultyServer::Ranged(const httplib::Request& req, Fault fault, std::string& body,
                          httplib::Response& res) {
  // The rig answers ranges itself (and clears httplib's parse, which would cut its bodies again).
  auto& ranges = const_cast<httplib::Request&>(req).ranges;
  size_t from = ranges.size() == 1 && ranges[0].first > 0 && ranges[0].second < 0
                    ? static_cast<size_t>(ranges[0].first)
                    : 0;
  ranges.clear();
  if (req.has_header("If-Range") && req.get_header_value("If-Range") != kETag) from = 0;
  if (fault == Fault::kIgnoreRange) from = 0;
  if (fault == Fault::kPartToPlain && from == 0) from = body.size() / 2;
  res.set_header("ETag", fault == Fault::kNewValidator ? "\"v2\"" : kETag);
  if (from == 0) return true;
  if (from >= body.size()) {
    res.status = 416;
    return false;
  }
  const size_t first = fault == Fault::kRangeElsewhere ? 0 : from;
  res.status = 206;
  res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                      std::to_string(body.size() - 1) + "/" +
                                      std::to_string(body.size()));
  body.erase(0, first);
  if (fault == Fault::kNewValidator) {
    for (char& c : body) c ^= 0x20;
  }
  return true;
}

void FaultyServer::Answer(const httplib::Request& req, const std::string& name,
                          httplib::Response& res) {
  File file;
  {
    std::lock_guard lock(m_mutex);
    const auto it = m_files.find(name);
    if (it == m_files.end()) {
      res.status = 404;
      return;
    }
    file = it->second;
    if (!it->second.script.empty()) {
      it->second.script.erase(it->second.script.begin());
    } else if (it->second.times > 0) {
      --it->second.times;
    }
  }
  const Fault fault = !file.script.empty() ? file.script.front()
                      : file.times > 0     ? file.fault
                                           : Fault::kNone;
  if (fault == Fault::kNotFound || fault == Fault::kServerError) {
    res.status = fault == Fault::kNotFound ? 404 : 500;
    return;
  }
  if (fault == Fault::kUnavailable || fault == Fault::kTooManyRequests) {
    res.status = fault == Fault::kUnavailable ? 503 : 429;
    if (!m_retryAfter.empty()) res.set_header("Retry-After", m_retryAfter);
    return;
  }
  std::string body = file.body;
  if (!Ranged(req, fault, body, res)) return;
  if (fault == Fault::kBadXz && body.size() > 64) body[body.size() / 2] ^= 0x55;
  if (fault == Fault::kOtherContent) body = "other content";
  if (fault == Fault::kEndless) {
    res.set_chunked_content_provider(
        "application/octet-stream", [this, body](size_t offset, httplib::DataSink& sink) {
          const std::string block(kChunk, 'z');
          if (offset >= kEndlessCap) return false;
          if (offset < body.size()) {
            return Send(sink, body.data() + offset, body.size() - offset);
          }
          return Send(sink, block.data(), block.size());
        });
    return;
  }
  res.set_content_provider(
      body.size(), "application/octet-stream",
      [this, body, fault](size_t offset, size_t, httplib::DataSink& sink) {
        if (fault == Fault::kStall || (fault == Fault::kCutBody && offset >= body.size() / 2)) {
          if (fault == Fault::kStall) Pause(m_stall);
          return false;  // the connection closes short of its length
        }
        if (offset == 0) Count(+1);
        const size_t end = fault == Fault::kCutBody ? body.size() / 2 : body.size();
        const size_t size = std::min(kChunk, end - offset);
        const bool sent = Send(sink, body.data() + offset, size);
        const bool last = offset + size >= end;
        if (!sent || last) Count(-1);
        return sent && (last || fault != Fault::kTrickle || Pause(kTrickleGap));
      });
}

bool FaultyServer::Send(httplib::DataSink& sink, const char* data, size_t size) {
  if (m_rate > 0) {
    std::chrono::steady_clock::time_point at;
    {
      std::lock_guard lock(m_mutex);
      const auto now = std::chrono::steady_clock::now();
      m_linkFree = std::max(m_linkFree, now) + std::chrono::microseconds(size * 1000000 / m_rate);
      at = m_linkFree;
    }
    std::unique_lock lock(m_mutex);
    if (m_stopping.wait_until(lock, at, [this] { return m_bStopping; })) return false;
  }
  if (!sink.write(data, size)) return false;
  std::lock_guard lock(m_mutex);
  m_sent += size;
  return true;
}

bool FaultyServer::Pause(std::chrono::milliseconds pause) {
  std::unique_lock lock(m_mutex);
  return !m_stopping.wait_for(lock, pause, [this] { return m_bStopping; });
}

void FaultyServer::Count(int change) {
  std::lock_guard lock(m_mutex);
  m_inFlight += change;
  m_maxInFlight = std::max(m_maxInFlight, m_inFlight);
}

int FaultyServer::MaxInFlight() {
  std::lock_guard lock(m_mutex);
  return m_maxInFlight;
}

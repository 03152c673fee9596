// The telemetry's HTTP client: one process-wide libcurl handle prepared for short JSON posts.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <mutex>
#include <string>

class JsonPoster {
 public:
  // The one instance, made on the first call and destroyed at process end.
  static JsonPoster& Instance();

  // Adds the header "Content-Type:application/json" to the handle's header list.
  void AddHeader();
  // Posts `body` to `url` on the calling thread; returns when the transfer has ended, at most
  // about 3 seconds later. Failures are not reported: the event is lost.
  void Post(const std::string& url, const std::string& body);
  // The handle's write callback: logs each piece of the reply as "www ret ...".
  static size_t OnResponse(char* data, size_t size, size_t count, void* user);

  JsonPoster(const JsonPoster&) = delete;
  JsonPoster& operator=(const JsonPoster&) = delete;

 private:
  JsonPoster();
  ~JsonPoster();

  CURL* m_pCurl = nullptr;
  curl_slist* m_pHeader = nullptr;
  // Events come from the main thread and from a download worker; a libcurl easy handle must
  // never be used by two threads at once.
  std::mutex m_mutex;
};

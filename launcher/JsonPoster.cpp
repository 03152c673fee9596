#include "JsonPoster.h"

#include <cstdio>

#include "update/Log.h"

JsonPoster& JsonPoster::Instance() {
  static JsonPoster instance;
  return instance;
}

JsonPoster::JsonPoster() : m_pCurl(curl_easy_init()) {
  if (m_pCurl) {
    curl_easy_setopt(m_pCurl, CURLOPT_TIMEOUT, 3L);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &JsonPoster::OnResponse);
  }
}

JsonPoster::~JsonPoster() {
  if (m_pCurl) {
    curl_easy_cleanup(m_pCurl);
    m_pCurl = nullptr;
  }
  if (m_pHeader) {
    curl_slist_free_all(m_pHeader);
    m_pHeader = nullptr;
  }
}

void JsonPoster::AddHeader() {
  std::lock_guard lock(m_mutex);
  char line[256];
  std::snprintf(line, sizeof line, "%s:%s", "Content-Type", "application/json");
  curl_slist* header = curl_slist_append(m_pHeader, line);
  if (!Check(header != nullptr, "Launcher", 112, "m_pHeader")) return;
  m_pHeader = header;
  if (!Check(m_pCurl != nullptr, "Launcher", 114, "m_pCurl")) return;
  curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, m_pHeader);
}

void JsonPoster::Post(const std::string& url, const std::string& body) {
  std::lock_guard lock(m_mutex);
  if (!m_pCurl) return;
  curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_perform(m_pCurl);  // failures and time-outs lose the event, silently
}

size_t JsonPoster::OnResponse(char* data, size_t size, size_t count, void*) {
  size_t n = size * count;
  LogPrint("www ret %s", std::string(data, n).c_str());
  return n;
}

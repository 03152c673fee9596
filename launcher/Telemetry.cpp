#include "Telemetry.h"

#include <cstdio>
#include <mutex>

#include "JsonPoster.h"
#include "Sites.h"
#include "platform/CodePage.h"

namespace {

constexpr const char* kAppId = "5c0e1a9b7d2f48e3a6b1c9d07e2f4a18";

std::mutex g_siteMutex;
std::string g_site = TelemetrySite();

std::once_flag g_headerAdded;

}  // namespace

void SetTelemetrySite(const std::string& site) {
  std::lock_guard lock(g_siteMutex);
  g_site = site;
}

std::string GetTelemetrySite() {
  std::lock_guard lock(g_siteMutex);
  return g_site;
}

std::string JsonEscape(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (size_t at = 0; at < value.size(); ++at) {
    // A double-byte character passes whole: its second byte may be a backslash's.
    if (const size_t size = sys::CharSize(value, at); size > 1) {
      out.append(value, at, size);
      at += size - 1;
      continue;
    }
    const char c = value[at];
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string ComposeEventBody(const std::string& account, const std::string& platform,
                             const std::string& what, const std::string& context) {
  std::string whatText = what.empty() ? "" : "\"what\":\"" + JsonEscape(what) + "\",";
  std::string contextText = context.empty() ? "" : "," + context;
  std::string who = JsonEscape(account);
  return std::string("{\"appid\":\"") + kAppId + "\"," + whatText + "\"who\":\"" + who +
         "\",\"context\":{\"deviceid\":\"" + who + "\",\"channelid\":\"" + JsonEscape(platform) +
         "\"" + contextText + "}}";
}

void PostEvent(const AppConfig& config, const std::string& what, const std::string& context,
               const std::string& kind) {
  JsonPoster& poster = JsonPoster::Instance();
  std::call_once(g_headerAdded, [&poster] { poster.AddHeader(); });
  std::string url = GetTelemetrySite() + "/receive/rest/" + kind;
  poster.Post(url, ComposeEventBody(config.strAccount, config.strPlatform, what, context));
}

void PostLoginState(const AppConfig& config, const std::string& state) {
  PostEvent(config, "loginstate", "\"state\":\"" + JsonEscape(state) + "\"", kEventKindEvent);
}

void PostStartup(const AppConfig& config) {
  PostEvent(config, "", "", kEventKindStartup);
}

void PostInstall(const AppConfig& config) {
  PostEvent(config, "", "", kEventKindInstall);
}

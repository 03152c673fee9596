#include "Sites.h"

#include <cstdlib>

#include "LauncherSettings.h"

namespace {
std::string Site(const char* compiledIn, const char* path = "") {
  const std::string server = LoopbackServer(std::getenv("LAUNCHER_SERVER"));
  return server.empty() ? compiledIn : server + path;
}
}  // namespace

std::string LoopbackServer(const char* value) {
  if (!value) return "";
  const std::string text = value;
  for (const char* host : {"http://127.0.0.1:", "http://localhost:"}) {
    const std::string prefix = host;
    if (text.rfind(prefix, 0) != 0) continue;
    const std::string port = text.substr(prefix.size());
    const bool digits = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos;
    return digits && std::atoi(port.c_str()) > 0 && std::atoi(port.c_str()) < 65536 ? text : "";
  }
  return "";
}

std::string PartnerSite() {
  return Site(LAUNCHER_PARTNER_SITE);
}
std::string GameSite() {
  return Site(LAUNCHER_GAME_SITE);
}
std::string UpdateBase() {
  return Site(LAUNCHER_UPDATE_BASE, "/launcher");
}
std::string TelemetrySite() {
  return Site(LAUNCHER_TELEMETRY_SITE);
}

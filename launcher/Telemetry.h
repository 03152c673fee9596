// Usage events: small JSON texts posted to the telemetry site, one HTTP POST per event.
#pragma once

#include <string>

#include "update/AppConfig.h"

// The last segment of an event's URL path.
inline constexpr const char* kEventKindEvent = "event";
inline constexpr const char* kEventKindStartup = "startup";
inline constexpr const char* kEventKindInstall = "install";

// The login states the launcher reports, in the order a player meets them.
inline constexpr const char* kLoginStateStart = "wd_start";                 // start-up went on
inline constexpr const char* kLoginStateServerList = "wd_server_list";      // main dialog shown
inline constexpr const char* kLoginStateSelectServer = "wd_select_server";  // login page opened
inline constexpr const char* kLoginStateDownloadGame = "wd_download_game";  // start pressed
inline constexpr const char* kLoginStateStartGame = "wd_start_game";        // game about to launch

// Composes an event from `config`'s account and platform and posts it to the site's
// "/receive/rest/" + kind. `what` is a plain value (left out when empty); `context` is extra
// JSON member text for the "context" object, without a leading comma (may be empty).
// Callable from any thread; returns when the post has ended.
void PostEvent(const AppConfig& config, const std::string& what, const std::string& context,
               const std::string& kind);
// The "loginstate" event with the member "state": `state`.
void PostLoginState(const AppConfig& config, const std::string& state);
// The event without name or context of the first application timer tick.
void PostStartup(const AppConfig& config);
// The event without name or context of a new player's first game start.
void PostInstall(const AppConfig& config);

// The event's JSON text. Values are escaped as JSON strings need; `context` is taken as is.
std::string ComposeEventBody(const std::string& account, const std::string& platform,
                             const std::string& what, const std::string& context);
// A value as the inside of a JSON string: quote, backslash and control characters escaped,
// every other byte unchanged.
std::string JsonEscape(const std::string& value);

// The site that takes the events, without trailing slash; the compiled-in one unless a test
// points it elsewhere.
void SetTelemetrySite(const std::string& site);
std::string GetTelemetrySite();

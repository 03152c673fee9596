// The players' way from the launcher's start to the game's, counted from the telemetry lines the
// receiving web servers log (docs/nginx-telemetry.conf): one JSON object per line with the
// receiving time, the event's kind and its body as posted. wan-telemetry and the unit tests call
// these rules with exact inputs.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The funnel's steps, in the order a player meets them: the login states the launcher reports
// as it starts, shows the server list, opens a server's login, has the start pressed and
// launches the game.
inline constexpr std::array<std::string_view, 5> kFunnelSteps = {
    "wd_start", "wd_server_list", "wd_select_server", "wd_download_game", "wd_start_game"};
inline constexpr size_t kStepCount = kFunnelSteps.size();

// The longest line read; a launcher's event logs as about 300 bytes, so anything near this is
// not one, and no line can make the reader hold more.
inline constexpr size_t kMaxLineBytes = 64 * 1024;

// One player reaching one step on one day (UTC, from the receiving time) under one channel.
struct FunnelEvent {
  std::string day;
  std::string channel;
  std::string player;
  size_t step = 0;
};

enum class LineKind {
  kStep,       // a login state of the funnel
  kOther,      // another event of the launcher ("startup", "install", another state)
  kMalformed,  // not a logged event of the launcher's shape
};

// What one logged line is; `event` is filled for a step. The player is the body's "who" (the
// launcher writes the same account as "deviceid"), the channel the context's "channelid".
LineKind ReadEventLine(std::string_view line, FunnelEvent& event);

// The UTC date ("YYYY-MM-DD") of a time as nginx's $time_iso8601 writes it
// ("2026-12-08T01:30:00+02:00" is "2026-12-07"); nothing when the text is not such a time.
std::optional<std::string> UtcDay(std::string_view time);

// The position of a login state in kFunnelSteps; nothing for any other state.
std::optional<size_t> StepOf(std::string_view state);

// The share of the previous step's players that did not reach this step, in percent; nothing
// when the previous step had none. It is negative when more players reached this step, which
// happens when events were lost or a player's steps fell on two days or channels.
std::optional<double> LostPercent(size_t previous, size_t current);

// Distinct players per step, for each day and channel.
struct FunnelRow {
  std::string day;
  std::string channel;
  std::array<size_t, kStepCount> players{};
};

class FunnelCount {
 public:
  void Add(const FunnelEvent& event);
  // By day, then channel, in byte order.
  std::vector<FunnelRow> Rows() const;

 private:
  std::map<std::pair<std::string, std::string>, std::array<std::set<std::string>, kStepCount>>
      m_players;
};

// Text from outside as it may be shown: control characters become "?".
std::string Printable(std::string_view text);

// The report: a block per day and channel, a line per step with its players and the share lost.
std::string FunnelText(const std::vector<FunnelRow>& rows);

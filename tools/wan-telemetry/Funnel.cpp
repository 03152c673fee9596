#include "Funnel.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// The string member `name` of an object; null when it is missing or not a string.
const std::string* StringMember(const json& object, const char* name) {
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                     : nullptr;
}

// The decimal number of `count` digits at `at`.
std::optional<int> Digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<std::string> UtcDay(std::string_view time) {
  // "2026-12-08T17:11:10+00:00": the seconds cannot move the day, so only their form is checked.
  if (time.size() != 25 || time[4] != '-' || time[7] != '-' || time[10] != 'T' || time[13] != ':' ||
      time[16] != ':' || (time[19] != '+' && time[19] != '-') || time[22] != ':' ||
      !Digits(time, 17, 2)) {
    return std::nullopt;
  }
  const auto year = Digits(time, 0, 4), month = Digits(time, 5, 2), day = Digits(time, 8, 2);
  const auto hour = Digits(time, 11, 2), minute = Digits(time, 14, 2);
  const auto offsetHours = Digits(time, 20, 2), offsetMinutes = Digits(time, 23, 2);
  if (!year || !month || !day || !hour || !minute || !offsetHours || !offsetMinutes) {
    return std::nullopt;
  }
  namespace chrono = std::chrono;
  const chrono::year_month_day date{chrono::year(*year), chrono::month(*month), chrono::day(*day)};
  if (!date.ok() || *hour > 23 || *minute > 59 || *offsetHours > 23 || *offsetMinutes > 59) {
    return std::nullopt;
  }
  const chrono::minutes local = chrono::hours(*hour) + chrono::minutes(*minute);
  chrono::minutes offset = chrono::hours(*offsetHours) + chrono::minutes(*offsetMinutes);
  if (time[19] == '-') offset = -offset;
  const chrono::year_month_day utc{
      chrono::floor<chrono::days>(chrono::sys_days(date) + local - offset)};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(utc.year()),
                static_cast<unsigned>(utc.month()), static_cast<unsigned>(utc.day()));
  return text;
}

std::optional<size_t> StepOf(std::string_view state) {
  for (size_t step = 0; step < kStepCount; ++step) {
    if (kFunnelSteps[step] == state) return step;
  }
  return std::nullopt;
}

LineKind ReadEventLine(std::string_view line, FunnelEvent& event) {
  const json logged = json::parse(line, nullptr, false);
  if (!logged.is_object()) return LineKind::kMalformed;
  const std::string* time = StringMember(logged, "time");
  const std::string* kind = StringMember(logged, "kind");
  const std::string* body = StringMember(logged, "body");
  if (!time || !kind || !body) return LineKind::kMalformed;
  const auto day = UtcDay(*time);
  const json posted = json::parse(*body, nullptr, false);
  if (!day || !posted.is_object()) return LineKind::kMalformed;
  const auto context = posted.find("context");
  if (context == posted.end() || !context->is_object()) return LineKind::kMalformed;
  const std::string* who = StringMember(posted, "who");
  const std::string* channel = StringMember(*context, "channelid");
  if (!who || !channel) return LineKind::kMalformed;

  const std::string* what = StringMember(posted, "what");
  const std::string* state = StringMember(*context, "state");
  const auto step = state ? StepOf(*state) : std::nullopt;
  if (*kind != "event" || !what || *what != "loginstate" || !step) return LineKind::kOther;
  event = {*day, *channel, *who, *step};
  return LineKind::kStep;
}

std::optional<double> LostPercent(size_t previous, size_t current) {
  if (previous == 0) return std::nullopt;
  return 100.0 * (static_cast<double>(previous) - static_cast<double>(current)) /
         static_cast<double>(previous);
}

void FunnelCount::Add(const FunnelEvent& event) {
  m_players[{event.day, event.channel}][event.step].insert(event.player);
}

std::vector<FunnelRow> FunnelCount::Rows() const {
  std::vector<FunnelRow> rows;
  for (const auto& [key, players] : m_players) {
    FunnelRow& row = rows.emplace_back(FunnelRow{key.first, key.second});
    for (size_t step = 0; step < kStepCount; ++step) row.players[step] = players[step].size();
  }
  return rows;
}

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out;
}

std::string FunnelText(const std::vector<FunnelRow>& rows) {
  std::string text;
  for (const FunnelRow& row : rows) {
    if (!text.empty()) text += '\n';
    text += row.day + "  " + Printable(row.channel) + '\n';
    for (size_t step = 0; step < kStepCount; ++step) {
      const std::string_view name = kFunnelSteps[step];
      char line[96];
      std::snprintf(line, sizeof line, "  %-18.*s %8zu", static_cast<int>(name.size()), name.data(),
                    row.players[step]);
      text += line;
      if (step > 0) {
        const auto lost = LostPercent(row.players[step - 1], row.players[step]);
        if (lost) {
          std::snprintf(line, sizeof line, "   lost %6.1f%%", *lost);
        } else {
          std::snprintf(line, sizeof line, "   lost %7s", "-");
        }
        text += line;
      }
      text += '\n';
    }
  }
  return text;
}

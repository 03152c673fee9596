#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "Funnel.h"
#include "FunnelChart.h"
#include "LineReader.h"

namespace {

// A line as nginx logs it with docs/nginx-telemetry.conf.
std::string Logged(const std::string& time, const std::string& kind, const std::string& body) {
  return nlohmann::json{{"time", time}, {"kind", kind}, {"host", "web1"}, {"body", body}}.dump();
}

// A body as the launcher posts it.
std::string Body(const std::string& who, const std::string& channel, const std::string& state) {
  nlohmann::json body{{"appid", "5c0e1a9b7d2f48e3a6b1c9d07e2f4a18"},
                      {"who", who},
                      {"context", {{"deviceid", who}, {"channelid", channel}}}};
  if (!state.empty()) {
    body["what"] = "loginstate";
    body["context"]["state"] = state;
  }
  return body.dump();
}

constexpr const char* kNoon = "2026-12-08T12:00:00+00:00";

}  // namespace

TEST(TelemetryFunnelTest, EachLineIsAStepAnotherEventOrMalformed) {
  // What a line is, as "STEP DAY CHANNEL PLAYER" for a step.
  const auto outcome = [](const std::string& line) -> std::string {
    FunnelEvent e;
    switch (ReadEventLine(line, e)) {
      case LineKind::kStep:
        return std::to_string(e.step) + " " + e.day + " " + e.channel + " " + e.player;
      case LineKind::kOther:
        return "other";
      case LineKind::kMalformed:
        break;
    }
    return "malformed";
  };
  const struct {
    std::string line;
    std::string outcome;
  } cases[] = {
      {Logged(kNoon, "event", Body("alice", "chanA", "wd_start")), "0 2026-12-08 chanA alice"},
      {Logged(kNoon, "event", Body("", "", "wd_start_game")), "4 2026-12-08  "},
      // The day is UTC's: 00:30 two hours east of Greenwich is the evening before.
      {Logged("2026-12-08T00:30:00+02:00", "event", Body("b", "c", "wd_download_game")),
       "3 2026-12-07 c b"},
      {Logged(kNoon, "startup", Body("alice", "chanA", "")), "other"},
      {Logged(kNoon, "install", Body("alice", "chanA", "")), "other"},
      {Logged(kNoon, "event", Body("alice", "chanA", "wd_quit")), "other"},
      {Logged(kNoon, "event", R"({"what":"loginstate","who":"a","context":{"channelid":"c"}})"),
       "other"},
      {"garbage", "malformed"},
      {"[1,2]", "malformed"},
      {Logged(kNoon, "event", Body("a", "c", "wd_start")).substr(0, 80), "malformed"},
      // A value with a quote inserted unescaped leaves the body unreadable.
      {Logged(kNoon, "event", R"({"who":"a"b","context":{"channelid":"c","state":"wd_start"}})"),
       "malformed"},
      {Logged(kNoon, "event", R"({"what":"loginstate","context":{"channelid":"c"}})"), "malformed"},
      {Logged(kNoon, "event", R"({"who":7,"context":{"channelid":"c"}})"), "malformed"},
      {Logged(kNoon, "event", R"({"who":"a","context":{"deviceid":"a"}})"), "malformed"},
      {Logged(kNoon, "event", R"({"who":"a","context":"c"})"), "malformed"},
      {Logged("yesterday", "event", Body("a", "c", "wd_start")), "malformed"},
      {R"({"time":"2026-12-08T12:00:00+00:00","body":"{}"})", "malformed"},
      {std::string(20000, '[') + std::string(20000, ']'), "malformed"},
  };
  for (const auto& c : cases) EXPECT_EQ(outcome(c.line), c.outcome) << c.line;
}

TEST(TelemetryFunnelTest, UtcDayOfNginxTimes) {
  const struct {
    const char* time;
    std::optional<std::string> day;
  } cases[] = {
      {"2026-12-08T17:11:10+00:00", "2026-12-08"},
      {"2026-12-08T01:30:00+02:00", "2026-12-07"},
      {"2026-12-31T22:00:00-03:00", "2027-01-01"},
      {"2024-02-28T23:59:59-00:01", "2024-02-29"},
      {"2026-02-30T00:00:00+00:00", std::nullopt},
      {"2026-12-08T24:00:00+00:00", std::nullopt},
      {"2026-12-08T17:11:1x+00:00", std::nullopt},
      {"2026-12-08 17:11:10+00:00", std::nullopt},
      {"2026-12-08T17:11:10Z", std::nullopt},
      {"2026-12-08T17:11:10+0000", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(UtcDay(c.time), c.day) << c.time;
}

TEST(TelemetryFunnelTest, DistinctPlayersPerStepDayAndChannelWithTheShareLost) {
  FunnelCount count;
  const struct {
    const char* day;
    const char* channel;
    const char* player;
    size_t step;
  } events[] = {
      {"2026-12-07", "chanB", "carol", 0}, {"2026-12-08", "chanA", "alice", 0},
      {"2026-12-08", "chanA", "alice", 0}, {"2026-12-08", "chanA", "bob", 0},
      {"2026-12-08", "chanA", "alice", 1}, {"2026-12-08", "chanA", "bob", 1},
      {"2026-12-08", "chanA", "alice", 2}, {"2026-12-08", "chanA", "alice", 4},
  };
  for (const auto& e : events) count.Add({e.day, e.channel, e.player, e.step});
  EXPECT_EQ(FunnelText(count.Rows()),
            "2026-12-07  chanB\n"
            "  wd_start                  1\n"
            "  wd_server_list            0   lost  100.0%\n"
            "  wd_select_server          0   lost       -\n"
            "  wd_download_game          0   lost       -\n"
            "  wd_start_game             0   lost       -\n"
            "\n"
            "2026-12-08  chanA\n"
            "  wd_start                  2\n"
            "  wd_server_list            2   lost    0.0%\n"
            "  wd_select_server          1   lost   50.0%\n"
            "  wd_download_game          0   lost  100.0%\n"
            "  wd_start_game             1   lost       -\n");
  EXPECT_EQ(LostPercent(2, 3), -50.0);
}

TEST(TelemetryFunnelTest, ChannelsFromOutsideArePrintableAndEscaped) {
  EXPECT_EQ(Printable("a\nb\x7f\x1b[2J"), "a?b??[2J");
  EXPECT_EQ(XmlText("<a href=\"x\">&\x01"), "&lt;a href=&quot;x&quot;&gt;&amp;?");
  const std::string svg = FunnelSvg({FunnelRow{"2026-12-08", "<b>\n", {2, 1, 1, 1, 1}}});
  EXPECT_NE(svg.find(">2026-12-08  &lt;b&gt;?</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(">lost 50.0%</text>"), std::string::npos) << svg;
}

TEST(TelemetryFunnelTest, LinesAreReadWholeOrSkippedWhenTooLong) {
  const std::string longest(kMaxLineBytes, 'x');
  const struct {
    std::string input;
    std::vector<std::string> lines;  // "(too long)" for a skipped line
  } cases[] = {
      {"", {}},
      {"a\nb\n", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
      {longest + "\nz\n", {longest, "z"}},
      {longest + "x\nz", {"(too long)", "z"}},
      {"z\n" + longest + longest, {"z", "(too long)"}},
  };
  for (const auto& c : cases) {
    std::stringbuf in(c.input);
    std::vector<std::string> lines;
    ReadLines(in, [&lines](std::optional<std::string_view> line) {
      lines.emplace_back(line ? std::string(*line) : "(too long)");
    });
    EXPECT_EQ(lines, c.lines) << c.input.substr(0, 40);
  }
}

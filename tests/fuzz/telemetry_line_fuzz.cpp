// wan-telemetry's reading of logged telemetry: the input as log lines, and as the body of a
// logged event, so that the body's own parsing is reached too.
#include <nlohmann/json.hpp>
#include <sstream>

#include "Funnel.h"
#include "FunnelChart.h"
#include "FuzzSupport.h"
#include "LineReader.h"

namespace {

// Text that the report shows holds no control character but its own line ends, and the
// picture none of the markup characters outside its own markup.
void CheckShown(const std::vector<FunnelRow>& rows) {
  for (const char c : FunnelText(rows)) {
    FUZZ_CHECK(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
  }
  for (const FunnelRow& row : rows) {
    const std::string text = XmlText(row.channel);
    FUZZ_CHECK(text.find_first_of("<>\"") == std::string::npos);
    FUZZ_CHECK(FunnelSvg({row}).find(">" + XmlText(row.day + "  " + row.channel) + "</text>") !=
               std::string::npos);
  }
}

void Count(std::string_view line, FunnelCount& count) {
  FunnelEvent event;
  if (ReadEventLine(line, event) != LineKind::kStep) return;
  FUZZ_CHECK(event.step < kStepCount);
  // The day is a real date, and it is its own day at UTC midnight.
  FUZZ_CHECK(UtcDay(event.day + "T00:00:00+00:00") == event.day);
  count.Add(event);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = fuzz::Text(data, size);
  FunnelCount count;
  std::stringbuf lines(input);
  ReadLines(lines, [&count](std::optional<std::string_view> line) {
    if (line) FUZZ_CHECK(line->size() <= kMaxLineBytes && line->find('\n') == line->npos);
    if (line) Count(*line, count);
  });
  const nlohmann::json logged{
      {"time", "2026-12-08T00:30:00+02:00"}, {"kind", "event"}, {"body", input}};
  Count(logged.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), count);
  CheckShown(count.Rows());
  return 0;
}

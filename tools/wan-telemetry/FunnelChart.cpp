#include "FunnelChart.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kWidth = 760;
constexpr size_t kLabelX = 16, kBarX = 190, kBarWidth = 380, kLostX = 660;
constexpr size_t kTitleHeight = 30, kStepHeight = 24, kBarHeight = 17, kGap = 18;
constexpr size_t kPanelHeight = kTitleHeight + kStepHeight * kStepCount + kGap;

// Positions are size_t: a report of many days and channels is tall.
std::string Text(size_t x, size_t y, const std::string& content, const char* extra = "") {
  char head[96];
  std::snprintf(head, sizeof head, "<text x=\"%zu\" y=\"%zu\"%s>", x, y, extra);
  return head + content + "</text>\n";
}

std::string Panel(const FunnelRow& row, size_t top) {
  std::string svg =
      Text(kLabelX, top + 20, XmlText(row.day + "  " + row.channel), " font-weight=\"bold\"");
  const size_t widest =
      std::max<size_t>(1, *std::max_element(row.players.begin(), row.players.end()));
  for (size_t step = 0; step < kStepCount; ++step) {
    const size_t y = top + kTitleHeight + step * kStepHeight;
    const size_t width = kBarWidth * row.players[step] / widest;
    char bar[128];
    std::snprintf(bar, sizeof bar,
                  "<rect x=\"%zu\" y=\"%zu\" width=\"%zu\" height=\"%zu\" fill=\"#4a7ab5\"/>\n",
                  kBarX, y, width, kBarHeight);
    svg += Text(kLabelX + 8, y + 13, std::string(kFunnelSteps[step])) + bar +
           Text(kBarX + width + 6, y + 13, std::to_string(row.players[step]));
    if (step == 0) continue;
    const auto lost = LostPercent(row.players[step - 1], row.players[step]);
    char share[32] = "lost -";
    if (lost) std::snprintf(share, sizeof share, "lost %.1f%%", *lost);
    svg += Text(kLostX, y + 13, share, " fill=\"#a33\"");
  }
  return svg;
}

}  // namespace

std::string XmlText(std::string_view text) {
  std::string out;
  for (const char c : Printable(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string FunnelSvg(const std::vector<FunnelRow>& rows) {
  const size_t height = kPanelHeight * std::max<size_t>(1, rows.size());
  char head[256];
  std::snprintf(head, sizeof head,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%zu\" height=\"%zu\" "
                "font-family=\"sans-serif\" font-size=\"13\">\n"
                "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                kWidth, height);
  std::string svg = head;
  if (rows.empty()) svg += Text(kLabelX, 24, "no funnel events");
  for (size_t i = 0; i < rows.size(); ++i) svg += Panel(rows[i], i * kPanelHeight);
  return svg + "</svg>\n";
}

// wan-telemetry: how many players got from the launcher's start to the game's start, per day and
// channel, from the telemetry lines the receiving nginx hosts logged.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Funnel.h"
#include "FunnelChart.h"
#include "LineReader.h"
#include "PostgresLines.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: wan-telemetry [--svg FILE] [LOG...]\n"
      "       wan-telemetry --postgres CONNINFO [--svg FILE]\n"
      "\n"
      "Reports, per day (UTC) and channel, the distinct players who reached each step from\n"
      "the launcher's start to the game's start (wd_start, wd_server_list, wd_select_server,\n"
      "wd_download_game, wd_start_game) and the share each step lost. The events are the\n"
      "lines nginx logs with docs/nginx-telemetry.conf: read from the LOG files (standard\n"
      "input when none is given or LOG is \"-\"), or with --postgres from the table\n"
      "telemetry_line of the database CONNINFO names (a libpq connection string). Lines that\n"
      "are not such events are skipped and counted in the last line. --svg FILE also draws\n"
      "the report as an SVG picture.\n"
      "\n"
      "Exit status: 0 when every source was read, 1 when one could not be (a log that\n"
      "cannot be read is left out of the report; a database gives none), 2 on bad usage.\n",
      out);
}

struct Tally {
  FunnelCount funnel;
  size_t lines = 0, steps = 0, others = 0, malformed = 0;

  void Take(std::optional<std::string_view> line) {
    ++lines;
    FunnelEvent event;
    switch (line ? ReadEventLine(*line, event) : LineKind::kMalformed) {
      case LineKind::kStep:
        ++steps;
        funnel.Add(event);
        break;
      case LineKind::kOther:
        ++others;
        break;
      case LineKind::kMalformed:
        ++malformed;
        break;
    }
  }
};

bool ReadLog(const std::string& path, const LineSink& sink) {
  if (path == "-") {
    ReadLines(*std::cin.rdbuf(), sink);
    return true;
  }
  std::filebuf file;
  if (!file.open(path, std::ios::in | std::ios::binary)) {
    std::fprintf(stderr, "wan-telemetry: cannot read %s\n", path.c_str());
    return false;
  }
  ReadLines(file, sink);
  return true;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  std::fprintf(stderr, "wan-telemetry: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string svgPath, conninfo;
  std::vector<std::string> logs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--svg" && hasValue) {
      svgPath = argv[++i];
    } else if (arg == "--postgres" && hasValue) {
      conninfo = argv[++i];
    } else if (arg == "--help") {
      PrintUsage(stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-') {
      PrintUsage(stderr);
      return 2;
    } else {
      logs.push_back(arg);
    }
  }
  if (!conninfo.empty() && !logs.empty()) {
    PrintUsage(stderr);
    return 2;
  }

  Tally tally;
  const LineSink sink = [&tally](std::optional<std::string_view> line) { tally.Take(line); };
  bool read = true;
  if (!conninfo.empty()) {
    // A table read in part would be reported as if whole: no report then.
    if (std::string error; !QueryLines(conninfo, sink, error)) {
      std::fprintf(stderr, "wan-telemetry: %s", error.c_str());
      return 1;
    }
  } else {
    if (logs.empty()) logs.push_back("-");
    for (const std::string& log : logs) read = ReadLog(log, sink) && read;
  }

  const std::vector<FunnelRow> rows = tally.funnel.Rows();
  std::fputs(FunnelText(rows).c_str(), stdout);
  if (!rows.empty()) std::fputs("\n", stdout);
  std::printf(
      "wan-telemetry: %zu lines: %zu funnel events, %zu other events, %zu malformed "
      "lines skipped\n",
      tally.lines, tally.steps, tally.others, tally.malformed);
  const bool written = svgPath.empty() || WriteFile(svgPath, FunnelSvg(rows));
  return read && written ? 0 : 1;
}

// Lines of a telemetry log, bounded: a hostile file cannot make the reader hold more than
// kMaxLineBytes of one line.
#pragma once

#include <functional>
#include <optional>
#include <streambuf>
#include <string_view>

// Takes each line read, without its end; a line longer than kMaxLineBytes comes as nothing.
using LineSink = std::function<void(std::optional<std::string_view> line)>;

// Reads `in` to its end. A long line is skipped, never held.
void ReadLines(std::streambuf& in, const LineSink& sink);

#include "LineReader.h"

#include <string>

#include "Funnel.h"

void ReadLines(std::streambuf& in, const LineSink& sink) {
  std::string line;
  bool tooLong = false;
  const auto deliver = [&] {
    sink(tooLong ? std::nullopt : std::optional<std::string_view>(line));
    line.clear();
    tooLong = false;
  };
  for (int c = in.sbumpc(); c != std::streambuf::traits_type::eof(); c = in.sbumpc()) {
    if (c == '\n') {
      deliver();
    } else if (line.size() < kMaxLineBytes) {
      line += static_cast<char>(c);
    } else {
      tooLong = true;
    }
  }
  if (!line.empty() || tooLong) deliver();  // a last line without its end
}

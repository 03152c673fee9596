// What demo-server answers besides the files of its root: the built-in pages, compiled in from
// pages/, and the one-line form of a telemetry event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace demo {

struct EmbeddedPage {
  const char* path;  // the address path it is served at
  const uint8_t* data;
  size_t size;
};
extern const EmbeddedPage kPages[];
extern const size_t kPageCount;

// The built-in page at `path` with every "{{origin}}" replaced by `origin`, the server's own
// "http://127.0.0.1:PORT" from the address it is bound to (never a request header), so the
// server list's links update from this server. False when there is no such page.
bool BuiltInPage(const std::string& path, const std::string& origin, std::string* html);

// `text` with every CR and LF written as "\r" and "\n", so that one event stays one line.
std::string OneLine(const std::string& text);

}  // namespace demo

// A 32-bit picture in memory: premultiplied ARGB, one uint32_t per pixel, rows top to bottom.
// Every window, memory bitmap and picture draws into or from one of these, so tests can read
// the pixels of anything the framework drew.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

struct Surface {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  Surface() = default;
  Surface(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0) {}

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  static uint8_t Alpha(uint32_t p) { return p >> 24; }
  static uint8_t Red(uint32_t p) { return (p >> 16) & 0xFF; }
  static uint8_t Green(uint32_t p) { return (p >> 8) & 0xFF; }
  static uint8_t Blue(uint32_t p) { return p & 0xFF; }
  // The pixel with straight (not premultiplied) colours, rounded; a clear pixel is all zero.
  static uint32_t Straight(uint32_t p) {
    const uint32_t a = Alpha(p);
    auto un = [a](uint32_t c) { return a ? std::min<uint32_t>(255, (c * 255 + a / 2) / a) : 0; };
    return a << 24 | un(Red(p)) << 16 | un(Green(p)) << 8 | un(Blue(p));
  }
};

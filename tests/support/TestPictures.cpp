#include "TestPictures.h"

#include <cairo.h>

namespace {
cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}
}  // namespace

std::string SolidPng(int width, int height, uint32_t argb) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(surface);
  auto* pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
  const int stride = cairo_image_surface_get_stride(surface) / 4;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[y * stride + x] = Premultiplied(argb);
  cairo_surface_mark_dirty(surface);
  std::string png;
  cairo_surface_write_to_png_stream(surface, Append, &png);
  cairo_surface_destroy(surface);
  return png;
}

uint32_t Premultiplied(uint32_t argb) {
  const uint32_t a = argb >> 24;
  auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
  return a << 24 | mul((argb >> 16) & 0xFF) << 16 | mul((argb >> 8) & 0xFF) << 8 | mul(argb & 0xFF);
}

std::string SplitPng(int width, int height, uint32_t left, uint32_t right) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  for (int half = 0; half < 2; ++half) {
    const uint32_t c = half ? right : left;
    cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                         (c & 0xFF) / 255.0);
    cairo_rectangle(cr, half * width / 2.0, 0, width / 2.0, height);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  std::string png;
  cairo_surface_write_to_png_stream(surface, Append, &png);
  cairo_surface_destroy(surface);
  return png;
}

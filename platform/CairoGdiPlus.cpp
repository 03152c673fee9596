// Pictures decoded and drawn with cairo (the Linux desktop and the tests).
#include <cstring>

#include "CairoUtil.h"
#include "GdiPlus.h"

namespace Gdiplus {

namespace {
struct ByteReader {
  const unsigned char* data;
  size_t size;
  size_t offset;
};

cairo_status_t ReadBytes(void* closure, unsigned char* out, unsigned int length) {
  auto* reader = static_cast<ByteReader*>(closure);
  if (reader->size - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
  return CAIRO_STATUS_SUCCESS;
}
}  // namespace

Image::Image(const void* data, size_t size) {
  ByteReader reader{static_cast<const unsigned char*>(data), data ? size : 0, 0};
  cairo_surface_t* png = cairo_image_surface_create_from_png_stream(ReadBytes, &reader);
  if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(png);
    m_lastStatus = UnknownImageFormat;
    return;
  }
  // Whatever format the PNG decoded to (RGB24 for pictures without alpha), draw it onto an
  // ARGB surface of our own.
  m_surface = Surface(cairo_image_surface_get_width(png), cairo_image_surface_get_height(png));
  cairo_t* cr = CreateContext(m_surface, POINT{}, RECT{0, 0, m_surface.width, m_surface.height});
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, png, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(png);
}

Status Graphics::DrawImage(Image* image, const Rect& dst, int srcX, int srcY, int srcWidth,
                           int srcHeight, Unit) {
  if (!image || srcWidth <= 0 || srcHeight <= 0) return InvalidParameter;
  if (dst.Width <= 0 || dst.Height <= 0 || image->GetWidth() == 0) return Ok;  // nothing to draw
  cairo_t* cr = CreateContext(m_hdc);
  if (!cr) return InvalidParameter;
  Surface& pixels = const_cast<Surface&>(image->GetSurface());  // read only: cairo source
  cairo_surface_t* source = WrapSurface(pixels);
  cairo_rectangle(cr, dst.X, dst.Y, dst.Width, dst.Height);
  cairo_clip(cr);
  cairo_translate(cr, dst.X, dst.Y);
  cairo_scale(cr, static_cast<double>(dst.Width) / srcWidth,
              static_cast<double>(dst.Height) / srcHeight);
  cairo_set_source_surface(cr, source, -srcX, -srcY);
  // Scaled pictures are filtered bilinearly; edges repeat their own pixels, not transparency.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(source);
  return Ok;
}

Status Graphics::FillRectangle(const SolidBrush* brush, int x, int y, int width, int height) {
  if (!brush) return InvalidParameter;
  cairo_t* cr = CreateContext(m_hdc);
  if (!cr) return InvalidParameter;
  SetArgb(cr, brush->GetColor().GetValue());
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  cairo_destroy(cr);
  return Ok;
}

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput*, void*) {
  if (token) *token = 1;
  return Ok;
}

void GdiplusShutdown(ULONG_PTR) {}

}  // namespace Gdiplus

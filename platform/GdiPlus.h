// Pictures with alpha and the graphics object that draws them: decoded PNGs, drawing a source
// rectangle into a destination rectangle with source-over compositing, solid fills.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Surface.h"
#include "Types.h"

namespace Gdiplus {

enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  UnknownImageFormat = 13
};
enum Unit { UnitPixel = 2 };

struct Rect {
  int X = 0, Y = 0, Width = 0, Height = 0;
  Rect() = default;
  Rect(int x, int y, int w, int h) : X(x), Y(y), Width(w), Height(h) {}
};

class Color {
 public:
  explicit Color(uint32_t argb) : m_argb(argb) {}
  Color(BYTE a, BYTE r, BYTE g, BYTE b) : m_argb(uint32_t(a) << 24 | r << 16 | g << 8 | b) {}
  uint32_t GetValue() const { return m_argb; }

 private:
  uint32_t m_argb;
};

class SolidBrush {
 public:
  explicit SolidBrush(const Color& color) : m_color(color) {}
  const Color& GetColor() const { return m_color; }

 private:
  Color m_color;
};

// A decoded picture. One that failed to decode is 0 x 0 and reports a failed status.
class Image {
 public:
  // Decodes PNG bytes (the bytes are not kept).
  Image(const void* data, size_t size);
  UINT GetWidth() const { return static_cast<UINT>(m_surface.width); }
  UINT GetHeight() const { return static_cast<UINT>(m_surface.height); }
  // The status of the last operation; reading it resets it to Ok.
  Status GetLastStatus();
  const Surface& GetSurface() const { return m_surface; }

 private:
  Surface m_surface;
  Status m_lastStatus = Ok;
};

class Graphics {
 public:
  explicit Graphics(HDC hdc);

  // Draws the whole picture scaled into the destination.
  Status DrawImage(Image* image, int x, int y, int width, int height);
  // Draws the source rectangle of the picture scaled into the destination rectangle.
  Status DrawImage(Image* image, const Rect& dst, int srcX, int srcY, int srcWidth, int srcHeight,
                   Unit unit);
  Status FillRectangle(const SolidBrush* brush, int x, int y, int width, int height);
  HDC GetHDC() { return m_hdc; }
  void ReleaseHDC(HDC) {}

 private:
  HDC m_hdc;
};

// Start-up and shut-down of the drawing library. Pictures here need no global state: the token
// only pairs the two calls.
struct GdiplusStartupInput {
  UINT GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};
Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(ULONG_PTR token);

}  // namespace Gdiplus

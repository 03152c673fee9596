// Pictures on the system's GDI+: PNGs decoded with their alpha channel, drawn with
// source-over compositing and bilinear scaling into the framework's surfaces.
#include <cstring>

#include "GdiPlusFlat.h"
#include "platform/Gdi.h"
#include "platform/GdiPlus.h"

namespace {

struct StartupInput {
  UINT version = 1;
  void* debugEventCallback = nullptr;
  BOOL suppressBackgroundThread = FALSE;
  BOOL suppressExternalCodecs = FALSE;
};

}  // namespace

extern "C" gdip::Status WINAPI GdiplusStartup(win32_ULONG_PTR*, const StartupInput*, void*);

namespace gdip {

bool Ready() {
  static const bool started = [] {
    win32_ULONG_PTR token = 0;
    StartupInput input;
    return GdiplusStartup(&token, &input, nullptr) == kOk;
  }();
  return started;
}

Canvas::Canvas(Surface& surface, POINT origin, RECT clip) {
  if (!Ready() || surface.width <= 0 || surface.height <= 0) return;
  if (GdipCreateBitmapFromScan0(surface.width, surface.height, surface.width * 4,
                                kPremultipliedArgb, reinterpret_cast<BYTE*>(surface.pixels.data()),
                                &m_bitmap) != kOk)
    return;
  if (GdipGetImageGraphicsContext(m_bitmap, &m_graphics) != kOk) {
    m_graphics = nullptr;
    return;
  }
  GdipSetClipRectI(m_graphics, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top,
                   0 /* replace */);
  GdipTranslateWorldTransform(m_graphics, static_cast<float>(origin.x),
                              static_cast<float>(origin.y), 0 /* prepend */);
  // Pixel centres at half-pixel positions, as the framework's other drawing code places them.
  GdipSetPixelOffsetMode(m_graphics, 4 /* half */);
}

Canvas::~Canvas() {
  // Deleting the graphics flushes what was drawn into the surface's pixels.
  if (m_graphics) GdipDeleteGraphics(m_graphics);
  if (m_bitmap) GdipDisposeImage(m_bitmap);
}

Picture::Picture(const Surface& surface) {
  if (!Ready() || surface.width <= 0 || surface.height <= 0) return;
  auto* pixels = reinterpret_cast<BYTE*>(const_cast<uint32_t*>(surface.pixels.data()));
  if (GdipCreateBitmapFromScan0(surface.width, surface.height, surface.width * 4,
                                kPremultipliedArgb, pixels, &m_bitmap) != kOk)
    m_bitmap = nullptr;
}

Picture::~Picture() {
  if (m_bitmap) GdipDisposeImage(m_bitmap);
}

bool DrawPicture(Canvas& canvas, const Surface& src, IntRect from, IntRect to, bool copy) {
  Picture picture(src);
  if (!canvas || !picture.Image()) return false;
  Handle attributes = nullptr;
  if (GdipCreateImageAttributes(&attributes) != kOk) return false;
  // Mirrored tiling at the edges: a scaled edge pixel blends with itself, not with clear.
  GdipSetImageAttributesWrapMode(attributes, 3 /* tile flip XY */, 0, FALSE);
  GdipSetCompositingMode(canvas.Graphics(), copy ? 1 /* source copy */ : 0 /* source over */);
  GdipSetInterpolationMode(canvas.Graphics(), 3 /* bilinear */);
  const Status status = GdipDrawImageRectRectI(
      canvas.Graphics(), picture.Image(), to.x, to.y, to.width, to.height, from.x, from.y,
      from.width, from.height, kUnitPixel, attributes, nullptr, nullptr);
  GdipDisposeImageAttributes(attributes);
  return status == kOk;
}

bool Fill(Canvas& canvas, IntRect rect, uint32_t argb, bool copy) {
  Handle brush = nullptr;
  if (!canvas || GdipCreateSolidFill(argb, &brush) != kOk) return false;
  GdipSetCompositingMode(canvas.Graphics(), copy ? 1 : 0);
  const Status status =
      GdipFillRectangleI(canvas.Graphics(), brush, rect.x, rect.y, rect.width, rect.height);
  GdipDeleteBrush(brush);
  return status == kOk;
}

}  // namespace gdip

namespace Gdiplus {

namespace {

// The PNG bytes as a stream GDI+ reads from (a copy in movable global memory, freed with the
// stream).
IStream* StreamOver(const void* data, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  void* bytes = GlobalLock(memory);
  if (bytes) std::memcpy(bytes, data, size);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (!bytes || CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    GlobalFree(memory);
    return nullptr;
  }
  return stream;
}

// The decoded picture's pixels in the framework's premultiplied layout.
bool ReadPixels(gdip::Handle bitmap, Surface& out) {
  UINT width = 0, height = 0;
  GdipGetImageWidth(bitmap, &width);
  GdipGetImageHeight(bitmap, &height);
  if (width == 0 || height == 0 || width > 16384 || height > 16384) return false;
  const gdip::IntRect all{0, 0, static_cast<int>(width), static_cast<int>(height)};
  gdip::LockedBits bits{};
  if (GdipBitmapLockBits(bitmap, &all, 1 /* read */, gdip::kPremultipliedArgb, &bits) != gdip::kOk)
    return false;
  out = Surface(static_cast<int>(width), static_cast<int>(height));
  for (UINT y = 0; y < height; ++y)
    std::memcpy(&out.pixels[static_cast<size_t>(y) * width],
                static_cast<const BYTE*>(bits.scan0) + static_cast<ptrdiff_t>(y) * bits.stride,
                width * 4);
  GdipBitmapUnlockBits(bitmap, &bits);
  return true;
}

}  // namespace

Image::Image(const void* data, size_t size) {
  m_lastStatus = UnknownImageFormat;
  static const BYTE kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  // GDI+ reads many formats; the framework's pictures are PNGs only, as on every backend.
  if (!data || size < sizeof kPng || std::memcmp(data, kPng, sizeof kPng) != 0 || !gdip::Ready())
    return;
  IStream* stream = StreamOver(data, size);
  if (!stream) return;
  gdip::Handle bitmap = nullptr;
  if (GdipCreateBitmapFromStream(stream, &bitmap) == gdip::kOk) {
    if (ReadPixels(bitmap, m_surface)) m_lastStatus = Ok;
    GdipDisposeImage(bitmap);
  }
  stream->Release();
}

Status Graphics::DrawImage(Image* image, const Rect& dst, int srcX, int srcY, int srcWidth,
                           int srcHeight, Unit) {
  if (!image || srcWidth <= 0 || srcHeight <= 0) return InvalidParameter;
  if (dst.Width <= 0 || dst.Height <= 0 || image->GetWidth() == 0) return Ok;  // nothing to draw
  if (!m_hdc || !m_hdc->GetSurface()) return InvalidParameter;
  gdip::Canvas canvas(*m_hdc->GetSurface(), m_hdc->GetOrigin(), m_hdc->GetClip());
  const bool drawn =
      gdip::DrawPicture(canvas, image->GetSurface(), {srcX, srcY, srcWidth, srcHeight},
                        {dst.X, dst.Y, dst.Width, dst.Height}, false);
  return drawn ? Ok : GenericError;
}

Status Graphics::FillRectangle(const SolidBrush* brush, int x, int y, int width, int height) {
  if (!brush || !m_hdc || !m_hdc->GetSurface()) return InvalidParameter;
  gdip::Canvas canvas(*m_hdc->GetSurface(), m_hdc->GetOrigin(), m_hdc->GetClip());
  return gdip::Fill(canvas, {x, y, width, height}, brush->GetColor().GetValue(), false)
             ? Ok
             : GenericError;
}

// GDI+ itself is started once for the process (gdip::Ready): the token only pairs the calls.
Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput*, void*) {
  if (token) *token = 1;
  return gdip::Ready() ? Ok : GenericError;
}

void GdiplusShutdown(ULONG_PTR) {}

}  // namespace Gdiplus

// The part of the system's GDI+ flat interface that the drawing code uses, declared here
// because the system's own C++ headers define a namespace Gdiplus that the framework's
// GdiPlus.h also defines. Handles are opaque; every call returns a GDI+ status (0: Ok).
// Canvas and Picture put GDI+ over the framework's surfaces without copying them.
#pragma once

#include "platform/Surface.h"
#include "platform/Types.h"

namespace gdip {

using Handle = void*;
using Status = int;
inline constexpr Status kOk = 0;
// The framework's surfaces hold premultiplied ARGB, one 32-bit word per pixel: GDI+'s PARGB.
inline constexpr int kPremultipliedArgb = 0xE200B;
inline constexpr int kUnitPixel = 2;

struct LockedBits {
  UINT width, height;
  int stride;
  int pixelFormat;
  void* scan0;
  UINT_PTR reserved;
};
struct IntRect {
  int x, y, width, height;
};
struct FloatRect {
  float x, y, width, height;
};

// Starts GDI+ once per process, on first use; it stays up until the process ends, so
// pictures made before the program's own start-up call or living past its shut-down draw.
bool Ready();

// GDI+ drawing into a surface at the origin of a device context, clipped to its rectangle.
class Canvas {
 public:
  Canvas(Surface& surface, POINT origin, RECT clip);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  explicit operator bool() const { return m_graphics != nullptr; }
  Handle Graphics() const { return m_graphics; }

 private:
  Handle m_bitmap = nullptr;
  Handle m_graphics = nullptr;
};

// A surface as a GDI+ picture (the surface's pixels, not a copy; drawing only reads them).
class Picture {
 public:
  explicit Picture(const Surface& surface);
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  Handle Image() const { return m_bitmap; }

 private:
  Handle m_bitmap = nullptr;
};

// Draws `src` (a source rectangle of it) into `dst`, blending over (or replacing, `copy`) what
// is there; scaled pictures are filtered bilinearly and their edges repeat their own pixels.
bool DrawPicture(Canvas& canvas, const Surface& src, IntRect from, IntRect to, bool copy);
// Fills a rectangle with a colour (ARGB, not premultiplied), blending or replacing.
bool Fill(Canvas& canvas, IntRect rect, uint32_t argb, bool copy);

}  // namespace gdip

extern "C" {
using gdip::Handle;
using gdip::Status;
Status WINAPI GdipCreateBitmapFromScan0(int, int, int, int, BYTE*, Handle*);
Status WINAPI GdipCreateBitmapFromStream(IStream*, Handle*);
Status WINAPI GdipBitmapLockBits(Handle, const gdip::IntRect*, UINT, int, gdip::LockedBits*);
Status WINAPI GdipBitmapUnlockBits(Handle, gdip::LockedBits*);
Status WINAPI GdipGetImageWidth(Handle, UINT*);
Status WINAPI GdipGetImageHeight(Handle, UINT*);
Status WINAPI GdipDisposeImage(Handle);
Status WINAPI GdipGetImageGraphicsContext(Handle, Handle*);
Status WINAPI GdipDeleteGraphics(Handle);
Status WINAPI GdipSetClipRectI(Handle, int, int, int, int, int);
Status WINAPI GdipTranslateWorldTransform(Handle, float, float, int);
Status WINAPI GdipSetCompositingMode(Handle, int);
Status WINAPI GdipSetInterpolationMode(Handle, int);
Status WINAPI GdipSetPixelOffsetMode(Handle, int);
Status WINAPI GdipSetTextRenderingHint(Handle, int);
Status WINAPI GdipDrawImageRectRectI(Handle, Handle, int, int, int, int, int, int, int, int, int,
                                     Handle, void*, void*);
Status WINAPI GdipCreateImageAttributes(Handle*);
Status WINAPI GdipSetImageAttributesWrapMode(Handle, int, UINT, BOOL);
Status WINAPI GdipDisposeImageAttributes(Handle);
Status WINAPI GdipCreateSolidFill(UINT, Handle*);
Status WINAPI GdipDeleteBrush(Handle);
Status WINAPI GdipFillRectangleI(Handle, Handle, int, int, int, int);
Status WINAPI GdipCreatePen1(UINT, float, int, Handle*);
Status WINAPI GdipDeletePen(Handle);
Status WINAPI GdipDrawRectangleI(Handle, Handle, int, int, int, int);
Status WINAPI GdipCreateFontFamilyFromName(const wchar_t*, Handle, Handle*);
Status WINAPI GdipGetGenericFontFamilySansSerif(Handle*);
Status WINAPI GdipDeleteFontFamily(Handle);
Status WINAPI GdipCreateFont(Handle, float, int, int, Handle*);
Status WINAPI GdipDeleteFont(Handle);
Status WINAPI GdipCreateStringFormat(int, WORD, Handle*);
Status WINAPI GdipSetStringFormatAlign(Handle, int);
Status WINAPI GdipSetStringFormatLineAlign(Handle, int);
Status WINAPI GdipDeleteStringFormat(Handle);
Status WINAPI GdipDrawString(Handle, const wchar_t*, int, Handle, const gdip::FloatRect*, Handle,
                             Handle);
}

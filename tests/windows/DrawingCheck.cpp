// drawing-check: the Windows drawing primitives (GDI regions, GDI+ pictures and fills) give the
// pixels and regions the framework promises on every platform. Run under Wine by launcher.sh;
// prints each failed check and ends with status 1 if any failed.
#include <cstdio>
#include <cstdlib>

#include "platform/Gdi.h"
#include "platform/GdiPlus.h"
#include "platform/Resources.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::printf("FAILED: %s\n", what);
  ++g_failures;
}

bool Near(uint32_t pixel, uint32_t expected) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = pixel >> shift & 0xFF, b = expected >> shift & 0xFF;
    if (std::abs(a - b) > 1) return false;
  }
  return true;
}

void Regions() {
  const POINT outline[7] = {{157, 75},  {938, 75},  {955, 108}, {940, 141},
                            {938, 592}, {139, 594}, {36, 316}};
  auto shape = RegionData::FromPolygon(outline, 7, ALTERNATE);
  Check(shape && shape->Kind() == COMPLEXREGION, "the outline is a complex region");
  if (!shape) return;
  Check(shape->Contains(500, 300) && !shape->Contains(5, 5) && !shape->Contains(950, 590),
        "the outline holds its inside only");
  const RECT box = shape->Bounds();
  Check(box.left == 36 && box.top == 75 && box.right <= 956 && box.bottom <= 595,
        "the outline's bounds");

  // A copy is a region of its own.
  RegionData copy(*shape);
  auto square = RegionData::FromRect(0, 0, 10, 10);
  Check(square != nullptr, "a rectangle is a region");
  if (!square) return;
  Check(copy.Combine(copy, square.get(), RGN_OR) && copy.Contains(5, 5) && !shape->Contains(5, 5),
        "combining a copy leaves the original");
  // XOR with itself leaves nothing; an unknown mode fails and changes nothing.
  RegionData same(*square);
  Check(same.Combine(same, square.get(), RGN_XOR) && same.IsEmpty(), "XOR with itself");
  Check(!copy.Combine(copy, square.get(), 99) && copy.Contains(5, 5), "an unknown mode fails");
  // Rectangles in bands cover the region.
  auto reversed = RegionData::FromRect(10, 10, 0, 0);
  Check(reversed && reversed->Rectangles().size() == 1 && reversed->Contains(0, 0),
        "a reversed rectangle");
}

void Pictures() {
  res::Resource png;
  Check(res::FindResource(203, "png", &png), "the main background is compiled in");
  Gdiplus::Image image(png.data, png.size);
  Check(image.GetLastStatus() == Gdiplus::Ok && image.GetWidth() == 980 && image.GetHeight() == 650,
        "the background decodes at 980 x 650");
  if (image.GetWidth() != 980) return;
  const Surface& s = image.GetSurface();
  Check(s.At(0, 0) == 0, "a clear pixel stays clear");
  Check(s.At(490, 325) == 0xFF0A1223u, "an opaque pixel keeps its colour");
  // (33, 56, 101) at alpha 68, premultiplied.
  Check(Near(s.At(168, 70), 0x44090F1Bu), "a translucent pixel is premultiplied");

  const unsigned char junk[] = "not a picture at all";
  Gdiplus::Image bad(junk, sizeof junk);
  Check(bad.GetLastStatus() == Gdiplus::UnknownImageFormat && bad.GetWidth() == 0,
        "bytes that are no PNG do not decode");
}

void Drawing() {
  CBitmap bitmap;
  bitmap.CreateDIBSection32(8, 8);
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  dc.SelectObject(&bitmap);
  const Surface& s = *bitmap.GetSurface();

  dc.FillSolidRect(RECT{0, 0, 8, 8}, RGB(1, 2, 3));
  Check(s.At(7, 7) == 0xFF010203u, "a solid fill is opaque, red first in RGB()");

  Gdiplus::Graphics graphics(dc);
  Gdiplus::SolidBrush half(Gdiplus::Color(128, 255, 0, 0));
  graphics.FillRectangle(&half, 0, 0, 4, 4);
  Check(Near(s.At(0, 0), 0xFF800001u), "a translucent fill blends over");
  Check(s.At(4, 4) == 0xFF010203u, "a fill stays in its rectangle");

  // Copying keeps the source's alpha.
  CBitmap clear;
  clear.CreateDIBSection32(8, 8);
  CDC source;
  source.CreateCompatibleDC(nullptr);
  source.SelectObject(&clear);
  dc.BitBlt(0, 0, 2, 2, &source, 0, 0, SRCCOPY);
  Check(s.At(1, 1) == 0 && s.At(2, 2) != 0, "a copy replaces pixels, alpha included");

  // A device context draws only inside its clip, from its origin.
  CDC clipped(bitmap.GetSurface(), POINT{2, 2}, RECT{2, 2, 4, 4});
  clipped.FillSolidRect(RECT{0, 0, 8, 8}, RGB(9, 9, 9));
  Check(s.At(3, 3) == 0xFF090909u && s.At(5, 5) != 0xFF090909u && s.At(1, 1) == 0,
        "a clipped context");

  // A scaled picture fills its whole destination: edges repeat their own pixels.
  CDC whole(bitmap.GetSurface(), POINT{}, RECT{0, 0, 8, 8});
  res::Resource png;
  if (res::FindResource(203, "png", &png)) {
    Gdiplus::Image image(png.data, png.size);
    Gdiplus::Graphics(&whole).DrawImage(&image, Gdiplus::Rect(0, 0, 8, 8), 490, 325, 1, 1,
                                        Gdiplus::UnitPixel);
    Check(s.At(0, 0) == 0xFF0A1223u && s.At(7, 7) == 0xFF0A1223u,
          "a one-pixel source scaled up covers its destination");
  }
}

}  // namespace

int main() {
  Regions();
  Pictures();
  Drawing();
  std::printf("%s\n", g_failures ? "drawing-check failed" : "drawing-check passed");
  return g_failures ? 1 : 0;
}

// Device contexts, bitmaps and regions: the small part of the drawing interface the launcher
// uses. A device context draws into a Surface at an origin, clipped to a rectangle.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Surface.h"
#include "WinUser.h"

// A set of pixels: what window shapes, hit tests and region combinations work on.
class RegionData {
 public:
  RegionData();
  ~RegionData();
  RegionData(const RegionData& other);
  RegionData& operator=(const RegionData& other);

  static std::unique_ptr<RegionData> FromRect(int left, int top, int right, int bottom);
  // Pixels whose centres lie inside the polygon (fill mode ALTERNATE: even-odd).
  static std::unique_ptr<RegionData> FromPolygon(const POINT* points, int count, int fillMode);

  bool Contains(int x, int y) const;
  bool IsEmpty() const;
  // NULLREGION, SIMPLEREGION (one rectangle) or COMPLEXREGION.
  int Kind() const;
  RECT Bounds() const;
  // The region as disjoint rectangles, in bands from top to bottom (X11 shape order).
  std::vector<RECT> Rectangles() const;
  // Sets this region to `a` combined with `b` (RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY).
  bool Combine(const RegionData& a, const RegionData* b, int mode);

  void* Native() const { return m_region; }  // a cairo_region_t; an HRGN on Windows

 private:
  explicit RegionData(void* native);
  void* m_region;
};

// RegionData combination as the window system reports it: ERROR, NULLREGION, SIMPLEREGION or
// COMPLEXREGION. `dst` may be `src1` or `src2`.
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
BOOL PtInRegion(HRGN rgn, int x, int y);

class CRgn {
 public:
  CRgn() = default;
  BOOL CreatePolygonRgn(const POINT* points, int count, int fillMode);
  BOOL CreateRectRgn(int left, int top, int right, int bottom);
  int CombineRgn(CRgn* src1, CRgn* src2, int mode);
  BOOL PtInRegion(int x, int y) const;
  BOOL DeleteObject();
  HRGN GetSafeHandle() const { return m_region.get(); }
  operator HRGN() const { return m_region.get(); }

 private:
  std::unique_ptr<RegionData> m_region;
};

// A 32-bit surface that can be selected into a memory device context.
class CBitmap {
 public:
  BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
  // A 32-bit top-down or bottom-up section; its pixels start fully transparent.
  BOOL CreateDIBSection32(int width, int height);
  BOOL DeleteObject();
  Surface* GetSurface() { return m_surface.get(); }

 private:
  std::unique_ptr<Surface> m_surface;
};

// A device context: a target surface, the origin of the drawing coordinates on it and the
// clip rectangle (in surface pixels). Memory DCs draw into the selected bitmap.
class CDC {
 public:
  CDC() = default;
  CDC(Surface* surface, POINT origin, RECT clip);
  virtual ~CDC() = default;

  BOOL CreateCompatibleDC(CDC* dc);
  CBitmap* SelectObject(CBitmap* bitmap);  // returns the previously selected bitmap
  BOOL DeleteDC();
  HDC GetSafeHdc() { return this; }
  operator HDC() { return this; }

  // Copies pixels (alpha included) from `src` at (srcX, srcY).
  BOOL BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop);
  void FillSolidRect(const RECT& rect, COLORREF bgr);
  void FrameRect(const RECT& rect, uint32_t argb);
  void DrawIcon(int x, int y, HICON icon);
  void DrawText(const char* text, const RECT& rect, uint32_t argb);

  Surface* GetSurface() const { return m_surface; }
  POINT GetOrigin() const { return m_origin; }
  RECT GetClip() const { return m_clip; }
  static CDC* FromHandle(HDC hdc) { return hdc; }

 protected:
  Surface* m_surface = nullptr;
  POINT m_origin;
  RECT m_clip;
  CBitmap* m_selected = nullptr;
  bool m_memory = false;
};

struct IconData {
  Surface picture;
};
// Decodes a .ico file's largest entry (PNG or 32-bit BMP entries); null when it is none.
HICON DecodeIcon(const uint8_t* data, size_t size);
// The bytes of a .ico file's largest entry when that entry is a PNG (as large icons are
// stored), for whoever needs the picture as a file; empty otherwise.
std::string IconPngImage(const uint8_t* data, size_t size);
HICON LoadIconFromFile(const char* path);
BOOL DestroyIcon(HICON icon);

// Layered window update: the pixels and alpha of `hwnd` become those of `src` at `srcPoint`.
BOOL UpdateLayeredWindow(HWND hwnd, HDC dst, POINT* dstPoint, SIZE* size, HDC src, POINT* srcPoint,
                         COLORREF key, BLENDFUNCTION* blend, DWORD flags);

// Colour helpers.
inline constexpr COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

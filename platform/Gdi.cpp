#include "Gdi.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "GdiPlus.h"
#include "Resources.h"
#include "Wnd.h"

// ---------------------------------------------------------------------------------------------
// Region combination

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
  if (!dst || !src1) return ERROR;
  if (!dst->Combine(*src1, src2, mode)) return ERROR;
  return dst->Kind();
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
  return rgn && rgn->Contains(x, y);
}

// ---------------------------------------------------------------------------------------------
// CRgn

BOOL CRgn::CreatePolygonRgn(const POINT* points, int count, int fillMode) {
  if (m_region) return FALSE;  // one region per object, as the framework asserts
  m_region = RegionData::FromPolygon(points, count, fillMode);
  return m_region != nullptr;
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom) {
  if (m_region) return FALSE;
  m_region = RegionData::FromRect(left, top, right, bottom);
  return TRUE;
}

int CRgn::CombineRgn(CRgn* src1, CRgn* src2, int mode) {
  return ::CombineRgn(m_region.get(), src1 ? src1->m_region.get() : nullptr,
                      src2 ? src2->m_region.get() : nullptr, mode);
}

BOOL CRgn::PtInRegion(int x, int y) const {
  return ::PtInRegion(m_region.get(), x, y);
}

BOOL CRgn::DeleteObject() {
  if (!m_region) return FALSE;
  m_region.reset();
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// CBitmap and CDC

BOOL CBitmap::CreateCompatibleBitmap(CDC*, int width, int height) {
  return CreateDIBSection32(width, height);
}

BOOL CBitmap::CreateDIBSection32(int width, int height) {
  if (m_surface || width <= 0 || height <= 0) return FALSE;
  m_surface = std::make_unique<Surface>(width, height);
  return TRUE;
}

BOOL CBitmap::DeleteObject() {
  if (!m_surface) return FALSE;
  m_surface.reset();
  return TRUE;
}

CDC::CDC(Surface* surface, POINT origin, RECT clip)
    : m_surface(surface), m_origin(origin), m_clip(clip) {}

BOOL CDC::CreateCompatibleDC(CDC*) {
  m_memory = true;
  m_surface = nullptr;
  m_origin = POINT{};
  m_clip = RECT{};
  return TRUE;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  CBitmap* previous = m_selected;
  m_selected = bitmap;
  m_surface = bitmap ? bitmap->GetSurface() : nullptr;
  m_clip = m_surface ? RECT{0, 0, m_surface->width, m_surface->height} : RECT{};
  return previous;
}

BOOL CDC::DeleteDC() {
  m_surface = nullptr;
  m_selected = nullptr;
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Icons

namespace {
uint32_t ReadLE32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A 32-bit BMP icon entry: header, then width x 2*height BGRA rows bottom-up (the lower half
// of the doubled height is the AND mask, unused with an alpha channel).
bool DecodeBmpEntry(const uint8_t* p, size_t size, Surface& out) {
  if (size < 40 || ReadLE32(p) < 40) return false;
  const int w = static_cast<int>(ReadLE32(p + 4));
  const int h = static_cast<int>(ReadLE32(p + 8)) / 2;
  if (ReadLE16(p + 14) != 32 || w <= 0 || h <= 0 || w > 1024 || h > 1024) return false;
  const size_t offset = ReadLE32(p);
  if (size < offset + static_cast<size_t>(w) * h * 4) return false;
  out = Surface(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* px = p + offset + (static_cast<size_t>(h - 1 - y) * w + x) * 4;
      const uint32_t a = px[3];
      out.pixels[static_cast<size_t>(y) * w + x] =
          a << 24 | (px[2] * a / 255) << 16 | (px[1] * a / 255) << 8 | (px[0] * a / 255);
    }
  }
  return true;
}

struct IconEntry {
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool IsPng() const {
    static const uint8_t kPng[] = {0x89, 'P', 'N', 'G'};
    return size >= 4 && std::memcmp(data, kPng, 4) == 0;
  }
};

// The entry with the most pixels (a size byte of 0 means 256), checked to lie in the file.
bool LargestIconEntry(const uint8_t* data, size_t size, IconEntry* found) {
  if (!data || size < 6 || ReadLE16(data) != 0 || ReadLE16(data + 2) != 1) return false;
  const int count = ReadLE16(data + 4);
  size_t best = 0, bestPixels = 0;
  for (int i = 0; i < count && 6 + 16u * (i + 1) <= size; ++i) {
    const uint8_t* entry = data + 6 + 16 * i;
    const size_t pixels =
        static_cast<size_t>(entry[0] ? entry[0] : 256) * (entry[1] ? entry[1] : 256);
    if (pixels > bestPixels) bestPixels = pixels, best = 6 + 16 * i;
  }
  if (!bestPixels) return false;
  const size_t length = ReadLE32(data + best + 8), offset = ReadLE32(data + best + 12);
  if (offset > size || length > size - offset) return false;
  *found = IconEntry{data + offset, length};
  return true;
}
}  // namespace

HICON DecodeIcon(const uint8_t* data, size_t size) {
  IconEntry entry;
  if (!LargestIconEntry(data, size, &entry)) return nullptr;
  auto icon = std::make_unique<IconData>();
  if (entry.IsPng()) {
    Gdiplus::Image image(entry.data, entry.size);
    if (image.GetWidth() == 0) return nullptr;
    icon->picture = image.GetSurface();
  } else if (!DecodeBmpEntry(entry.data, entry.size, icon->picture)) {
    return nullptr;
  }
  return icon.release();
}

std::string IconPngImage(const uint8_t* data, size_t size) {
  IconEntry entry;
  if (!LargestIconEntry(data, size, &entry) || !entry.IsPng()) return "";
  return std::string(reinterpret_cast<const char*>(entry.data), entry.size);
}

HICON LoadIconFromFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  return DecodeIcon(bytes.data(), bytes.size());
}

BOOL DestroyIcon(HICON icon) {
  delete icon;
  return icon != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Resources

int LoadString(UINT id, char* buffer, int size) {
  const char* text = res::FindString(id);
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  if (!text) return 0;
  const size_t n = std::min(std::strlen(text), static_cast<size_t>(size - 1));
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

HICON LoadIconResource(UINT id) {
  res::Resource found;
  return res::FindResource(id, "icon", &found) ? DecodeIcon(found.data, found.size) : nullptr;
}

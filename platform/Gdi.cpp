#include "Gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "CairoUtil.h"
#include "GdiPlus.h"
#include "Resources.h"
#include "Wnd.h"

// ---------------------------------------------------------------------------------------------
// cairo helpers

cairo_surface_t* WrapSurface(Surface& surface) {
  if (surface.width <= 0 || surface.height <= 0) return nullptr;
  return cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(surface.pixels.data()), CAIRO_FORMAT_ARGB32, surface.width,
      surface.height, surface.width * 4);
}

cairo_t* CreateContext(Surface& surface, POINT origin, RECT clip) {
  cairo_surface_t* target = WrapSurface(surface);
  if (!target) return nullptr;
  cairo_t* cr = cairo_create(target);
  cairo_surface_destroy(target);  // the context keeps its own reference
  cairo_rectangle(cr, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
  cairo_clip(cr);
  cairo_translate(cr, origin.x, origin.y);
  return cr;
}

cairo_t* CreateContext(CDC* dc) {
  if (!dc || !dc->GetSurface()) return nullptr;
  return CreateContext(*dc->GetSurface(), dc->GetOrigin(), dc->GetClip());
}

// ---------------------------------------------------------------------------------------------
// RegionData

namespace {
cairo_region_t* R(void* p) {
  return static_cast<cairo_region_t*>(p);
}
}  // namespace

RegionData::RegionData() : m_region(cairo_region_create()) {}
RegionData::RegionData(void* native) : m_region(native) {}
RegionData::~RegionData() {
  cairo_region_destroy(R(m_region));
}
RegionData::RegionData(const RegionData& other) : m_region(cairo_region_copy(R(other.m_region))) {}
RegionData& RegionData::operator=(const RegionData& other) {
  if (this != &other) {
    cairo_region_destroy(R(m_region));
    m_region = cairo_region_copy(R(other.m_region));
  }
  return *this;
}

std::unique_ptr<RegionData> RegionData::FromRect(int left, int top, int right, int bottom) {
  // Like the window system, a rectangle given right-to-left or bottom-to-top is normalised.
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  cairo_rectangle_int_t r{left, top, right - left, bottom - top};
  return std::unique_ptr<RegionData>(new RegionData(cairo_region_create_rectangle(&r)));
}

std::unique_ptr<RegionData> RegionData::FromPolygon(const POINT* points, int count, int fillMode) {
  if (!points || count < 2) return nullptr;
  auto region = std::make_unique<RegionData>();
  int minY = points[0].y, maxY = points[0].y;
  for (int i = 1; i < count; ++i) {
    minY = std::min<int>(minY, points[i].y);
    maxY = std::max<int>(maxY, points[i].y);
  }
  // Scan conversion at pixel centres: a pixel belongs to the polygon when its centre does.
  std::vector<std::pair<double, int>> crossings;  // x, winding direction
  for (int y = minY; y < maxY; ++y) {
    const double cy = y + 0.5;
    crossings.clear();
    for (int i = 0; i < count; ++i) {
      const POINT& a = points[i];
      const POINT& b = points[(i + 1) % count];
      if ((a.y <= cy) == (b.y <= cy)) continue;
      const double x = a.x + (cy - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y);
      crossings.push_back({x, b.y > a.y ? 1 : -1});
    }
    std::sort(crossings.begin(), crossings.end());
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding += crossings[i].second;
      const bool inside = fillMode == ALTERNATE ? (i % 2 == 0) : winding != 0;
      if (!inside) continue;
      const int x0 = static_cast<int>(std::ceil(crossings[i].first - 0.5));
      const int x1 = static_cast<int>(std::ceil(crossings[i + 1].first - 0.5));
      if (x1 <= x0) continue;
      cairo_rectangle_int_t r{x0, y, x1 - x0, 1};
      cairo_region_union_rectangle(R(region->m_region), &r);
    }
  }
  return region;
}

bool RegionData::Contains(int x, int y) const {
  return cairo_region_contains_point(R(m_region), x, y);
}
bool RegionData::IsEmpty() const {
  return cairo_region_is_empty(R(m_region));
}

int RegionData::Kind() const {
  const int n = cairo_region_num_rectangles(R(m_region));
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT RegionData::Bounds() const {
  cairo_rectangle_int_t r;
  cairo_region_get_extents(R(m_region), &r);
  return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
}

std::vector<RECT> RegionData::Rectangles() const {
  std::vector<RECT> out;
  const int n = cairo_region_num_rectangles(R(m_region));
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(R(m_region), i, &r);
    out.push_back(RECT{r.x, r.y, r.x + r.width, r.y + r.height});
  }
  return out;
}

bool RegionData::Combine(const RegionData& a, const RegionData* b, int mode) {
  cairo_region_t* result = cairo_region_copy(R(a.m_region));
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (mode != RGN_COPY) {
    if (!b) {
      cairo_region_destroy(result);
      return false;
    }
    switch (mode) {
      case RGN_AND:
        status = cairo_region_intersect(result, R(b->m_region));
        break;
      case RGN_OR:
        status = cairo_region_union(result, R(b->m_region));
        break;
      case RGN_XOR:
        status = cairo_region_xor(result, R(b->m_region));
        break;
      case RGN_DIFF:
        status = cairo_region_subtract(result, R(b->m_region));
        break;
      default:
        status = CAIRO_STATUS_INVALID_INDEX;
        break;
    }
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    cairo_region_destroy(result);
    return false;
  }
  cairo_region_destroy(R(m_region));
  m_region = result;
  return true;
}

void RegionData::Offset(int dx, int dy) {
  cairo_region_translate(R(m_region), dx, dy);
}

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

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD) {
  if (!src || !src->m_surface || !m_surface) return FALSE;
  cairo_t* cr = CreateContext(this);
  cairo_surface_t* source = WrapSurface(*src->m_surface);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, source, x - srcX - src->m_origin.x, y - srcY - src->m_origin.y);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(source);
  return TRUE;
}

void CDC::FillSolidRect(const RECT& rect, COLORREF bgr) {
  cairo_t* cr = CreateContext(this);
  if (!cr) return;
  cairo_set_source_rgb(cr, (bgr & 0xFF) / 255.0, ((bgr >> 8) & 0xFF) / 255.0,
                       ((bgr >> 16) & 0xFF) / 255.0);
  cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  cairo_fill(cr);
  cairo_destroy(cr);
}

namespace {
void SetArgb(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, Surface::Red(argb) / 255.0, Surface::Green(argb) / 255.0,
                        Surface::Blue(argb) / 255.0, Surface::Alpha(argb) / 255.0);
}
}  // namespace

void CDC::FrameRect(const RECT& rect, uint32_t argb) {
  cairo_t* cr = CreateContext(this);
  if (!cr) return;
  SetArgb(cr, argb);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.right - rect.left - 1,
                  rect.bottom - rect.top - 1);
  cairo_stroke(cr);
  cairo_destroy(cr);
}

void CDC::DrawIcon(int x, int y, HICON icon) {
  if (!icon) return;
  cairo_t* cr = CreateContext(this);
  cairo_surface_t* source = WrapSurface(icon->picture);
  if (cr && source) {
    cairo_set_source_surface(cr, source, x, y);
    cairo_paint(cr);
  }
  if (source) cairo_surface_destroy(source);
  if (cr) cairo_destroy(cr);
}

void CDC::DrawText(const char* text, const RECT& rect, uint32_t argb) {
  cairo_t* cr = CreateContext(this);
  if (!cr || !text) return;
  SetArgb(cr, argb);
  // A family with Chinese glyphs (scripts/setup installs it); fontconfig substitutes its
  // default where it is missing.
  cairo_select_font_face(cr, "WenQuanYi Micro Hei", CAIRO_FONT_SLANT_NORMAL,
                         CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text, &extents);
  const double x = rect.left + (rect.right - rect.left - extents.width) / 2 - extents.x_bearing;
  const double y = rect.top + (rect.bottom - rect.top - extents.height) / 2 - extents.y_bearing;
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text);
  cairo_destroy(cr);
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
}  // namespace

HICON DecodeIcon(const uint8_t* data, size_t size) {
  if (!data || size < 6 || ReadLE16(data) != 0 || ReadLE16(data + 2) != 1) return nullptr;
  const int count = ReadLE16(data + 4);
  size_t best = 0, bestPixels = 0;
  for (int i = 0; i < count && 6 + 16u * (i + 1) <= size; ++i) {
    const uint8_t* entry = data + 6 + 16 * i;
    const size_t pixels =
        static_cast<size_t>(entry[0] ? entry[0] : 256) * (entry[1] ? entry[1] : 256);
    if (pixels > bestPixels) bestPixels = pixels, best = 6 + 16 * i;
  }
  if (!bestPixels) return nullptr;
  const size_t length = ReadLE32(data + best + 8), offset = ReadLE32(data + best + 12);
  if (offset > size || length > size - offset) return nullptr;
  auto icon = std::make_unique<IconData>();
  static const uint8_t kPng[] = {0x89, 'P', 'N', 'G'};
  if (length >= 4 && std::memcmp(data + offset, kPng, 4) == 0) {
    Gdiplus::Image image(data + offset, length);
    if (image.GetWidth() == 0) return nullptr;
    icon->picture = image.GetSurface();
  } else if (!DecodeBmpEntry(data + offset, length, icon->picture)) {
    return nullptr;
  }
  return icon.release();
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

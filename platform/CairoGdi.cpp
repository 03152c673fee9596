// Regions and device-context drawing on cairo (the Linux desktop and the tests).
#include <algorithm>
#include <cmath>

#include "CairoUtil.h"
#include "Gdi.h"

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

void SetArgb(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, Surface::Red(argb) / 255.0, Surface::Green(argb) / 255.0,
                        Surface::Blue(argb) / 255.0, Surface::Alpha(argb) / 255.0);
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

// ---------------------------------------------------------------------------------------------
// CDC drawing

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

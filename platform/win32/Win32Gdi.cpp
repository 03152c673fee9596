// Regions and device-context drawing on Windows: a region is a GDI HRGN (what SetWindowRgn
// takes), and drawing into the framework's surfaces goes through GDI+ (Win32GdiPlus.cpp).
#include <vector>

#include "GdiPlusFlat.h"
#include "Win32System.h"
#include "platform/Gdi.h"

namespace {

win32_HRGN H(void* region) {
  return static_cast<win32_HRGN>(region);
}

win32_HRGN EmptyRgn() {
  return CreateRectRgn(0, 0, 0, 0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// RegionData

RegionData::RegionData() : m_region(EmptyRgn()) {}
RegionData::RegionData(void* native) : m_region(native) {}
RegionData::~RegionData() {
  DeleteObject(H(m_region));
}
RegionData::RegionData(const RegionData& other) : m_region(EmptyRgn()) {
  CombineRgn(H(m_region), H(other.m_region), nullptr, RGN_COPY);
}
RegionData& RegionData::operator=(const RegionData& other) {
  if (this != &other) CombineRgn(H(m_region), H(other.m_region), nullptr, RGN_COPY);
  return *this;
}

std::unique_ptr<RegionData> RegionData::FromRect(int left, int top, int right, int bottom) {
  // GDI normalises a rectangle given right-to-left or bottom-to-top itself.
  return std::unique_ptr<RegionData>(new RegionData(CreateRectRgn(left, top, right, bottom)));
}

std::unique_ptr<RegionData> RegionData::FromPolygon(const POINT* points, int count, int fillMode) {
  if (!points || count < 2) return nullptr;
  std::vector<win32_POINT> native(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) native[i] = {points[i].x, points[i].y};
  win32_HRGN region = CreatePolygonRgn(native.data(), count, fillMode);
  return region ? std::unique_ptr<RegionData>(new RegionData(region)) : nullptr;
}

bool RegionData::Contains(int x, int y) const {
  return PtInRegion(H(m_region), x, y) != 0;
}

bool RegionData::IsEmpty() const {
  return Kind() == NULLREGION;
}

int RegionData::Kind() const {
  win32_RECT box;
  const int kind = GetRgnBox(H(m_region), &box);
  return kind == ERROR ? NULLREGION : kind;
}

RECT RegionData::Bounds() const {
  win32_RECT box{};
  GetRgnBox(H(m_region), &box);
  return RECT{box.left, box.top, box.right, box.bottom};
}

std::vector<RECT> RegionData::Rectangles() const {
  std::vector<RECT> out;
  const win32_DWORD size = GetRegionData(H(m_region), 0, nullptr);
  if (size < sizeof(RGNDATAHEADER)) return out;
  std::vector<char> buffer(size);
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  if (GetRegionData(H(m_region), size, data) != size) return out;
  const auto* rects = reinterpret_cast<const win32_RECT*>(data->Buffer);
  for (win32_DWORD i = 0; i < data->rdh.nCount; ++i)
    out.push_back(RECT{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom});
  return out;
}

bool RegionData::Combine(const RegionData& a, const RegionData* b, int mode) {
  if (mode != RGN_COPY && !b) return false;
  // Into a new region first: a failed combination leaves this one as it was.
  win32_HRGN result = EmptyRgn();
  if (!result || CombineRgn(result, H(a.m_region), b ? H(b->m_region) : nullptr, mode) == ERROR) {
    if (result) DeleteObject(result);
    return false;
  }
  DeleteObject(H(m_region));
  m_region = result;
  return true;
}

// ---------------------------------------------------------------------------------------------
// CDC drawing

namespace {

gdip::IntRect Span(const RECT& rect) {
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD) {
  if (!src || !src->m_surface || !m_surface) return FALSE;
  gdip::Canvas canvas(*m_surface, m_origin, m_clip);
  // The source's own origin is where its drawing coordinates start on its surface.
  const gdip::IntRect from{srcX + src->m_origin.x, srcY + src->m_origin.y, width, height};
  return gdip::DrawPicture(canvas, *src->m_surface, from, {x, y, width, height}, true);
}

void CDC::FillSolidRect(const RECT& rect, COLORREF bgr) {
  if (!m_surface) return;
  gdip::Canvas canvas(*m_surface, m_origin, m_clip);
  const uint32_t argb = 0xFF000000u | (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
  gdip::Fill(canvas, Span(rect), argb, true);
}

void CDC::FrameRect(const RECT& rect, uint32_t argb) {
  if (!m_surface) return;
  gdip::Canvas canvas(*m_surface, m_origin, m_clip);
  gdip::Handle pen = nullptr;
  if (!canvas || GdipCreatePen1(argb, 1.0f, gdip::kUnitPixel, &pen) != gdip::kOk) return;
  GdipSetPixelOffsetMode(canvas.Graphics(), 0);  // a one-pixel line on the pixels it names
  GdipDrawRectangleI(canvas.Graphics(), pen, rect.left, rect.top, rect.right - rect.left - 1,
                     rect.bottom - rect.top - 1);
  GdipDeletePen(pen);
}

void CDC::DrawIcon(int x, int y, HICON icon) {
  if (!icon || !m_surface) return;
  gdip::Canvas canvas(*m_surface, m_origin, m_clip);
  const Surface& picture = icon->picture;
  gdip::DrawPicture(canvas, picture, {0, 0, picture.width, picture.height},
                    {x, y, picture.width, picture.height}, false);
}

void CDC::DrawText(const char* text, const RECT& rect, uint32_t argb) {
  if (!text || !m_surface) return;
  gdip::Canvas canvas(*m_surface, m_origin, m_clip);
  if (!canvas) return;
  // A family with Chinese glyphs where the system has it, else the sans-serif default.
  gdip::Handle family = nullptr, font = nullptr, format = nullptr, brush = nullptr;
  if (GdipCreateFontFamilyFromName(L"Microsoft YaHei", nullptr, &family) != gdip::kOk)
    GdipGetGenericFontFamilySansSerif(&family);
  GdipCreateFont(family, 12.0f, 0 /* regular */, gdip::kUnitPixel, &font);
  GdipCreateStringFormat(0, 0, &format);
  GdipSetStringFormatAlign(format, 1 /* centre */);
  GdipSetStringFormatLineAlign(format, 1);
  GdipCreateSolidFill(argb, &brush);
  GdipSetTextRenderingHint(canvas.Graphics(), 4 /* anti-alias */);
  const std::wstring wide = sys::ToWide(text);
  const gdip::FloatRect box{static_cast<float>(rect.left), static_cast<float>(rect.top),
                            static_cast<float>(rect.right - rect.left),
                            static_cast<float>(rect.bottom - rect.top)};
  if (font && format && brush)
    GdipDrawString(canvas.Graphics(), wide.c_str(), -1, font, &box, format, brush);
  if (brush) GdipDeleteBrush(brush);
  if (format) GdipDeleteStringFormat(format);
  if (font) GdipDeleteFont(font);
  if (family) GdipDeleteFontFamily(family);
}

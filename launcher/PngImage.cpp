#include "PngImage.h"

#include "platform/Resources.h"
#include "update/Log.h"

BOOL ImageFromIDResource(UINT id, const char* type, Gdiplus::Image*& image) {
  res::Resource resource;
  if (!res::FindResource(id, type, &resource)) return FALSE;
  image = new Gdiplus::Image(resource.data, resource.size);
  return TRUE;
}

Gdiplus::Image* LoadPngImage(UINT id) {
  Gdiplus::Image* image = nullptr;
  if (!Check(ImageFromIDResource(id, "png", image), "Launcher", 489,
             "ImageFromIDResource(id, \"png\", image)")) {
    return nullptr;
  }
  const Gdiplus::Status status = image->GetLastStatus();
  Check(Gdiplus::Ok == status, "Launcher", 491, "Ok == status");
  return image;
}

void DrawBackground(HDC hdc, Gdiplus::Image* image) {
  Gdiplus::Graphics graphics(hdc);
  const int w = static_cast<int>(image->GetWidth());
  const int h = static_cast<int>(image->GetHeight());
  graphics.DrawImage(image, Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
}

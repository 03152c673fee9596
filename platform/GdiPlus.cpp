#include "GdiPlus.h"

namespace Gdiplus {

Status Image::GetLastStatus() {
  Status status = m_lastStatus;
  m_lastStatus = Ok;
  return status;
}

Graphics::Graphics(HDC hdc) : m_hdc(hdc) {}

Status Graphics::DrawImage(Image* image, int x, int y, int width, int height) {
  if (!image) return InvalidParameter;
  return DrawImage(image, Rect(x, y, width, height), 0, 0, image->GetWidth(), image->GetHeight(),
                   UnitPixel);
}

}  // namespace Gdiplus

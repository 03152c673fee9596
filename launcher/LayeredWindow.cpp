#include "LayeredWindow.h"

#include "update/Log.h"

std::array<Gdiplus::Rect, 4> LayeredBands(int W, int H, const HoleRect& hole) {
  const int x = hole.x, y = hole.y, w = hole.width, h = hole.height;
  return {Gdiplus::Rect(0, 0, W, y), Gdiplus::Rect(0, y + h, W, H - y - h),
          Gdiplus::Rect(0, y, x, h), Gdiplus::Rect(x + w, y, W - x - w, h)};
}

const MessageMap& CLayeredWindow::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CLayeredWindow>({}, &CWnd::GetThisMessageMap);
  return map;
}

BOOL CLayeredWindow::Create(CWnd* pParent, Gdiplus::Image* pImage, int x, int y, int width,
                            int height, CRgn* pRgn) {
  if (!Check(pImage != nullptr, "LayeredWindow", 31, "pImage")) return FALSE;
  m_rcHole = HoleRect{x, y, width, height};
  m_pImage = pImage;
  const int h = static_cast<int>(m_pImage->GetHeight());
  const int w = static_cast<int>(m_pImage->GetWidth());
  if (!Check(CreateEx(WS_EX_LAYERED, "STATIC", "", 0, RECT{0, 0, w, h}, pParent, 0L) != FALSE,
             "LayeredWindow", 36,
             "CreateEx(WS_EX_LAYERED, TEXT(\"STATIC\"), TEXT(\"\"), 0, CRect(0, 0, "
             "m_pImage->GetWidth(), m_pImage->GetHeight()), pParent, 0L)")) {
    return FALSE;
  }
  SetWindowRgn(pRgn ? pRgn->GetSafeHandle() : nullptr, FALSE);
  return TRUE;
}

void CLayeredWindow::MoveWindowTo(int x, int y) {
  RECT rc;
  GetWindowRect(&rc);
  MoveWindow(x, y, rc.right - rc.left, rc.bottom - rc.top, FALSE);
}

void CLayeredWindow::FollowWindowPos(const WINDOWPOS& pos) {
  if (m_hWnd && pos.cx >= 0 && pos.cy > 0) MoveWindowTo(pos.x, pos.y);
}

void CLayeredWindow::FollowShowWindow(BOOL bShow) {
  if (m_hWnd) ShowWindow(bShow ? SW_SHOW : SW_HIDE);
}

void CLayeredWindow::UpdateLayered() {
  RECT rc;
  GetWindowRect(&rc);
  const int W = rc.right - rc.left, H = rc.bottom - rc.top;
  CDC* pWindowDC = GetDC();
  CDC memDC;
  memDC.CreateCompatibleDC(pWindowDC);
  const Surface* drawn = m_bitmap.GetSurface();
  const bool redraw = !drawn || drawn->width != W || drawn->height != H;
  if (redraw) {
    m_bitmap.DeleteObject();
    m_bitmap.CreateDIBSection32(W, H);  // starts fully transparent
  }
  CBitmap* pOld = memDC.SelectObject(&m_bitmap);
  if (redraw && m_pImage) {
    Gdiplus::Graphics graphics(memDC);
    // Each band goes where it is in the picture, each pixel once.
    for (const Gdiplus::Rect& band : LayeredBands(W, H, m_rcHole)) {
      graphics.DrawImage(m_pImage, band, band.X, band.Y, band.Width, band.Height,
                         Gdiplus::UnitPixel);
    }
  }
  POINT ptDst{rc.left, rc.top};
  SIZE size{W, H};
  POINT ptSrc{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  if (!UpdateLayeredWindow(m_hWnd, pWindowDC, &ptDst, &size, memDC, &ptSrc, 0, &blend, ULW_ALPHA)) {
    LogPrint("UpdateLayeredWindow error(%u)!", static_cast<unsigned>(GetLastError()));
  }
  memDC.SelectObject(pOld);
  memDC.DeleteDC();
  if (pWindowDC) ReleaseDC(pWindowDC);
}

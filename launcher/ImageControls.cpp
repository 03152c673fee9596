#include "ImageControls.h"

#include <algorithm>
#include <cmath>
#include <iterator>

// ---------------------------------------------------------------------------------------------
// CImageButton

const MessageMap& CImageButton::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CImageButton>(
      {
          OnEraseBkgndMsg(&CImageButton::OnEraseBkgnd),
          OnMouseMoveMsg(&CImageButton::OnMouseMove),
          OnLButtonDownMsg(&CImageButton::OnLButtonDown),
          OnLButtonUpMsg(&CImageButton::OnLButtonUp),
          OnMessageNumber(WM_MOUSEHOVER, &CImageButton::OnMouseHover),
          OnMessageNumber(WM_MOUSELEAVE, &CImageButton::OnMouseLeave),
      },
      &CButton::GetThisMessageMap);
  return map;
}

CImageButton::~CImageButton() {
  // One picture may fill several slots (a button without a picture of its own for a state):
  // each is freed once.
  for (int i = 0; i < 4; ++i) {
    if (std::find(m_pImages, m_pImages + i, m_pImages[i]) == m_pImages + i) delete m_pImages[i];
  }
  std::fill(std::begin(m_pImages), std::end(m_pImages), nullptr);
}

BOOL CImageButton::SetImages(Gdiplus::Image* normal, Gdiplus::Image* hover,
                             Gdiplus::Image* pressed) {
  // The button owns its pictures: ones it held before are freed, not leaked.
  Gdiplus::Image* next[4] = {normal, hover, pressed, nullptr};
  for (int i = 0; i < 4; ++i) {
    if (m_pImages[i] != next[i] && std::find(next, next + 4, m_pImages[i]) == next + 4) {
      delete m_pImages[i];
    }
    m_pImages[i] = next[i];
  }
  if (!normal) return FALSE;
  SetWindowPos(0, 0, 0, static_cast<int>(normal->GetWidth()), static_cast<int>(normal->GetHeight()),
               SWP_NOMOVE | SWP_NOZORDER);
  return TRUE;
}

void CImageButton::PreSubclassWindow() {
  ModifyStyle(0, BS_OWNERDRAW, 0);
  if (m_hWnd) SetWindowLong(GWL_STYLE, GetWindowLong(GWL_STYLE) | WS_CLIPSIBLINGS);
  CButton::PreSubclassWindow();
}

void CImageButton::DrawItem(LPDRAWITEMSTRUCT item) {
  // A disabled button stays in the disabled state until a mouse message changes it.
  if (!IsWindowEnabled()) m_nState = kDisabled;
  Gdiplus::Image* image = m_pImages[m_nState];
  if (!image) return;
  const int w = static_cast<int>(image->GetWidth()), h = static_cast<int>(image->GetHeight());
  Gdiplus::Graphics graphics(item->hDC);
  graphics.DrawImage(image, Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
}

BOOL CImageButton::OnEraseBkgnd(CDC*) {
  return FALSE;
}

void CImageButton::OnMouseMove(UINT nFlags, POINT point) {
  if (!m_bTracking) {
    TRACKMOUSEEVENT tme;
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_HOVER | TME_LEAVE;
    tme.hwndTrack = m_hWnd;
    tme.dwHoverTime = 1;
    if (::TrackMouseEvent(&tme)) m_bTracking = true;
  }
  CButton::OnMouseMove(nFlags, point);
}

void CImageButton::OnLButtonDown(UINT nFlags, POINT point) {
  SetState(kPressed);
  CButton::OnLButtonDown(nFlags, point);
}

void CImageButton::OnLButtonUp(UINT nFlags, POINT point) {
  SetState(kHover);
  CButton::OnLButtonUp(nFlags, point);
}

LRESULT CImageButton::OnMouseHover(WPARAM, LPARAM) {
  SetState(kHover);
  return 0;
}

LRESULT CImageButton::OnMouseLeave(WPARAM, LPARAM) {
  m_bTracking = false;
  m_nState = kNormal;
  InvalidateButton();
  return 0;
}

void CImageButton::SetState(int state) {
  if (m_nState == state) return;
  m_nState = state;
  InvalidateButton();
}

void CImageButton::InvalidateButton() {
  RECT rc;
  GetWindowRect(&rc);
  ScreenToClient(&rc);
  InvalidateRect(&rc, FALSE);
}

// ---------------------------------------------------------------------------------------------
// CImageProgressCtrl

int ProgressFillWidth(int position, int lower, int upper, int width) {
  if (upper == lower) return 0;
  const float fill = static_cast<float>(position) *
                     (static_cast<float>(width) / static_cast<float>(upper - lower));
  // Truncation towards zero; values beyond any screen are held off integer overflow.
  return static_cast<int>(std::fmax(std::fmin(fill, 1e9f), -1e9f));
}

const MessageMap& CImageProgressCtrl::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CImageProgressCtrl>(
      {
          OnEraseBkgndMsg(&CImageProgressCtrl::OnEraseBkgnd),
          OnPaintMsg(&CImageProgressCtrl::OnPaint),
          OnNcPaintMsg(&CImageProgressCtrl::OnNcPaint),
      },
      &CProgressCtrl::GetThisMessageMap);
  return map;
}

void CImageProgressCtrl::SetImage(Gdiplus::Image* image) {
  m_pImage = image;
  if (m_pImage) {
    SetWindowPos(0, 0, 0, static_cast<int>(m_pImage->GetWidth()),
                 static_cast<int>(m_pImage->GetHeight()), SWP_NOMOVE | SWP_NOZORDER);
  }
}

BOOL CImageProgressCtrl::OnEraseBkgnd(CDC*) {
  return TRUE;
}

void CImageProgressCtrl::OnNcPaint() {}

void CImageProgressCtrl::OnPaint() {
  RECT rc;
  GetClientRect(&rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  CPaintDC dc(this);
  CDC memDC;
  memDC.CreateCompatibleDC(&dc);
  CBitmap bitmap;
  CBitmap* pOld = nullptr;
  if (bitmap.CreateCompatibleBitmap(&dc, w, h)) pOld = memDC.SelectObject(&bitmap);
  {
    Gdiplus::Graphics graphics(memDC);
    int lower = 0, upper = 0;
    GetRange(lower, upper);
    const int position = static_cast<int>(SendMessage(PBM_GETPOS, 0, 0));
    if (m_pImage) {
      const int ih = static_cast<int>(m_pImage->GetHeight());
      Gdiplus::SolidBrush black(Gdiplus::Color(0xFF000000));
      graphics.FillRectangle(&black, rc.left, rc.top, w, ih);
      // An empty range has no filled part: the bar stays black.
      if (upper != lower) {
        graphics.DrawImage(m_pImage, rc.left, rc.top, ProgressFillWidth(position, lower, upper, w),
                           ih);
      }
    }
    HDC hdc = graphics.GetHDC();
    dc.BitBlt(0, 0, w, h, CDC::FromHandle(hdc), 0, 0, SRCCOPY);
    graphics.ReleaseHDC(hdc);
  }
  memDC.SelectObject(pOld);
  memDC.DeleteDC();
  bitmap.DeleteObject();
}

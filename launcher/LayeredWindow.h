// The per-pixel-alpha window that lies over a dialog and shows the dialog's picture around a
// rectangular hole, so the picture's soft translucent edges show although the dialog itself
// is cut to a hard outline.
#pragma once

#include <array>

#include "platform/Afx.h"

// The hole, in window pixels: left, top, width, height.
struct HoleRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The four bands of a W x H picture drawn around the hole: top and bottom across the whole
// width, left and right between them, so no pixel is composited twice.
std::array<Gdiplus::Rect, 4> LayeredBands(int width, int height, const HoleRect& hole);

class CLayeredWindow : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  // Makes the hidden, owned, picture-sized window; `pRgn` (may be null) becomes its region.
  BOOL Create(CWnd* pParent, Gdiplus::Image* pImage, int x, int y, int width, int height,
              CRgn* pRgn);
  // Renders the picture around the hole and hands the pixels to the window system.
  void UpdateLayered();
  // Moves the top-left corner to (x, y), keeping the size, without repainting.
  void MoveWindowTo(int x, int y);
  // The dialog's WM_WINDOWPOSCHANGED and WM_SHOWWINDOW, after their default handling: the
  // window keeps its corner on the dialog's (a move with cy 0 or a negative cx is no place)
  // and is shown and hidden with it.
  void FollowWindowPos(const WINDOWPOS& pos);
  void FollowShowWindow(BOOL bShow);

 private:
  Gdiplus::Image* m_pImage = nullptr;  // not owned
  HoleRect m_rcHole;
  // The picture drawn around the hole at the window's size. Picture and hole are set once, so
  // it is drawn again only for a new size; the owner's every paint hands it over again.
  CBitmap m_bitmap;
};

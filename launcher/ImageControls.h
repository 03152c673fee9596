// Picture-drawn controls: a button showing one of four pictures by mouse state, and a
// progress bar whose filled part is one picture stretched to the filled width.
#pragma once

#include "platform/Afx.h"

class CImageButton : public CButton {
  DECLARE_MESSAGE_MAP()

 public:
  enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

  ~CImageButton() override;
  // Takes ownership of the pictures; sizes the button to the normal one. FALSE without it.
  BOOL SetImages(Gdiplus::Image* normal, Gdiplus::Image* hover, Gdiplus::Image* pressed);
  void DrawItem(LPDRAWITEMSTRUCT item) override;
  void PreSubclassWindow() override;
  int GetImageState() const { return m_nState; }

 protected:
  BOOL OnEraseBkgnd(CDC* pDC);
  void OnMouseMove(UINT nFlags, POINT point);
  void OnLButtonDown(UINT nFlags, POINT point);
  void OnLButtonUp(UINT nFlags, POINT point);
  LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam);
  LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);

 private:
  void SetState(int state);
  void InvalidateButton();

  bool m_bTracking = false;
  int m_nState = kNormal;
  Gdiplus::Image* m_pImages[4] = {};
};

// The filled width of a `width`-pixel bar at `position` in lower..upper, computed in single
// precision without subtracting the lower bound. An empty range fills nothing.
int ProgressFillWidth(int position, int lower, int upper, int width);

class CImageProgressCtrl : public CProgressCtrl {
  DECLARE_MESSAGE_MAP()

 public:
  // The bar picture (not owned); the control takes the picture's size.
  void SetImage(Gdiplus::Image* image);

 protected:
  BOOL OnEraseBkgnd(CDC* pDC);
  void OnPaint();
  void OnNcPaint();

 private:
  Gdiplus::Image* m_pImage = nullptr;
};

#include "WindowPlace.h"

#include "platform/Afx.h"

POINT PlaceOnPrimaryMonitor(int width, int height) {
  MONITORINFO info;
  GetMonitorInfo(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  const RECT& m = info.rcMonitor;
  return POINT{m.left + (m.right - m.left - width) / 2, m.top + (m.bottom - m.top - height) / 3};
}

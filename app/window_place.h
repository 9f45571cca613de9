// Where the main window goes when its given place would put part of it off
// the work area of its monitor (below the taskbar, say): moved, not
// resized, by the least distance that makes it fit; a window larger than
// the work area goes to the work area's top left.
#pragma once

namespace app {

struct ScreenRect {
  int left, top, right, bottom;  // right and bottom exclusive
};

struct ScreenPoint {
  int x, y;
};

constexpr int ShiftInto(int low, int high, int workLow, int workHigh) {
  int shift = 0;
  if (high > workHigh) shift = workHigh - high;
  if (low + shift < workLow) shift = workLow - low;
  return shift;
}

constexpr ScreenPoint PlaceInside(ScreenRect window, ScreenRect work) {
  return {window.left + ShiftInto(window.left, window.right, work.left, work.right),
          window.top + ShiftInto(window.top, window.bottom, work.top, work.bottom)};
}

}  // namespace app

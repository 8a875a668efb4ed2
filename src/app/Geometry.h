// Rectangles, points and sizes in pixels or dialog units, as the dialog
// templates and the drawing use them (right and bottom exclusive).
#pragma once

namespace toggra {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int cx = 0;
  int cy = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// A control's place in a dialog template: x, y, width, height in dialog units.
struct DlgRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  bool operator==(const DlgRect&) const = default;
};

}  // namespace toggra

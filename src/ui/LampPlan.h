// What a lamp button shows: pure decisions from the dialog's data, carried out
// by the front-end's painter.
#pragma once

#include <array>
#include <cstdint>

#include "app/Geometry.h"

namespace toggra {

class CToggraDlg;

enum class LampBrush { None, FirstRow, SecondRow, ThirdRow };

struct LampPlan {
  bool owned = false;  // false: not a lamp button, nothing is drawn
  LampBrush brush = LampBrush::None;
  double fraction = -1.0;  // -1: the whole lamp; else the elapsed share of a countdown
};

enum class LampShape { Nothing, Ellipse, Pie, Arrow };

LampPlan PlanLamp(const CToggraDlg& dlg, int controlId);
LampShape ShapeFor(int arrow, double fraction);
// Seven polygon points: an arrow up, or down for buttons 1003 and 1019.
std::array<Point, 7> ArrowPoints(const Rect& r, int controlId);
// The two radial points of the pie: the first at the fraction's angle from
// twelve o'clock clockwise, the second at twelve o'clock.
std::array<Point, 2> PieRadials(const Rect& r, double fraction);
// The brush colour as 0x00BBGGRR.
uint32_t BrushColour(const CToggraDlg& dlg, LampBrush brush);

}  // namespace toggra

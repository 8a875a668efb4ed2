#include "ui/LampPlan.h"

namespace toggra {

LampPlan PlanLamp(const CToggraDlg&, int) { return {}; }
LampShape ShapeFor(int, double) { return LampShape::Nothing; }
std::array<Point, 7> ArrowPoints(const Rect&, int) { return {}; }
std::array<Point, 2> PieRadials(const Rect&, double) { return {}; }
uint32_t BrushColour(const CToggraDlg&, LampBrush) { return 0; }

}  // namespace toggra

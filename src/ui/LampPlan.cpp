// The lamp decisions of the owner-drawn buttons: which brush, how much of the
// lamp, which shape and where its points lie.
#include "ui/LampPlan.h"

#include <cmath>

#include "app/ToggraDlg.h"

namespace toggra {

namespace {

// Below this share of a running countdown nothing at all is drawn, so a
// countdown that has just started leaves the button blank for a moment.
constexpr double kPieThreshold = 0.005;
constexpr double kFullCircle = 6.283185307;

constexpr uint32_t kRgbRed = 0x0000FF;  // colour values hold red in the low byte
constexpr uint32_t kRgbGreen = 0x00FF00;
constexpr uint32_t kRgbYellow = 0x00FFFF;
constexpr uint32_t kColourMask = 0xFFFFFF;

LampPlan Whole(LampBrush brush) { return {true, brush, -1.0}; }
LampPlan Unlit() { return {true, LampBrush::None, -1.0}; }

// The elapsed share of a countdown of e seconds with d ticks left. A zero
// duration would divide by zero; its limit is -infinity, i.e. the whole lamp.
double Elapsed(int e, int d) {
  if (e == 0) return -1.0;
  return (e - d / 10.0) / e;
}

LampPlan Running(LampBrush brush, int e, int d) { return {true, brush, Elapsed(e, d)}; }

LampPlan FirstRow(const CToggraDlg& dlg, int i) {
  const SwitchRecord& r = dlg.m_records[i];
  const bool off = r.m_inverted ? r.m_state == kStateOn : r.m_state == kStateOff;
  if (dlg.m_oneLine) return Whole(off ? LampBrush::FirstRow : LampBrush::SecondRow);
  if (dlg.m_groupMode) return r.m_state != kStateOff ? Whole(LampBrush::FirstRow) : Unlit();
  if (off) return Whole(LampBrush::FirstRow);
  // A traffic light's red is reached by the yellow phase; a plain switch's off
  // by the timed switch-on.
  const int d = dlg.m_trafficLight ? r.m_countdown2 : r.m_countdown;
  const int e = dlg.m_trafficLight ? r.m_timer2 : r.m_timer;
  return d > 0 ? Running(LampBrush::FirstRow, e, d) : Unlit();
}

LampPlan SecondRow(const CToggraDlg& dlg, int j) {
  if (dlg.m_groupMode) {
    const int shown = j + kGroupSecondRowOffset;
    // Buttons 12..15 of the second row have no channel to show in this layout.
    if (shown >= kMaxColumns) return Unlit();
    return dlg.m_records[shown].m_state != kStateOff ? Whole(LampBrush::SecondRow) : Unlit();
  }
  const SwitchRecord& r = dlg.m_records[j];
  const bool on = r.m_inverted ? r.m_state == kStateOff : r.m_state == kStateOn;
  if (on) return Whole(LampBrush::SecondRow);
  // Green follows the dark lead-in, whose length is what the total leaves over.
  const int d = r.m_countdownT;
  if (d <= 0) return Unlit();
  return Running(LampBrush::SecondRow, r.m_timerT - r.m_timer2 - r.m_timer, d);
}

LampPlan ThirdRow(const CToggraDlg& dlg, int k) {
  const SwitchRecord& r = dlg.m_records[k];
  if (r.m_state == kStateYellow) return Whole(LampBrush::ThirdRow);
  return r.m_countdown > 0 ? Running(LampBrush::ThirdRow, r.m_timer, r.m_countdown) : Unlit();
}

bool InRow(int controlId, int base) { return controlId >= base && controlId < base + kMaxColumns; }

}  // namespace

LampPlan PlanLamp(const CToggraDlg& dlg, int controlId) {
  if (InRow(controlId, kIdUpperButton)) return FirstRow(dlg, controlId - kIdUpperButton);
  if (InRow(controlId, kIdLowerButton)) return SecondRow(dlg, controlId - kIdLowerButton);
  if (InRow(controlId, kIdThirdButton)) return ThirdRow(dlg, controlId - kIdThirdButton);
  return {};
}

LampShape ShapeFor(int arrow, double fraction) {
  if (arrow) return LampShape::Arrow;
  if (fraction > kPieThreshold) return LampShape::Pie;
  if (fraction < 0) return LampShape::Ellipse;
  return LampShape::Nothing;
}

std::array<Point, 7> ArrowPoints(const Rect& r, int controlId) {
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const int cx = static_cast<int>((r.left + r.right) * 0.5);
  const int cy = static_cast<int>((r.top + r.bottom) * 0.5);
  // Channel 1's two buttons point down; every other button points up.
  const bool down = controlId == kIdUpperButton + 1 || controlId == kIdLowerButton + 1;
  const int half = down ? -(h / 2) : h / 2;
  return {{{cx - w / 4, cy + half},
           {cx - w / 4, cy},
           {cx - w / 2, cy},
           {cx, cy - half},
           {cx + w / 2, cy},
           {cx + w / 4, cy},
           {cx + w / 4, cy + half}}};
}

std::array<Point, 2> PieRadials(const Rect& r, double fraction) {
  const double a = fraction * kFullCircle;
  const int x0 = (r.left + r.right) / 2;
  const int y0 = (r.top + r.bottom) / 2;
  const Point first{x0 + static_cast<int>(std::sin(a) * (r.right - r.left)),
                    y0 - static_cast<int>(std::cos(a) * (r.bottom - r.top))};
  return {{first, {x0, r.top}}};
}

uint32_t BrushColour(const CToggraDlg& dlg, LampBrush brush) {
  switch (brush) {
    case LampBrush::FirstRow:
      return dlg.m_groupMode ? static_cast<uint32_t>(dlg.m_colour2) & kColourMask : kRgbRed;
    case LampBrush::SecondRow:
      return dlg.m_groupMode ? static_cast<uint32_t>(dlg.m_colour1) & kColourMask : kRgbGreen;
    case LampBrush::ThirdRow:
      return kRgbYellow;
    case LampBrush::None:
      break;
  }
  return 0;
}

}  // namespace toggra

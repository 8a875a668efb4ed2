#include "gui/LampButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

#include "app/ToggraDlg.h"
#include "gui/LampIcons.h"
#include "ui/LampPlan.h"

namespace toggra::gui {

namespace {

constexpr qreal kPenWidth = 1.0;
constexpr double kDegreesPerRadian = 57.29577951308232;

// The angle of a radial point as Qt counts it for an ellipse: counter-clockwise
// from three o'clock, on the circle the ellipse is stretched from. The pie's
// radial points are spread by the box's width and height, so this recovers
// exactly the angle the lamp decision asked for.
double EllipseAngle(const Point& p, const QPointF& centre, qreal rx, qreal ry) {
  return std::atan2(-(p.y - centre.y()) / ry, (p.x - centre.x()) / rx) * kDegreesPerRadian;
}

// The wedge of a countdown: from twelve o'clock clockwise through the share
// the lamp decision asked for.
QPainterPath Wedge(const QRectF& box, const Rect& item, double fraction) {
  const std::array<Point, 2> radials = PieRadials(item, fraction);
  const QPointF centre((item.left + item.right) / 2.0, (item.top + item.bottom) / 2.0);
  const qreal rx = item.Width() / 2.0, ry = item.Height() / 2.0;
  const double start = EllipseAngle(radials[0], centre, rx, ry);
  // The arc runs counter-clockwise from the first radial to the second (twelve
  // o'clock), which fills the wedge clockwise from twelve o'clock.
  double span = EllipseAngle(radials[1], centre, rx, ry) - start;
  while (span <= 0) span += 360.0;
  QPainterPath wedge;
  wedge.moveTo(box.center());
  wedge.arcTo(box, start, span);
  wedge.closeSubpath();
  return wedge;
}

void DrawArrow(QPainter& painter, const QRectF& box, const Rect& item, int controlId) {
  // The points lie on the item's edges; scale them into the box so that the
  // outline stays whole.
  const qreal sx = box.width() / item.Width(), sy = box.height() / item.Height();
  QPolygonF polygon;
  for (const Point& p : ArrowPoints(item, controlId))
    polygon << QPointF(box.left() + p.x * sx, box.top() + p.y * sy);
  painter.drawPolygon(polygon);
}

}  // namespace

QColor FromColourRef(uint32_t colourRef) {
  return QColor(colourRef & 0xFF, (colourRef >> 8) & 0xFF, (colourRef >> 16) & 0xFF);
}

void PaintLamp(QPainter& painter, const CToggraDlg& dlg, int controlId, const QSize& size) {
  if (size.width() <= 0 || size.height() <= 0) return;
  const LampPlan plan = PlanLamp(dlg, controlId);
  if (!plan.owned) return;
  const LampShape shape = ShapeFor(dlg.m_arrow, plan.fraction);
  const QColor lit = plan.brush == LampBrush::None ? kLampUnlitFill
                                                   : FromColourRef(BrushColour(dlg, plan.brush));
  const QRectF box(0, 0, size.width(), size.height());
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const LampColours unlit = LampColoursForFace(kLampUnlitFill);
  switch (shape) {
    case LampShape::Ellipse:
      PaintLampLook(painter, box, LampColoursForFace(lit), ratio);
      break;
    case LampShape::Pie:
      // The wedge lights part of the lamp; the rest of it stays to be seen
      // unlit, so that the wedge sits inside its lamp.
      PaintLampLook(painter, box, unlit, ratio);
      PaintLampLook(painter, box, LampColoursForFace(lit), ratio,
                    Wedge(box, {0, 0, size.width(), size.height()}, plan.fraction));
      break;
    case LampShape::Nothing:
      // A countdown too young to show its wedge: the lamp itself stays.
      PaintLampLook(painter, box, unlit, ratio);
      break;
    case LampShape::Arrow: {
      painter.save();
      painter.setRenderHint(QPainter::Antialiasing);
      painter.setPen(QPen(kLampOutline, kPenWidth));
      painter.setBrush(lit);
      // The outline is stroked on the path's middle; inset by half the pen so
      // that it lies inside the button.
      const qreal inset = kPenWidth / 2;
      DrawArrow(painter, box.adjusted(inset, inset, -inset, -inset),
                {0, 0, size.width(), size.height()}, controlId);
      painter.restore();
      break;
    }
  }
}

CLampButton::CLampButton(int controlId, QWidget* parent)
    : QAbstractButton(parent), m_controlId(controlId) {
  // A tab stop that also takes the focus on a click, as a dialog button does.
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QAbstractButton::pressed, this,
          [this] { emit selectionChanged(m_controlId, hasFocus(), true); });
  connect(this, &QAbstractButton::released, this,
          [this] { emit selectionChanged(m_controlId, hasFocus(), false); });
}

void CLampButton::SetDialog(const CToggraDlg* dlg) {
  m_dlg = dlg;
  update();
}

bool CLampButton::CutOff() const {
  const QWidget* window = parentWidget();
  return window && !window->rect().contains(geometry());
}

bool CLampButton::hitButton(const QPoint& pos) const {
  return !CutOff() && QAbstractButton::hitButton(pos);
}

void CLampButton::paintEvent(QPaintEvent*) {
  if (!m_dlg || CutOff()) return;
  QPainter painter(this);
  PaintLamp(painter, *m_dlg, m_controlId, size());
}

}  // namespace toggra::gui

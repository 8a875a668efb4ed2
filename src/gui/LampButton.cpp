#include "gui/LampButton.h"

#include <QPainter>
#include <QPolygonF>
#include <cmath>

#include "app/ToggraDlg.h"
#include "ui/LampPlan.h"

namespace toggra::gui {

namespace {

constexpr qreal kPenWidth = 1.0;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr int kQtAngleUnitsPerDegree = 16;

// The angle of a radial point as Qt counts it for an ellipse: counter-clockwise
// from three o'clock, on the circle the ellipse is stretched from. The pie's
// radial points are spread by the box's width and height, so this recovers
// exactly the angle the lamp decision asked for.
double EllipseAngle(const Point& p, const QPointF& centre, qreal rx, qreal ry) {
  return std::atan2(-(p.y - centre.y()) / ry, (p.x - centre.x()) / rx) * kDegreesPerRadian;
}

void DrawPie(QPainter& painter, const QRectF& box, const Rect& item, double fraction) {
  const std::array<Point, 2> radials = PieRadials(item, fraction);
  const QPointF centre((item.left + item.right) / 2.0, (item.top + item.bottom) / 2.0);
  const qreal rx = item.Width() / 2.0, ry = item.Height() / 2.0;
  const double start = EllipseAngle(radials[0], centre, rx, ry);
  // The pie runs counter-clockwise from the first radial to the second (twelve
  // o'clock), which fills the wedge clockwise from twelve o'clock.
  double span = EllipseAngle(radials[1], centre, rx, ry) - start;
  while (span <= 0) span += 360.0;
  painter.drawPie(box, static_cast<int>(std::lround(start * kQtAngleUnitsPerDegree)),
                  static_cast<int>(std::lround(span * kQtAngleUnitsPerDegree)));
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
  if (shape == LampShape::Nothing) return;

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kLampOutline, kPenWidth));
  painter.setBrush(plan.brush == LampBrush::None ? kLampUnlitFill
                                                 : FromColourRef(BrushColour(dlg, plan.brush)));
  const Rect item{0, 0, size.width(), size.height()};
  // The outline is stroked on the path's middle; inset by half the pen so that
  // it lies inside the button, as the item rectangle's lamp does.
  const qreal inset = kPenWidth / 2;
  const QRectF box = QRectF(0, 0, size.width(), size.height()).adjusted(inset, inset, -inset, -inset);
  switch (shape) {
    case LampShape::Ellipse:
      painter.drawEllipse(box);
      break;
    case LampShape::Pie:
      DrawPie(painter, box, item, plan.fraction);
      break;
    case LampShape::Arrow:
      DrawArrow(painter, box, item, controlId);
      break;
    case LampShape::Nothing:
      break;
  }
  painter.restore();
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

void CLampButton::paintEvent(QPaintEvent*) {
  if (!m_dlg) return;
  QPainter painter(this);
  PaintLamp(painter, *m_dlg, m_controlId, size());
}

}  // namespace toggra::gui

#include "gui/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <algorithm>

namespace toggra::gui {

namespace {
constexpr int kWhole = 1000;
// MulDiv: a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics fm(font);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  m_baseX = (fm.horizontalAdvance(letters) / 26 + 1) / 2;
  m_baseY = fm.height();
  if (m_baseX <= 0) m_baseX = 6;
  if (m_baseY <= 0) m_baseY = 13;
  m_xNum = m_baseX;
  m_yNum = m_baseY;
}

int DialogUnits::X(int dlgX) const { return MulDiv(dlgX, m_xNum, m_xDen); }
int DialogUnits::Y(int dlgY) const { return MulDiv(dlgY, m_yNum, m_yDen); }

DialogUnits DialogUnits::FittedTo(int columns, int columnWidth, int available) const {
  const int natural = X(columnWidth);
  if (columns <= 0 || columnWidth <= 0 || available <= 0 || columns * natural <= available)
    return *this;
  const int least = (natural * kMinScalePermille + kWhole - 1) / kWhole;
  const int width = std::max(least, available / columns);
  DialogUnits fitted = *this;
  fitted.m_xNum = width;
  fitted.m_xDen = columnWidth;
  fitted.m_yNum = m_yNum * width;
  fitted.m_yDen = m_yDen * natural;
  return fitted;
}

Rect DialogUnits::Map(const DlgRect& r) const {
  return {X(r.x), Y(r.y), X(r.x + r.cx), Y(r.y + r.cy)};
}

QFont DialogUnits::DialogFont() {
  QFont f = QApplication::font();
  return f;
}

}  // namespace toggra::gui

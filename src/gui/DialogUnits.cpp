#include "gui/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>

namespace toggra::gui {

namespace {
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
}

int DialogUnits::X(int dlgX) const { return MulDiv(dlgX, m_baseX, 4); }
int DialogUnits::Y(int dlgY) const { return MulDiv(dlgY, m_baseY, 8); }

Rect DialogUnits::Map(const DlgRect& r) const {
  return {X(r.x), Y(r.y), X(r.x + r.cx), Y(r.y + r.cy)};
}

QFont DialogUnits::DialogFont() {
  QFont f = QApplication::font();
  return f;
}

}  // namespace toggra::gui

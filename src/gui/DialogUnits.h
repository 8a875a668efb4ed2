// Dialog units to pixels, the way Windows converts them: the average width of
// the letters A-Z a-z of the dialog font and the font's height are the base
// units; x pixels = x * baseX / 4, y pixels = y * baseY / 8, rounded.
#pragma once

#include <QFont>

#include "app/Geometry.h"

namespace toggra::gui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

  int X(int dlgX) const;
  int Y(int dlgY) const;
  Rect Map(const DlgRect& r) const;  // to pixels: left, top, right, bottom

  int BaseX() const { return m_baseX; }
  int BaseY() const { return m_baseY; }

  // The font all dialogs use: the desktop's default font.
  static QFont DialogFont();

 private:
  int m_baseX = 6;
  int m_baseY = 13;
};

}  // namespace toggra::gui

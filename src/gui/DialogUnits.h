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
  DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY), m_xNum(baseX), m_yNum(baseY) {}

  int X(int dlgX) const;
  int Y(int dlgY) const;
  Rect Map(const DlgRect& r) const;  // to pixels: left, top, right, bottom

  int BaseX() const { return m_baseX; }
  int BaseY() const { return m_baseY; }
  // Units under which `columns` columns `columnWidth` dialog units wide fit
  // into `available` pixels: these when they fit, else these shrunk in both
  // directions by one factor, so that lamps and buttons keep their shape,
  // never below kMinScalePermille, under which the texts in the buttons no
  // longer fit.
  DialogUnits FittedTo(int columns, int columnWidth, int available) const;
  static constexpr int kMinScalePermille = 700;

  // The font all dialogs use: the desktop's default font.
  static QFont DialogFont();

 private:
  int m_baseX = 6;
  int m_baseY = 13;
  // Pixels = dialog units * num / den; fitted units map the column width to
  // a whole number of pixels, so that every column is equally wide.
  int m_xNum = m_baseX, m_xDen = 4;
  int m_yNum = m_baseY, m_yDen = 8;
};

}  // namespace toggra::gui

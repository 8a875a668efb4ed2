// An owner-drawn lamp button of the main window: it shows what the lamp
// decisions of the core say and reports its clicks and its press and release.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <cstdint>

namespace toggra {
class CToggraDlg;
}

class QPainter;

namespace toggra::gui {

// The face of an unlit lamp, and the outline of the arrows.
inline const QColor kLampUnlitFill{0xD4, 0xD4, 0xD4};
inline const QColor kLampOutline{0x40, 0x40, 0x40};

// A colour value 0x00BBGGRR as a QColor.
QColor FromColourRef(uint32_t colourRef);

// Paints lamp `controlId` of `dlg` into a button of `size` (device-independent
// pixels, origin at the top left) with the lamp look of the tray icons. A
// countdown's wedge is lit inside the unlit lamp. Paints nothing for a control
// that is not a lamp.
void PaintLamp(QPainter& painter, const CToggraDlg& dlg, int controlId, const QSize& size);

class CLampButton : public QAbstractButton {
  Q_OBJECT

 public:
  CLampButton(int controlId, QWidget* parent);

  int ControlId() const { return m_controlId; }
  // The dialog whose state the lamp shows; null paints nothing.
  void SetDialog(const CToggraDlg* dlg);
  // Whether the window's edge cuts the button, as the rows a layout leaves
  // below the window's bottom: such a lamp is neither drawn nor clickable, as
  // a sliver of it would only look like a stray mark.
  bool CutOff() const;

 signals:
  // Every change of the pushed state, with whether the button had the focus:
  // what the push-button display acts on.
  void selectionChanged(int controlId, bool hasFocus, bool selected);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  int m_controlId;
  const CToggraDlg* m_dlg = nullptr;
};

}  // namespace toggra::gui

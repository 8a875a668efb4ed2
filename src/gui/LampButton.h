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

// An unlit lamp: a neutral fill inside the thin dark outline all lamps have.
inline const QColor kLampUnlitFill{0xD4, 0xD4, 0xD4};
inline const QColor kLampOutline{0x40, 0x40, 0x40};

// A colour value 0x00BBGGRR as a QColor.
QColor FromColourRef(uint32_t colourRef);

// Paints lamp `controlId` of `dlg` into a button of `size` (device-independent
// pixels, origin at the top left). Paints nothing for a control that is not a
// lamp and while a countdown's share is too small to show.
void PaintLamp(QPainter& painter, const CToggraDlg& dlg, int controlId, const QSize& size);

class CLampButton : public QAbstractButton {
  Q_OBJECT

 public:
  CLampButton(int controlId, QWidget* parent);

  int ControlId() const { return m_controlId; }
  // The dialog whose state the lamp shows; null paints nothing.
  void SetDialog(const CToggraDlg* dlg);

 signals:
  // Every change of the pushed state, with whether the button had the focus:
  // what the push-button display acts on.
  void selectionChanged(int controlId, bool hasFocus, bool selected);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_controlId;
  const CToggraDlg* m_dlg = nullptr;
};

}  // namespace toggra::gui

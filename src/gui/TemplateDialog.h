// A modal dialog laid out from a dialog template: every control sits at its
// dialog-unit rectangle converted with the dialog font's metrics, and the tab
// order is the order in which the controls are added.
#pragma once

#include <QDialog>
#include <QString>
#include <map>

#include "app/Geometry.h"
#include "gui/DialogUnits.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace toggra::gui {

// The object name under which a template control with an id can be found.
QString ControlName(int id);

class CTemplateDialog : public QDialog {
 public:
  // A fixed-size dialog whose client area is cx x cy dialog units.
  CTemplateDialog(const QString& title, int cx, int cy, QWidget* parent = nullptr);

  // The control with this id, or null (controls without an id are not kept).
  QWidget* Control(int id) const;
  const DialogUnits& Units() const { return m_units; }

 protected:
  // Buttons 1 (OK) and 2 (Abbrechen) accept and reject the dialog.
  QPushButton* AddButton(int id, const QString& text, const DlgRect& r, bool isDefault);
  QLabel* AddLabel(int id, const QString& text, const DlgRect& r, Qt::Alignment align);
  QLineEdit* AddEdit(int id, const DlgRect& r);
  QCheckBox* AddCheckBox(int id, const QString& text, const DlgRect& r);
  QGroupBox* AddGroupBox(int id, const QString& text, const DlgRect& r);
  void Place(QWidget* w, int id, const DlgRect& r);
  void WidenToText(QWidget* w);

 private:
  DialogUnits m_units;
  std::map<int, QWidget*> m_controls;
};

}  // namespace toggra::gui

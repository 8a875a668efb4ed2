// "Fehler" at start-up when no device was found (template 149): OK starts
// the simulation, Abbrechen or the close box ends the program.
#pragma once

#include "app/ErrorDialogs.h"
#include "gui/TemplateDialog.h"

class QCheckBox;

namespace toggra::gui {

class CStartErrorDialog : public CTemplateDialog {
 public:
  explicit CStartErrorDialog(CStartError& dlg, QWidget* parent = nullptr);

  // The check box is written back however the dialog closes: the caller
  // stores it after OK and after Abbrechen alike.
  void done(int result) override;

 private:
  CStartError& m_dlg;
  QCheckBox* m_dontShow = nullptr;
};

}  // namespace toggra::gui

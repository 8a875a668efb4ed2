// "Fehler" when a switch does not answer (template 150): OK ends the program,
// Abbrechen leaves everything as it was. It stays in front of every window.
#pragma once

#include "app/ErrorDialogs.h"
#include "gui/TemplateDialog.h"

namespace toggra::gui {

class CDeviceErrorDialog : public CTemplateDialog {
 public:
  explicit CDeviceErrorDialog(CDeviceError& dlg, QWidget* parent = nullptr);
};

}  // namespace toggra::gui

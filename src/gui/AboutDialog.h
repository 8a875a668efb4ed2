// "Info über Toggra" (template 100): the version and the three display
// options. OK reads the boxes back; Esc and the close box keep the values
// the caller preset.
#pragma once

#include "gui/TemplateDialog.h"
#include "ui/AboutDlg.h"

class QCheckBox;

namespace toggra::gui {

class CAboutDialog : public CTemplateDialog {
 public:
  explicit CAboutDialog(CAboutDlg& dlg, QWidget* parent = nullptr);
  void accept() override;

 private:
  CAboutDlg& m_dlg;
  QCheckBox* m_oneLine = nullptr;
  QCheckBox* m_pushButton = nullptr;
  QCheckBox* m_arrow = nullptr;
};

}  // namespace toggra::gui

// The duration dialog "Dauer" (template 148): the durations of one column,
// and for a traffic light the total time, protocol file and candidate.
#pragma once

#include <array>

#include "gui/TemplateDialog.h"
#include "trafficlight/TimerDlg.h"

class QLineEdit;

namespace toggra::gui {

class CTimerDialog : public CTemplateDialog {
 public:
  explicit CTimerDialog(CToggraTimerDlg& dlg, QWidget* parent = nullptr);

  // OK: the data exchange. A field that does not pass shows its message,
  // gets the focus with its text selected, and the dialog stays open; the
  // caller's object changes only when every field passes.
  void accept() override;

 private:
  QLineEdit* Edit(int id) const;

  CToggraTimerDlg& m_dlg;
};

}  // namespace toggra::gui

// "Log" (template 154): the collected log lines in an editable text field.
// What is typed there goes back into the object on OK and nowhere else.
#pragma once

#include "gui/TemplateDialog.h"
#include "ui/AboutDlg.h"

class QPlainTextEdit;

namespace toggra::gui {

// The log's CR LF line ends as the text field shows them, and back.
QString LogTextForDisplay(const std::string& text);
std::string LogTextFromDisplay(const QString& text);

class CLogDialog : public CTemplateDialog {
 public:
  explicit CLogDialog(CLogDlg& dlg, QWidget* parent = nullptr);
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  CLogDlg& m_dlg;
  QPlainTextEdit* m_edit = nullptr;
};

}  // namespace toggra::gui

// The core's modal dialogs and message boxes as real Qt dialogs.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/Prompts.h"

namespace toggra::gui {

class CQtPrompts : public IPrompts {
 public:
  // The main window owns the boxes that the core shows "on the main window".
  void SetMainWindow(QWidget* window) { m_mainWindow = window; }

  int RunStartError(CStartError& dlg) override;
  int RunDeviceError(CDeviceError& dlg) override;
  int RunTimerDlg(CToggraTimerDlg& dlg) override;
  int RunAboutDlg(CAboutDlg& dlg) override;
  int RunLogDlg(CLogDlg& dlg) override;
  int MessageBox(const std::string& text, const std::string& caption,
                 bool ownedByMainWindow) override;

 private:
  QPointer<QWidget> m_mainWindow;
};

}  // namespace toggra::gui

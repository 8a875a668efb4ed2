// Every modal dialog and message box the core opens goes through this one
// interface; the Qt front-end shows real dialogs, tests script the answers.
#pragma once

#include <string>

namespace toggra {

class CStartError;
class CDeviceError;
class CToggraTimerDlg;
class CAboutDlg;
class CLogDlg;

class IPrompts {
 public:
  virtual ~IPrompts() = default;
  // Each Run* shows the dialog modally with the values of its object, writes
  // back what the dialog exchanges, and returns IDOK, IDCANCEL, or -1 when the
  // dialog could not be shown.
  virtual int RunStartError(CStartError& dlg) = 0;
  virtual int RunDeviceError(CDeviceError& dlg) = 0;
  virtual int RunTimerDlg(CToggraTimerDlg& dlg) = 0;
  virtual int RunAboutDlg(CAboutDlg& dlg) = 0;
  virtual int RunLogDlg(CLogDlg& dlg) = 0;
  // A modal message box with an OK button. ownedByMainWindow is false for the
  // few boxes that have no owner ("Registry open error").
  virtual int MessageBox(const std::string& text, const std::string& caption,
                         bool ownedByMainWindow) = 0;
};

}  // namespace toggra

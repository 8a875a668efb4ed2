#include "gui/QtPrompts.h"

#include <QMessageBox>
#include <QPointer>

#include "app/Ids.h"
#include "gui/AboutDialog.h"
#include "gui/DeviceErrorDialog.h"
#include "gui/LogDialog.h"
#include "gui/StartErrorDialog.h"
#include "gui/TimerDialog.h"

namespace toggra::gui {

namespace {

int Result(int dialogCode) { return dialogCode == QDialog::Accepted ? IDOK : IDCANCEL; }

}  // namespace

// The core's dialogs have no parent; each lives for one modal run.
int CQtPrompts::RunStartError(CStartError& dlg) {
  CStartErrorDialog d(dlg);
  return Result(d.exec());
}

int CQtPrompts::RunDeviceError(CDeviceError& dlg) {
  CDeviceErrorDialog d(dlg);
  return Result(d.exec());
}

int CQtPrompts::RunTimerDlg(CToggraTimerDlg& dlg) {
  CTimerDialog d(dlg);
  return Result(d.exec());
}

int CQtPrompts::RunAboutDlg(CAboutDlg& dlg) {
  CAboutDialog d(dlg);
  return Result(d.exec());
}

int CQtPrompts::RunLogDlg(CLogDlg& dlg) {
  CLogDialog d(dlg);
  return Result(d.exec());
}

int CQtPrompts::MessageBox(const std::string& text, const std::string& caption,
                           bool ownedByMainWindow) {
  QWidget* owner = ownedByMainWindow ? m_mainWindow.data() : nullptr;
  // On the heap: should the owner go away during the box's modal loop, it
  // takes the box with it, and the guard sees that.
  QPointer<QMessageBox> box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(caption),
                                              QString::fromStdString(text), QMessageBox::Ok, owner);
  box->setAttribute(Qt::WA_QuitOnClose, false);
  box->exec();
  delete box.data();
  return IDOK;
}

}  // namespace toggra::gui

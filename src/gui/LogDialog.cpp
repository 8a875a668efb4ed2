#include "gui/LogDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include "app/Ids.h"

namespace toggra::gui {

QString LogTextForDisplay(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

std::string LogTextFromDisplay(const QString& text) {
  QString s = text;
  s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return s.toStdString();
}

CLogDialog::CLogDialog(CLogDlg& dlg, QWidget* parent)
    : CTemplateDialog(QStringLiteral("Log"), 310, 177, parent), m_dlg(dlg) {
  AddButton(IDOK, QStringLiteral("OK"), {246, 156, 50, 14}, true);
  m_edit = new QPlainTextEdit(this);
  Place(m_edit, kIdLogEdit, {18, 12, 270, 132});
  m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Tab moves on to the OK button, as in any other dialog field.
  m_edit->setTabChangesFocus(true);
  m_edit->setPlainText(LogTextForDisplay(dlg.m_text));
}

void CLogDialog::accept() {
  m_dlg.m_text = LogTextFromDisplay(m_edit->toPlainText());
  CTemplateDialog::accept();
}

void CLogDialog::showEvent(QShowEvent* event) {
  CTemplateDialog::showEvent(event);
  raise();
  activateWindow();
}

}  // namespace toggra::gui

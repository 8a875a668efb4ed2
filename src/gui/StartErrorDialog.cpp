#include "gui/StartErrorDialog.h"

#include <QCheckBox>
#include <QPushButton>

#include "app/Ids.h"

namespace toggra::gui {

CStartErrorDialog::CStartErrorDialog(CStartError& dlg, QWidget* parent)
    : CTemplateDialog(QString::fromUtf8(kStrError), 148, 89, parent), m_dlg(dlg) {
  AddButton(IDOK, QStringLiteral("OK"), {12, 40, 50, 14}, true);
  AddButton(IDCANCEL, QStringLiteral("Abbrechen"), {72, 40, 50, 14}, false);
  AddLabel(0, QStringLiteral("Es wurde kein USB-Gerät gefunden."), {6, 10, 139, 8},
           Qt::AlignHCenter);
  AddLabel(0, QStringLiteral("Simulation wird gestartet ..."), {6, 24, 139, 8},
           Qt::AlignHCenter);
  m_dontShow = AddCheckBox(kIdCheckDontShow, QStringLiteral("Diese Meldung nicht mehr zeigen"),
                           {6, 66, 120, 10});
  m_dontShow->setChecked(m_dlg.m_dontShowAgain != 0);
}

void CStartErrorDialog::done(int result) {
  m_dlg.m_dontShowAgain = m_dontShow->isChecked() ? 1 : 0;
  CTemplateDialog::done(result);
}

}  // namespace toggra::gui

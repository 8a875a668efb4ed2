#include "gui/AboutDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/Ids.h"
#include "gui/LampIcons.h"

namespace toggra::gui {

namespace {
// A static icon control ignores its template size and takes the size of a
// standard large icon.
constexpr int kStaticIconSize = 32;
constexpr const char* kOptionsWhenText =
    "Diese Optionen gelten ab dem nächsten Start ohne Argumente.";
}  // namespace

CAboutDialog::CAboutDialog(CAboutDlg& dlg, QWidget* parent)
    : CTemplateDialog(QStringLiteral("Info über Toggra"), 235, 91, parent), m_dlg(dlg) {
  auto* icon = new QLabel(this);
  icon->setPixmap(LampIcon(kIconGreen).pixmap(kStaticIconSize, kStaticIconSize));
  icon->setObjectName(QStringLiteral("icon"));
  icon->setGeometry(Units().X(11), Units().Y(17), kStaticIconSize, kStaticIconSize);
  AddLabel(0, QString::fromUtf8(kVersionText), {40, 10, 119, 8}, Qt::AlignLeft);
  AddButton(IDOK, QStringLiteral("OK"), {178, 7, 50, 14}, true);
  // The boxes change nothing of the running window's layout; say so where
  // they are set. The note takes the free room between version and boxes.
  QLabel* when = AddLabel(0, QString::fromUtf8(kOptionsWhenText), {40, 24, 188, 18},
                          Qt::AlignLeft);
  when->setWordWrap(true);
  m_oneLine = AddCheckBox(kIdCheckOneLine, QStringLiteral("Einzeilige Darstellung"),
                          {40, 45, 130, 10});
  m_pushButton = AddCheckBox(kIdCheckPushButton, QStringLiteral("Taster"), {40, 60, 130, 10});
  m_arrow = AddCheckBox(kIdCheckArrow, QStringLiteral("Pfeildarstellung"), {40, 75, 130, 10});
  m_oneLine->setChecked(dlg.m_checkOneLine != 0);
  m_pushButton->setChecked(dlg.m_checkPushButton != 0);
  m_arrow->setChecked(dlg.m_checkArrow != 0);
}

void CAboutDialog::accept() {
  m_dlg.m_checkOneLine = m_oneLine->isChecked() ? 1 : 0;
  m_dlg.m_checkPushButton = m_pushButton->isChecked() ? 1 : 0;
  m_dlg.m_checkArrow = m_arrow->isChecked() ? 1 : 0;
  CTemplateDialog::accept();
}

}  // namespace toggra::gui

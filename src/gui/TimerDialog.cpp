#include "gui/TimerDialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/Ids.h"

namespace toggra::gui {

namespace {

QString Number(int value) { return QString::number(value); }

// Template rows, dialog units.
constexpr int kTemplateHeight = 167;
constexpr int kButtonsTop = 144;
// The buttons stand this far below the last row a traffic light fills (the
// candidate's field ends at 132).
constexpr int kButtonsGap = 12;
// The bottom of the first duration row, all that a plain switch shows.
constexpr int kFirstRowBottom = 30;
// A plain switch hides the rows between: its buttons move up by their height
// and the dialog shrinks by as much, so no empty band is left.
constexpr int kPlainLift = kButtonsTop - (kFirstRowBottom + kButtonsGap);

int Lift(const CToggraTimerDlg& dlg) { return dlg.m_trafficLightMode ? 0 : kPlainLift; }

}  // namespace

CTimerDialog::CTimerDialog(CToggraTimerDlg& dlg, QWidget* parent)
    : CTemplateDialog(QStringLiteral("Dauer"), 191, kTemplateHeight - Lift(dlg), parent),
      m_dlg(dlg) {
  const Qt::Alignment left = Qt::AlignLeft;
  // In template order, which is also the tab order: OK is the first tab stop
  // and so has the focus when the dialog opens.
  const int buttonsTop = kButtonsTop - Lift(dlg);
  QPushButton* ok = AddButton(IDOK, QStringLiteral("OK"), {36, buttonsTop, 50, 14}, true);
  AddButton(IDCANCEL, QStringLiteral("Abbrechen"), {98, buttonsTop, 50, 14}, false);
  AddEdit(kIdHours, {12, 18, 18, 12});
  AddLabel(0, QStringLiteral("Stunden"), {34, 20, 31, 10}, left);
  AddEdit(kIdMinutes, {68, 18, 18, 12});
  AddLabel(0, QStringLiteral("Minuten"), {90, 20, 29, 10}, left);
  AddEdit(kIdSeconds, {122, 18, 18, 12});
  AddLabel(0, QStringLiteral("Sekunden"), {144, 20, 35, 10}, left);
  AddEdit(kIdHours2, {12, 49, 18, 12});
  AddLabel(1113, QStringLiteral("Stunden"), {34, 50, 31, 10}, left);
  AddEdit(kIdMinutes2, {68, 49, 18, 12});
  AddLabel(1114, QStringLiteral("Minuten"), {90, 50, 29, 10}, left);
  AddEdit(kIdSeconds2, {122, 49, 18, 12});
  AddLabel(1115, QStringLiteral("Sekunden"), {144, 50, 35, 10}, left);
  AddGroupBox(kIdGroupGreenYellow, QStringLiteral("Grün -> Gelb"), {6, 6, 180, 30});
  AddGroupBox(kIdGroupYellowRed, QStringLiteral("Gelb -> Rot"), {6, 36, 180, 30});
  AddGroupBox(kIdGroupGreenRed, QStringLiteral("Grün -> Rot"), {6, 6, 180, 30});
  AddEdit(kIdHoursT, {12, 79, 18, 12});
  AddLabel(1117, QStringLiteral("Stunden"), {34, 79, 31, 10}, left);
  AddEdit(kIdMinutesT, {68, 79, 18, 12});
  AddLabel(1119, QStringLiteral("Minuten"), {90, 79, 29, 10}, left);
  AddEdit(kIdSecondsT, {122, 79, 18, 12});
  AddLabel(1121, QStringLiteral("Sekunden"), {144, 79, 35, 10}, left);
  AddGroupBox(kIdGroupTotal, QStringLiteral("Gesamtzeit"), {6, 66, 180, 30});
  AddEdit(kIdProtocol, {48, 102, 138, 12});
  AddLabel(1123, QStringLiteral("Protokoll"), {6, 104, 36, 8}, left);
  AddEdit(kIdCandidate, {48, 120, 138, 12});
  AddLabel(1125, QStringLiteral("Kandidat"), {6, 122, 36, 8}, left);

  const std::array<int, 9> values = {dlg.m_hours,  dlg.m_minutes,  dlg.m_seconds,
                                     dlg.m_hours2, dlg.m_minutes2, dlg.m_seconds2,
                                     dlg.m_hoursT, dlg.m_minutesT, dlg.m_secondsT};
  for (size_t k = 0; k < kTimerNumberFields.size(); ++k)
    Edit(kTimerNumberFields[k])->setText(Number(values[k]));
  Edit(kIdProtocol)->setText(QString::fromStdString(dlg.m_protocol));
  Edit(kIdCandidate)->setText(QString::fromStdString(dlg.m_candidateName));

  for (int id : HiddenTimerControls(dlg.m_trafficLightMode)) {
    if (QWidget* w = Control(id)) w->hide();
  }
  ok->setFocus();
}

QLineEdit* CTimerDialog::Edit(int id) const { return qobject_cast<QLineEdit*>(Control(id)); }

void CTimerDialog::accept() {
  std::array<std::string, 9> texts;
  for (size_t k = 0; k < kTimerNumberFields.size(); ++k)
    texts[k] = Edit(kTimerNumberFields[k])->text().toStdString();
  CToggraTimerDlg exchanged = m_dlg;
  const auto error = ExchangeTimerFields(texts, Edit(kIdProtocol)->text().toStdString(),
                                         Edit(kIdCandidate)->text().toStdString(), exchanged);
  if (error) {
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(error->message));
    if (QLineEdit* field = Edit(error->controlId)) {
      field->setFocus();
      field->selectAll();
    }
    return;
  }
  m_dlg = exchanged;
  CTemplateDialog::accept();
}

}  // namespace toggra::gui

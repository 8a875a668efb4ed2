// The core's modal dialogs as real Qt dialogs, driven the way a user drives
// them: a callback queued before the modal run finds the open dialog, types
// and clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/ErrorDialogs.h"
#include "app/Ids.h"
#include "gui/AboutDialog.h"
#include "gui/LampIcons.h"
#include "gui/LogDialog.h"
#include "gui/QtPrompts.h"
#include "gui/TimerDialog.h"
#include "trafficlight/TimerDlg.h"
#include "ui/AboutDlg.h"

namespace toggra::gui {
namespace {

// Runs `action` on the modal widget once the next modal loop is running.
void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* w = QApplication::activeModalWidget();
    ASSERT_NE(w, nullptr) << "no modal widget open";
    action(w);
  });
}

template <class T>
T* Find(QWidget* dialog, int id) {
  T* w = dialog->findChild<T*>(ControlName(id));
  EXPECT_NE(w, nullptr) << "control " << id;
  return w;
}

void Click(QWidget* dialog, int id) { QTest::mouseClick(Find<QPushButton>(dialog, id), Qt::LeftButton); }

QStringList LabelTexts(QWidget* dialog) {
  QStringList texts;
  for (QLabel* l : dialog->findChildren<QLabel*>()) texts << l->text();
  return texts;
}

// ---------------------------------------------------------------------------

class StartErrorDialog : public ::testing::Test {
 protected:
  CQtPrompts prompts;
  CStartError dlg;
};

TEST_F(StartErrorDialog, ShowsItsTextsAndOkKeepsTheBoxClear) {
  QStringList labels;
  QString title;
  WhenModal([&](QWidget* w) {
    title = w->windowTitle();
    labels = LabelTexts(w);
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunStartError(dlg), IDOK);
  EXPECT_EQ(title, "Fehler");
  EXPECT_TRUE(labels.contains("Es wurde kein USB-Gerät gefunden."));
  EXPECT_TRUE(labels.contains("Simulation wird gestartet ..."));
  EXPECT_EQ(dlg.m_dontShowAgain, 0);
}

TEST_F(StartErrorDialog, TickedBoxIsReportedAfterOk) {
  WhenModal([](QWidget* w) {
    auto* box = Find<QCheckBox>(w, kIdCheckDontShow);
    EXPECT_EQ(box->text(), "Diese Meldung nicht mehr zeigen");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunStartError(dlg), IDOK);
  EXPECT_EQ(dlg.m_dontShowAgain, 1);
}

// The caller stores the box after Abbrechen too, so it must come back.
TEST_F(StartErrorDialog, TickedBoxIsReportedAfterCancel) {
  WhenModal([](QWidget* w) {
    Find<QCheckBox>(w, kIdCheckDontShow)->setChecked(true);
    Click(w, IDCANCEL);
  });
  EXPECT_EQ(prompts.RunStartError(dlg), IDCANCEL);
  EXPECT_EQ(dlg.m_dontShowAgain, 1);
}

TEST_F(StartErrorDialog, CloseBoxCountsAsCancel) {
  WhenModal([](QWidget* w) { w->close(); });
  EXPECT_EQ(prompts.RunStartError(dlg), IDCANCEL);
}

TEST(DeviceErrorDialog, StaysOnTopAndAnswersOkOrCancel) {
  CQtPrompts prompts;
  CDeviceError dlg;
  bool onTop = false;
  QStringList labels;
  WhenModal([&](QWidget* w) {
    onTop = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    labels = LabelTexts(w);
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunDeviceError(dlg), IDOK);
  EXPECT_TRUE(onTop);
  EXPECT_TRUE(labels.contains("Es wurde kein USB-Gerät gefunden."));
  EXPECT_TRUE(labels.contains("Anwendung wird beendet"));

  WhenModal([](QWidget* w) { Click(w, IDCANCEL); });
  EXPECT_EQ(prompts.RunDeviceError(dlg), IDCANCEL);
}

// ---------------------------------------------------------------------------

class DurationDialog : public ::testing::Test {
 protected:
  CQtPrompts prompts;
  CToggraTimerDlg dlg;

  DurationDialog() {
    dlg.m_trafficLightMode = 1;
    dlg.m_hours = 1;
    dlg.m_minutes = 2;
    dlg.m_seconds = 5;
    dlg.m_protocol = "/tmp/läufe.txt";
    dlg.m_candidateName = "Jörg";
  }

  // Types `text` into field `id`, presses OK, and reports the validation
  // message, the field then focused with its selection, and whether the
  // dialog stayed open; then cancels.
  struct Rejection {
    QString message;
    QWidget* focused = nullptr;
    QWidget* field = nullptr;
    QString selected;
    bool stayedOpen = false;
  };
  Rejection TypeAndPressOk(int id, const QString& text) {
    Rejection r;
    WhenModal([&](QWidget* w) {
      auto* field = Find<QLineEdit>(w, id);
      r.field = field;
      field->setText(text);
      WhenModal([&](QWidget* box) {
        auto* mb = qobject_cast<QMessageBox*>(box);
        ASSERT_NE(mb, nullptr) << "no validation message";
        r.message = mb->text();
        mb->accept();
      });
      Click(w, IDOK);
      r.stayedOpen = w->isVisible();
      r.focused = w->focusWidget();
      r.selected = field->selectedText();
      if (r.stayedOpen) Click(w, IDCANCEL);
    });
    EXPECT_EQ(prompts.RunTimerDlg(dlg), IDCANCEL);
    return r;
  }
};

TEST_F(DurationDialog, OpensWithTheValuesAndFocusOnOk) {
  QString title, hours, minutes, seconds, protocol, candidate;
  QWidget* focused = nullptr;
  QWidget* ok = nullptr;
  WhenModal([&](QWidget* w) {
    title = w->windowTitle();
    hours = Find<QLineEdit>(w, kIdHours)->text();
    minutes = Find<QLineEdit>(w, kIdMinutes)->text();
    seconds = Find<QLineEdit>(w, kIdSeconds)->text();
    protocol = Find<QLineEdit>(w, kIdProtocol)->text();
    candidate = Find<QLineEdit>(w, kIdCandidate)->text();
    focused = w->focusWidget();
    ok = Find<QPushButton>(w, IDOK);
    Click(w, IDCANCEL);
  });
  EXPECT_EQ(prompts.RunTimerDlg(dlg), IDCANCEL);
  EXPECT_EQ(title, "Dauer");
  EXPECT_EQ(hours, "1");
  EXPECT_EQ(minutes, "2");
  EXPECT_EQ(seconds, "5");
  EXPECT_EQ(protocol, QString::fromUtf8("/tmp/läufe.txt"));
  EXPECT_EQ(candidate, QString::fromUtf8("Jörg"));
  EXPECT_EQ(focused, ok);
}

TEST_F(DurationDialog, SixtyMinutesIsRejectedAndTheFieldFocused) {
  const Rejection r = TypeAndPressOk(kIdMinutes2, "60");
  EXPECT_TRUE(r.stayedOpen);
  EXPECT_FALSE(r.message.isEmpty());
  EXPECT_EQ(r.focused, r.field);
  EXPECT_EQ(r.selected, "60");
  EXPECT_EQ(dlg.m_minutes2, 0) << "a rejected exchange must not reach the caller";
}

TEST_F(DurationDialog, NonIntegerIsRejectedAndTheFieldFocused) {
  const Rejection r = TypeAndPressOk(kIdSeconds, "1.5");
  EXPECT_TRUE(r.stayedOpen);
  EXPECT_FALSE(r.message.isEmpty());
  EXPECT_EQ(r.focused, r.field);
  EXPECT_EQ(r.selected, "1.5");
  EXPECT_EQ(dlg.m_seconds, 5);
}

TEST_F(DurationDialog, HundredHoursAndTheTextsAreTakenOnOk) {
  WhenModal([](QWidget* w) {
    Find<QLineEdit>(w, kIdHours)->setText("100");
    Find<QLineEdit>(w, kIdSecondsT)->setText("59");
    Find<QLineEdit>(w, kIdCandidate)->setText(QString::fromUtf8("Anna Weiß"));
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunTimerDlg(dlg), IDOK);
  EXPECT_EQ(dlg.m_hours, 100);
  EXPECT_EQ(dlg.m_minutes, 2);
  EXPECT_EQ(dlg.m_secondsT, 59);
  EXPECT_EQ(dlg.m_candidateName, "Anna Weiß");
  EXPECT_EQ(dlg.m_protocol, "/tmp/läufe.txt");
  EXPECT_EQ(dlg.m_trafficLightMode, 1);
}

TEST_F(DurationDialog, CancelChangesNothing) {
  WhenModal([](QWidget* w) {
    Find<QLineEdit>(w, kIdHours)->setText("7");
    QTest::keyClick(w, Qt::Key_Escape);
  });
  EXPECT_EQ(prompts.RunTimerDlg(dlg), IDCANCEL);
  EXPECT_EQ(dlg.m_hours, 1);
}

// The rows a column shows: a plain switch only its first duration, a traffic
// light everything but the unused "Grün -> Rot" frame.
struct VisibleRows {
  int trafficLightMode;
  std::vector<int> shown;
  std::vector<int> hidden;
};

class DurationDialogRows : public ::testing::TestWithParam<VisibleRows> {};

TEST_P(DurationDialogRows, ShowsOnlyTheRowsOfTheColumnKind) {
  CToggraTimerDlg dlg;
  dlg.m_trafficLightMode = GetParam().trafficLightMode;
  CTimerDialog d(dlg);
  for (int id : GetParam().shown) {
    ASSERT_NE(d.Control(id), nullptr) << id;
    EXPECT_TRUE(d.Control(id)->isVisibleTo(&d)) << id;
  }
  for (int id : GetParam().hidden) {
    ASSERT_NE(d.Control(id), nullptr) << id;
    EXPECT_FALSE(d.Control(id)->isVisibleTo(&d)) << id;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ColumnKinds, DurationDialogRows,
    ::testing::Values(
        VisibleRows{0,
                    {IDOK, IDCANCEL, kIdHours, kIdMinutes, kIdSeconds},
                    {kIdHours2, kIdMinutes2, kIdSeconds2, 1113, 1114, 1115, kIdHoursT, kIdMinutesT,
                     kIdSecondsT, 1117, 1119, 1121, kIdGroupTotal, kIdProtocol, 1123, kIdCandidate,
                     1125, kIdGroupGreenYellow, kIdGroupYellowRed, kIdGroupGreenRed}},
        VisibleRows{1,
                    {IDOK, IDCANCEL, kIdHours, kIdMinutes, kIdSeconds, kIdHours2, kIdMinutes2,
                     kIdSeconds2, 1113, 1114, 1115, kIdHoursT, kIdMinutesT, kIdSecondsT, 1117,
                     1119, 1121, kIdGroupTotal, kIdProtocol, 1123, kIdCandidate, 1125,
                     kIdGroupGreenYellow, kIdGroupYellowRed},
                    {kIdGroupGreenRed}}));

TEST(DurationDialogLayout, TabOrderFollowsTheTemplateAndSkipsFramesAndLabels) {
  CToggraTimerDlg dlg;
  dlg.m_trafficLightMode = 1;
  CTimerDialog d(dlg);
  QWidget* start = d.Control(IDOK);
  std::vector<int> order;
  QWidget* w = start;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&d) && w->parentWidget() == &d)
      order.push_back(w->objectName().mid(2).toInt());
    w = w->nextInFocusChain();
  } while (w != start && order.size() < 40);
  const std::vector<int> expected = {IDOK,        IDCANCEL,    kIdHours,   kIdMinutes,  kIdSeconds,
                                     kIdHours2,   kIdMinutes2, kIdSeconds2, kIdHoursT,  kIdMinutesT,
                                     kIdSecondsT, kIdProtocol, kIdCandidate};
  EXPECT_EQ(order, expected);
}

// Frames sit below the fields they surround: a click on a field inside a
// frame reaches the field.
TEST(DurationDialogLayout, FieldsInsideFramesTakeClicks) {
  CToggraTimerDlg dlg;
  dlg.m_trafficLightMode = 1;
  CTimerDialog d(dlg);
  d.show();
  QWidget* field = d.Control(kIdMinutes2);
  const QPoint centre = field->geometry().center();
  EXPECT_EQ(d.childAt(centre), field);
  d.hide();
}

// ---------------------------------------------------------------------------

class OptionsDialog : public ::testing::Test {
 protected:
  CQtPrompts prompts;
  CAboutDlg dlg;
  OptionsDialog() {
    dlg.m_checkOneLine = 1;
    dlg.m_checkPushButton = 0;
    dlg.m_checkArrow = 1;
  }
  // Flips every box, then closes with `close`.
  int FlipAllAnd(std::function<void(QWidget*)> close) {
    WhenModal([close](QWidget* w) {
      for (int id : {kIdCheckOneLine, kIdCheckPushButton, kIdCheckArrow})
        Find<QCheckBox>(w, id)->toggle();
      close(w);
    });
    return prompts.RunAboutDlg(dlg);
  }
};

TEST_F(OptionsDialog, ShowsVersionIconAndThePresetBoxes) {
  QString title;
  QStringList labels;
  bool oneLine = false, pushButton = true, arrow = false, hasIcon = false;
  WhenModal([&](QWidget* w) {
    title = w->windowTitle();
    labels = LabelTexts(w);
    oneLine = Find<QCheckBox>(w, kIdCheckOneLine)->isChecked();
    pushButton = Find<QCheckBox>(w, kIdCheckPushButton)->isChecked();
    arrow = Find<QCheckBox>(w, kIdCheckArrow)->isChecked();
    auto* icon = w->findChild<QLabel*>("icon");
    hasIcon = icon && !icon->pixmap().isNull();
    Click(w, IDOK);
  });
  prompts.RunAboutDlg(dlg);
  EXPECT_EQ(title, "Info über Toggra");
  EXPECT_TRUE(labels.contains("Toggra Version 4.2.2"));
  EXPECT_TRUE(oneLine);
  EXPECT_FALSE(pushButton);
  EXPECT_TRUE(arrow);
  EXPECT_TRUE(hasIcon);
}

TEST_F(OptionsDialog, OkReadsTheBoxesBack) {
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { Click(w, IDOK); }), IDOK);
  EXPECT_EQ(dlg.m_checkOneLine, 0);
  EXPECT_EQ(dlg.m_checkPushButton, 1);
  EXPECT_EQ(dlg.m_checkArrow, 0);
}

TEST_F(OptionsDialog, EnterActsAsOk) {
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }), IDOK);
  EXPECT_EQ(dlg.m_checkPushButton, 1);
}

TEST_F(OptionsDialog, EscapeAndCloseBoxKeepThePresetValues) {
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }), IDCANCEL);
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { w->close(); }), IDCANCEL);
  EXPECT_EQ(dlg.m_checkOneLine, 1);
  EXPECT_EQ(dlg.m_checkPushButton, 0);
  EXPECT_EQ(dlg.m_checkArrow, 1);
}

// ---------------------------------------------------------------------------

TEST(LogDialog, ShowsEachLineOnItsOwnLineInAnEditableField) {
  CQtPrompts prompts;
  CLogDlg dlg;
  dlg.m_text = "switchCount=1, Ampel=0\r\ngreen[0]\r\nred[0]\r\n";
  QStringList lines;
  bool readOnly = true, bothBars = false;
  QString title;
  WhenModal([&](QWidget* w) {
    title = w->windowTitle();
    auto* edit = Find<QPlainTextEdit>(w, kIdLogEdit);
    lines = edit->toPlainText().split('\n');
    readOnly = edit->isReadOnly();
    bothBars = edit->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn &&
               edit->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn &&
               edit->lineWrapMode() == QPlainTextEdit::NoWrap;
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunLogDlg(dlg), IDOK);
  EXPECT_EQ(title, "Log");
  EXPECT_EQ(lines, QStringList({"switchCount=1, Ampel=0", "green[0]", "red[0]", ""}));
  EXPECT_FALSE(readOnly);
  EXPECT_TRUE(bothBars);
}

TEST(LogDialog, TypedTextComesBackWithItsLineEndsOnlyOnOk) {
  CQtPrompts prompts;
  CLogDlg dlg;
  dlg.m_text = "off[2]\r\n";
  WhenModal([](QWidget* w) {
    auto* edit = Find<QPlainTextEdit>(w, kIdLogEdit);
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText("note\nmore");
    Click(w, IDOK);
  });
  prompts.RunLogDlg(dlg);
  EXPECT_EQ(dlg.m_text, "off[2]\r\nnote\r\nmore");

  WhenModal([](QWidget* w) {
    Find<QPlainTextEdit>(w, kIdLogEdit)->setPlainText("gone");
    QTest::keyClick(w, Qt::Key_Escape);
  });
  prompts.RunLogDlg(dlg);
  EXPECT_EQ(dlg.m_text, "off[2]\r\nnote\r\nmore");
}

// ---------------------------------------------------------------------------

TEST(MessageBoxes, ShowCaptionAndTextWithTheOwnerAsAsked) {
  CQtPrompts prompts;
  QWidget mainWindow;
  prompts.SetMainWindow(&mainWindow);
  struct Seen {
    QString caption, text;
    QWidget* parent = nullptr;
    int buttons = 0;
  };
  auto run = [&](bool owned) {
    Seen seen;
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      seen = {box->windowTitle(), box->text(), box->parentWidget(),
              static_cast<int>(box->buttons().size())};
      box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompts.MessageBox("Schalter nicht erreichbar", "Fehler", owned), IDOK);
    return seen;
  };
  const Seen owned = run(true);
  EXPECT_EQ(owned.caption, "Fehler");
  EXPECT_EQ(owned.text, "Schalter nicht erreichbar");
  EXPECT_EQ(owned.parent, &mainWindow);
  EXPECT_EQ(owned.buttons, 1);
  EXPECT_EQ(run(false).parent, nullptr);
}

// ---------------------------------------------------------------------------

struct LampCase {
  IconId id;
  QRgb face;
};

class LampIcons : public ::testing::TestWithParam<LampCase> {};

TEST_P(LampIcons, FaceColourAtTheCentreAndTransparentCorners) {
  const QIcon icon = LampIcon(GetParam().id);
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 32}) {
    const QImage img = icon.pixmap(size, size).toImage();
    ASSERT_EQ(img.width(), size);
    EXPECT_EQ(img.pixel(size / 2, size / 2) & 0xFFFFFF, GetParam().face & 0xFFFFFF) << size;
    EXPECT_EQ(qAlpha(img.pixel(size / 2, size / 2)), 255) << size;
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << size;
    EXPECT_EQ(qAlpha(img.pixel(size - 1, size - 1)), 0) << size;
  }
}

TEST_P(LampIcons, ShadingSitsOnTheLowerRightInsideAGreySurround) {
  LampColours colours;
  ASSERT_TRUE(LampIconColours(GetParam().id, &colours));
  const QImage img = DrawLamp(GetParam().id, 64, 1.0).toImage();
  // Along the diagonal from the centre to the lower right: face, then shade,
  // then the grey surround; towards the upper left the shade barely shows.
  EXPECT_EQ(QColor(img.pixel(32, 32)), colours.face);
  EXPECT_EQ(QColor(img.pixel(49, 49)), colours.shade);
  EXPECT_EQ(QColor(img.pixel(32, 1)), QColor(192, 192, 192));
  EXPECT_EQ(QColor(img.pixel(16, 16)), colours.face);
}

INSTANTIATE_TEST_SUITE_P(Icons, LampIcons,
                         ::testing::Values(LampCase{kIconApp, qRgb(0, 255, 0)},
                                           LampCase{kIconGreen, qRgb(0, 255, 0)},
                                           LampCase{kIconRed, qRgb(255, 0, 0)},
                                           LampCase{kIconYellow, qRgb(255, 255, 0)},
                                           LampCase{kIconWhite, qRgb(255, 255, 255)}));

TEST(LampIconSizes, SharpAtDoubleScaleAndNullForUnknownIds) {
  const QIcon icon = LampIcon(kIconRed);
  // 16 px at 200 % comes from a 32-pixel drawing, not from scaling 16 up.
  const QPixmap hiDpi = icon.pixmap(QSize(16, 16), 2.0);
  EXPECT_EQ(hiDpi.width(), 32);
  EXPECT_EQ(hiDpi.toImage(), DrawLamp(kIconRed, 32, 1.0).toImage());
  EXPECT_TRUE(LampIcon(4711).isNull());
}

}  // namespace
}  // namespace toggra::gui

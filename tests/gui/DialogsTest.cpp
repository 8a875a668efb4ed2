// The core's modal dialogs as real Qt dialogs, driven as a user drives them:
// a callback queued before the modal run finds the open dialog and acts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/ErrorDialogs.h"
#include "app/Ids.h"
#include "gui/AboutDialog.h"
#include "gui/LampIcons.h"
#include "gui/QtPrompts.h"
#include "gui/TimerDialog.h"
#include "ui/AboutDlg.h"

#include "support/CaseNames.h"

namespace toggra::gui {
namespace {

void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* w = QApplication::activeModalWidget();
    ASSERT_NE(w, nullptr) << "no modal widget open";
    action(w);
  });
}

template <class T = QWidget>
T* Find(QWidget* dialog, int id) {
  T* w = dialog->findChild<T*>(ControlName(id));
  EXPECT_NE(w, nullptr) << "control " << id;
  return w;
}

void Click(QWidget* dialog, int id) { QTest::mouseClick(Find<QPushButton>(dialog, id), Qt::LeftButton); }

TEST(ErrorDialogs, DontShowBoxComesBackHoweverTheStartErrorCloses) {
  CQtPrompts prompts;
  CStartError dlg;
  WhenModal([](QWidget* w) {
    QTest::mouseClick(Find(w, kIdCheckDontShow), Qt::LeftButton, {}, QPoint(4, 4));
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunStartError(dlg), IDOK);
  EXPECT_EQ(dlg.m_dontShowAgain, 1);
  // The caller stores the box after Abbrechen and the close box as well.
  WhenModal([](QWidget* w) {
    Find<QCheckBox>(w, kIdCheckDontShow)->setChecked(false);
    Click(w, IDCANCEL);
  });
  EXPECT_EQ(prompts.RunStartError(dlg), IDCANCEL);
  EXPECT_EQ(dlg.m_dontShowAgain, 0);
  WhenModal([](QWidget* w) {
    Find<QCheckBox>(w, kIdCheckDontShow)->setChecked(true);
    w->close();
  });
  EXPECT_EQ(prompts.RunStartError(dlg), IDCANCEL) << "the close box is Abbrechen";
  EXPECT_EQ(dlg.m_dontShowAgain, 1);
}

TEST(ErrorDialogs, DeviceErrorStaysOnTop) {
  CQtPrompts prompts;
  CDeviceError dlg;
  bool onTop = false;
  WhenModal([&](QWidget* w) {
    onTop = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunDeviceError(dlg), IDOK);
  EXPECT_TRUE(onTop);
}

class DurationDialog : public ::testing::Test {
 protected:
  CQtPrompts prompts;
  CToggraTimerDlg dlg;
  DurationDialog() {
    dlg.m_trafficLightMode = 1;
    dlg.m_minutes = 2;
    dlg.m_seconds = 5;
  }

  // Types `text` into field `id` and presses OK; the dialog must answer with
  // a message, stay open and focus the field with its text selected.
  void ExpectRejected(int id, const QString& text) {
    WhenModal([&](QWidget* w) {
      auto* field = Find<QLineEdit>(w, id);
      field->setText(text);
      QString message;
      WhenModal([&](QWidget* box) {
        ASSERT_NE(qobject_cast<QMessageBox*>(box), nullptr) << "no validation message";
        message = static_cast<QMessageBox*>(box)->text();
        box->close();
      });
      Click(w, IDOK);
      EXPECT_FALSE(message.isEmpty());
      EXPECT_TRUE(w->isVisible());
      EXPECT_EQ(w->focusWidget(), field);
      EXPECT_EQ(field->selectedText(), text);
      Click(w, IDCANCEL);
    });
    EXPECT_EQ(prompts.RunTimerDlg(dlg), IDCANCEL);
  }
};

TEST_F(DurationDialog, RejectsSixtyMinutesAndNonIntegers) {
  ExpectRejected(kIdMinutes2, "60");
  ExpectRejected(kIdSeconds, "1.5");
  EXPECT_EQ(dlg.m_minutes2, 0) << "a rejected exchange must not reach the caller";
  EXPECT_EQ(dlg.m_seconds, 5);
}

TEST_F(DurationDialog, OpensOnOkWithTheValuesAndTakesHundredHours) {
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->focusWidget(), Find(w, IDOK));
    EXPECT_EQ(Find<QLineEdit>(w, kIdSeconds)->text(), "5");
    Find<QLineEdit>(w, kIdHours)->setText("100");
    Find<QLineEdit>(w, kIdCandidate)->setText(QString::fromUtf8("Anna Weiß"));
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunTimerDlg(dlg), IDOK);
  EXPECT_EQ(dlg.m_hours, 100);
  EXPECT_EQ(dlg.m_minutes, 2);
  EXPECT_EQ(dlg.m_candidateName, "Anna Weiß");
}

// A plain switch shows only its first duration, a traffic light everything
// but the unused "Grün -> Rot" frame.
class DurationDialogRows : public ::testing::TestWithParam<int> {};

TEST_P(DurationDialogRows, ShowOnlyWhatTheColumnKindUses) {
  CToggraTimerDlg dlg;
  dlg.m_trafficLightMode = GetParam();
  CTimerDialog d(dlg);
  for (int id : {IDOK, IDCANCEL, kIdHours, kIdMinutes, kIdSeconds})
    EXPECT_TRUE(d.Control(id)->isVisibleTo(&d)) << id;
  for (int id : {kIdHours2, 1113, kIdSeconds2, kIdHoursT, kIdSecondsT, 1121, kIdGroupTotal,
                 kIdProtocol, kIdCandidate, 1125, kIdGroupGreenYellow, kIdGroupYellowRed})
    EXPECT_EQ(d.Control(id)->isVisibleTo(&d), GetParam() == 1) << id;
  EXPECT_FALSE(d.Control(kIdGroupGreenRed)->isVisibleTo(&d));
}

INSTANTIATE_TEST_SUITE_P(PlainAndTrafficLight, DurationDialogRows, ::testing::Values(0, 1),
                         [](const auto& info) {
                           return std::string(info.param ? "TrafficLight" : "Plain");
                         });

// A plain switch's dialog closes up the rows it hides: its buttons keep the
// distance from the last shown row, and the dialog's edge the distance from
// the buttons, that a traffic light's dialog has.
TEST(DurationDialogLayout, PlainSwitchLeavesNoEmptyBandAboveTheButtons) {
  CToggraTimerDlg light, plain;
  light.m_trafficLightMode = 1;
  CTimerDialog full(light), compact(plain);
  const auto gapAbove = [](const CTimerDialog& d, int lastRow) {
    return d.Control(IDOK)->geometry().top() - d.Control(lastRow)->geometry().bottom();
  };
  const auto marginBelow = [](const CTimerDialog& d) {
    return d.height() - d.Control(IDOK)->geometry().bottom();
  };
  // Dialog units round to whole pixels in different places: a pixel apart.
  constexpr int kRounding = 1;
  EXPECT_NEAR(gapAbove(compact, kIdSeconds), gapAbove(full, kIdCandidate), kRounding);
  EXPECT_NEAR(marginBelow(compact), marginBelow(full), kRounding);
  EXPECT_EQ(compact.Control(IDCANCEL)->y(), compact.Control(IDOK)->y());
  EXPECT_EQ(compact.width(), full.width());
  // The rows that stay keep their template places.
  for (int id : {kIdHours, kIdMinutes, kIdSeconds})
    EXPECT_EQ(compact.Control(id)->geometry(), full.Control(id)->geometry()) << id;
}

TEST(DurationDialogLayout, TabOrderSkipsFramesAndFramesLetClicksThrough) {
  CToggraTimerDlg dlg;
  dlg.m_trafficLightMode = 1;
  CTimerDialog d(dlg);
  std::vector<int> order;
  QWidget* w = d.Control(IDOK);
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == &d)
      order.push_back(w->objectName().mid(2).toInt());
    w = w->nextInFocusChain();
  } while (w != d.Control(IDOK) && order.size() < 40);
  const std::vector<int> expected = {IDOK,      IDCANCEL,    kIdHours,    kIdMinutes,  kIdSeconds,
                                     kIdHours2, kIdMinutes2, kIdSeconds2, kIdHoursT,   kIdMinutesT,
                                     kIdSecondsT, kIdProtocol, kIdCandidate};
  EXPECT_EQ(order, expected);
  d.show();
  QWidget* field = d.Control(kIdMinutes2);
  EXPECT_EQ(d.childAt(field->geometry().center()), field);
}

class OptionsDialog : public ::testing::Test {
 protected:
  CQtPrompts prompts;
  CAboutDlg dlg{1, 0, 1};
  // Flips every box, then closes the dialog with `close`.
  int FlipAllAnd(std::function<void(QWidget*)> close) {
    WhenModal([close](QWidget* w) {
      for (int id : {kIdCheckOneLine, kIdCheckPushButton, kIdCheckArrow})
        Find<QCheckBox>(w, id)->toggle();
      close(w);
    });
    return prompts.RunAboutDlg(dlg);
  }
};

TEST_F(OptionsDialog, EscapeAndCloseBoxKeepThePresetValues) {
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }), IDCANCEL);
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { w->close(); }), IDCANCEL);
  EXPECT_EQ(dlg.m_checkOneLine, 1);
  EXPECT_EQ(dlg.m_checkPushButton, 0);
  EXPECT_EQ(dlg.m_checkArrow, 1);
}

TEST_F(OptionsDialog, SaysWhenTheOptionsCountWithoutCoveringAControl) {
  CAboutDialog d(dlg);
  QLabel* note = nullptr;
  for (QLabel* label : d.findChildren<QLabel*>())
    if (label->text().contains(QString::fromUtf8("nächsten Start ohne Argumente"))) note = label;
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(d.rect().contains(note->geometry()));
  for (QWidget* w : d.findChildren<QWidget*>())
    if (w != note && w->parentWidget() == &d)
      EXPECT_FALSE(w->geometry().intersects(note->geometry())) << w->objectName().toStdString();
}

TEST_F(OptionsDialog, OkReadsTheBoxesBack) {
  EXPECT_EQ(FlipAllAnd([](QWidget* w) { Click(w, IDOK); }), IDOK);
  EXPECT_EQ(dlg.m_checkOneLine, 0);
  EXPECT_EQ(dlg.m_checkPushButton, 1);
  EXPECT_EQ(dlg.m_checkArrow, 0);
}

TEST(LogDialog, ShowsEachLineOnItsOwnLineAndReturnsEditsOnlyOnOk) {
  CQtPrompts prompts;
  CLogDlg dlg;
  dlg.m_text = "green[0]\r\nred[0]\r\n";
  WhenModal([](QWidget* w) {
    auto* edit = Find<QPlainTextEdit>(w, kIdLogEdit);
    EXPECT_EQ(edit->toPlainText().split('\n'), QStringList({"green[0]", "red[0]", ""}));
    EXPECT_FALSE(edit->isReadOnly());
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText("note");
    Click(w, IDOK);
  });
  EXPECT_EQ(prompts.RunLogDlg(dlg), IDOK);
  EXPECT_EQ(dlg.m_text, "green[0]\r\nred[0]\r\nnote");
  WhenModal([](QWidget* w) {
    Find<QPlainTextEdit>(w, kIdLogEdit)->setPlainText("gone");
    QTest::keyClick(w, Qt::Key_Escape);
  });
  prompts.RunLogDlg(dlg);
  EXPECT_EQ(dlg.m_text, "green[0]\r\nred[0]\r\nnote");
}

TEST(MessageBoxes, ShowCaptionAndTextOwnedByTheMainWindowOnlyWhenAsked) {
  CQtPrompts prompts;
  QWidget mainWindow;
  prompts.SetMainWindow(&mainWindow);
  for (bool owned : {true, false}) {
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), "Fehler");
      EXPECT_EQ(box->text(), "Schalter nicht erreichbar");
      EXPECT_EQ(box->parentWidget(), owned ? &mainWindow : nullptr);
      box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompts.MessageBox("Schalter nicht erreichbar", "Fehler", owned), IDOK);
  }
}

class LampIcons : public ::testing::TestWithParam<std::pair<IconId, QRgb>> {};

TEST_P(LampIcons, FaceColourAtTheCentreTransparentCorners) {
  const QIcon icon = LampIcon(GetParam().first);
  for (int size : {16, 32}) {
    const QImage img = icon.pixmap(size, size).toImage();
    ASSERT_EQ(img.width(), size);
    EXPECT_EQ(img.pixel(size / 2, size / 2), GetParam().second | 0xFF000000u) << size;
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << size;
  }
  // 16 px at 200 % is a drawing of 32 pixels, not 16 scaled up.
  EXPECT_EQ(icon.pixmap(QSize(16, 16), 2.0).toImage(),
            DrawLamp(GetParam().first, 32, 1.0).toImage());
}

INSTANTIATE_TEST_SUITE_P(
    Icons, LampIcons,
    ::testing::Values(std::pair{kIconApp, qRgb(0, 255, 0)}, std::pair{kIconGreen, qRgb(0, 255, 0)},
                      std::pair{kIconRed, qRgb(255, 0, 0)},
                      std::pair{kIconYellow, qRgb(255, 255, 0)},
                      std::pair{kIconWhite, qRgb(255, 255, 255)}),
    [](const auto& info) {
      return test::RowName(info.index, "Icon" + std::to_string(static_cast<int>(info.param.first)));
    });

}  // namespace
}  // namespace toggra::gui

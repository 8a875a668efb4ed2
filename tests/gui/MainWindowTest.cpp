// The main window on the offscreen platform, driven as a user would: the
// columns it shows, clicks and keys reaching the device, the tick, the ways
// the window ends.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QScreen>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "gui/KeyMapping.h"
#include "gui/LampButton.h"
#include "gui/MainWindow.h"
#include "support/CaseNames.h"
#include "support/FakePivlink.h"
#include "support/FakePrompts.h"
#include "support/FakeTrayShell.h"
#include "support/ManualClock.h"
#include "support/MemoryFiles.h"
#include "support/MemoryRegistry.h"
#include "ui/LampPlan.h"

namespace toggra::gui {
namespace {

// Long enough that no tick comes between a test's steps.
constexpr int kQuietTickMs = 3'600'000;

// A notification area that hides the window as the real one does.
struct HidingTray : test::FakeTrayShell {
  void HideToTray() override {
    FakeTrayShell::HideToTray();
    if (window) window->hide();
  }
  QWidget* window = nullptr;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    auto dev = std::make_unique<test::FakePivlink>();
    device = dev.get();
    m_pending = std::move(dev);
  }
  ~MainWindowTest() override {
    // The window lets go of the dialog before the dialog goes.
    m_window.reset();
    m_dlg.reset();
  }

  // A device of type 40 with `channels` plain channels, all off.
  void AddSwitchDevice(int channels, int serial = 4711) {
    test::FakeDevice d;
    d.type = 40;
    d.switches = channels;
    d.serial = serial;
    device->devices.push_back(d);
  }

  CMainWindow& Window() {
    if (!m_window) {
      m_window = std::make_unique<CMainWindow>(tickMs);
      tray.window = m_window.get();
    }
    return *m_window;
  }
  // The dialog, not yet started: set its flags before Start.
  CToggraDlg& Dialog() {
    if (!m_dlg) {
      DlgServices s = CServiceBuilder(CServiceBuilder::Kind::Desktop)
                          .Host(Window())
                          .Prompts(prompts)
                          .Clock(clock)
                          .Registry(registry)
                          .SettingsRoot(settingsRoot)
                          .Files(files)
                          .TrayShell(tray)
                          .Devices([this] { return std::move(m_pending); })
                          .Build();
      m_dlg = std::make_unique<CToggraDlg>(s);
    }
    return *m_dlg;
  }
  bool Start() {
    const bool started = Window().Start(Dialog());
    if (started) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    }
    return started;
  }
  void Activate() {
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
  }

  QWidget* W(int id) { return Window().ControlWidget(id); }
  QPushButton* Button(int id) { return qobject_cast<QPushButton*>(W(id)); }
  // What the window shows at the centre of a control.
  QColor CentreOf(int id) {
    const QImage image = Window().grab().toImage();
    const QPoint c = W(id)->geometry().center();
    return image.pixelColor(c * image.devicePixelRatio());
  }
  QColor Lit(LampBrush brush) { return FromColourRef(BrushColour(Dialog(), brush)); }
  std::vector<std::string> SetSwitches() const { return device->CallsOf("SetSwitch"); }
  static void Deliver() { QCoreApplication::processEvents(); }

  int tickMs = kQuietTickMs;
  test::FakePivlink* device;
  test::FakePrompts prompts;
  test::ManualClock clock;
  test::MemoryRegistry registry;
  DeviceSettingsRoot settingsRoot;
  test::MemoryFiles files;
  HidingTray tray;

 private:
  std::unique_ptr<test::FakePivlink> m_pending;
  std::unique_ptr<CToggraDlg> m_dlg;
  std::unique_ptr<CMainWindow> m_window;
};

// ---- the columns the window shows ----

class MainWindowLayout : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(MainWindowLayout, ClientAreaHoldsExactlyTheShownColumns) {
  const int k = GetParam();
  AddSwitchDevice(k);
  ASSERT_TRUE(Start());
  EXPECT_EQ(Window().windowTitle(), QString("Toggra"));
  EXPECT_TRUE(Window().isVisible());
  const int columnWidth = W(kIdGroupBox)->width();
  ASSERT_GT(columnWidth, 0);
  EXPECT_EQ(Window().width(), k * columnWidth);
  for (int i = 0; i < k; ++i) {
    auto* box = qobject_cast<QGroupBox*>(W(kIdGroupBox + i));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->x(), i * columnWidth);
    EXPECT_EQ(box->title(), i == 0 ? QString("4711") : QString("4711/%1").arg(i + 1));
    EXPECT_TRUE(W(kIdLowerButton + i)->isVisibleTo(&Window()));
  }
  // The next column lies beyond the right edge.
  EXPECT_GE(W(kIdGroupBox + k)->x(), Window().width());
  // The two rows are inside; the third lies below the bottom edge.
  EXPECT_LE(W(kIdLowerButton)->geometry().bottom(), Window().height());
  EXPECT_GE(W(kIdThirdButton)->y(), Window().height());
}

INSTANTIATE_TEST_SUITE_P(Columns, MainWindowLayout, ::testing::Values(1, 3, 4),
                         [](const auto& info) { return "Columns" + std::to_string(info.param); });

// The offscreen screen is 800 pixels wide.
class FittingTheScreen : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(FittingTheScreen, ColumnsShrinkTogetherToTheScreenWidthButNotBelowLegible) {
  const int k = GetParam();
  for (int d = 0; d < k / 4; ++d) AddSwitchDevice(4, 100 + d);
  ASSERT_TRUE(Start());
  const int available = Window().screen()->availableGeometry().width();
  const int natural = Window().Units().X(Dialog().FindControl(kIdGroupBox)->templateRect.cx);
  const Rect lampRect = Window().Units().Map(Dialog().FindControl(kIdUpperButton)->templateRect);
  const QSize lamp(lampRect.Width(), lampRect.Height());
  const int column = W(kIdGroupBox)->width();
  EXPECT_EQ(Window().width(), k * column);
  for (int i = 1; i < k; ++i) EXPECT_EQ(W(kIdGroupBox + i)->width(), column);
  if (k * natural <= available) {
    EXPECT_EQ(column, natural);  // a screen wide enough changes nothing
    EXPECT_EQ(W(kIdUpperButton)->size(), lamp);
    return;
  }
  EXPECT_LT(column, natural);
  EXPECT_GE(column * 1000, natural * (DialogUnits::kMinScalePermille - 10));
  if (k * natural * DialogUnits::kMinScalePermille <= available * 1000)
    EXPECT_LE(Window().frameGeometry().width(), available);
  // Lamps keep their shape: width and height shrink by one factor.
  const QSize shown = W(kIdUpperButton)->size();
  EXPECT_LT(shown.height(), lamp.height());
  EXPECT_NEAR(double(shown.width()) / lamp.width(), double(shown.height()) / lamp.height(), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Columns, FittingTheScreen, ::testing::Values(4, 8, 16),
                         [](const auto& info) { return "Columns" + std::to_string(info.param); });

// Devices that come later: their columns follow, the window widens by them
// and, once wider than the 800-pixel screen, all columns shrink together.
TEST_F(MainWindowTest, DevicesAddedLaterWidenTheWindowAndRefitItToTheScreen) {
  AddSwitchDevice(4, 100);
  ASSERT_TRUE(Start());
  const int column = W(kIdGroupBox)->width();
  AddSwitchDevice(4, 101);
  Dialog().AdoptDevices(1, 2);
  Deliver();
  const int wide = W(kIdGroupBox)->width();
  EXPECT_LE(wide, column);
  EXPECT_EQ(Window().width(), 8 * wide);
  for (int i = 4; i < 8; ++i) {
    EXPECT_EQ(qobject_cast<QGroupBox*>(W(kIdGroupBox + i))->title(),
              i == 4 ? QString("101") : QString("101/%1").arg(i - 3));
    EXPECT_TRUE(W(kIdLowerButton + i)->isVisibleTo(&Window()));
    EXPECT_EQ(W(kIdGroupBox + i)->x(), i * wide);
  }
  AddSwitchDevice(4, 102);
  Dialog().AdoptDevices(2, 3);
  Deliver();
  const int narrow = W(kIdGroupBox)->width();
  EXPECT_LT(narrow, wide);
  EXPECT_GE(narrow * 1000, column * (DialogUnits::kMinScalePermille - 10));
  EXPECT_EQ(Window().width(), 12 * narrow);
  EXPECT_EQ(W(kIdGroupBox + 11)->width(), narrow);
}

TEST_F(MainWindowTest, TabStaysOnTheButtonsInsideTheWindow) {
  AddSwitchDevice(1);
  ASSERT_TRUE(Start());
  Activate();
  W(kIdUpperButton)->setFocus();
  std::vector<QWidget*> visited;
  for (int n = 0; n < 4; ++n) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  // Upper lamp, "Kurzzeit", lower lamp, and round again: the hidden "Start"
  // button and everything beyond the edges are passed over.
  EXPECT_EQ(visited, (std::vector<QWidget*>{W(kIdTimeButton), W(kIdLowerButton),
                                            W(kIdUpperButton), W(kIdTimeButton)}));
}

TEST_F(MainWindowTest, TrafficLightShowsRedYellowGreenFromTheTopClearOfTheButtons) {
  test::FakeDevice light;
  light.type = 8;
  light.ampel = 1;
  light.switches = 3;
  device->devices.push_back(light);
  Dialog().m_trafficLight = 1;
  ASSERT_TRUE(Start());
  EXPECT_EQ(Window().windowTitle(), QString("Lumora "));
  EXPECT_EQ(Window().width(), W(kIdGroupBox)->width());
  const QRect red = W(kIdUpperButton)->geometry();
  const QRect yellow = W(kIdThirdButton)->geometry();
  const QRect green = W(kIdLowerButton)->geometry();
  EXPECT_LT(red.top(), yellow.top());
  EXPECT_LT(yellow.top(), green.top());
  // The lamps leave the "Kurzzeit" and "Start" buttons free, and all three
  // lamps lie inside the window.
  for (int id : {kIdTimeButton, kIdStartButton}) {
    ASSERT_TRUE(W(id)->isVisibleTo(&Window())) << id;
    for (const QRect& lamp : {red, yellow, green})
      EXPECT_FALSE(lamp.intersects(W(id)->geometry())) << id;
  }
  EXPECT_LE(green.bottom(), Window().height());
}

// ---- clicks, keys and the tick reach the device ----

TEST_F(MainWindowTest, ClickOnLowerButtonSwitchesTheChannelOnAndLightsTheLamp) {
  AddSwitchDevice(2);
  ASSERT_TRUE(Start());
  EXPECT_EQ(CentreOf(kIdLowerButton + 1), kLampUnlitFill);
  device->calls.clear();
  QTest::mouseClick(W(kIdLowerButton + 1), Qt::LeftButton);
  EXPECT_EQ(SetSwitches(), std::vector<std::string>{"SetSwitch 0 17 1"});
  Deliver();
  EXPECT_EQ(CentreOf(kIdLowerButton + 1), Lit(LampBrush::SecondRow));
  EXPECT_EQ(CentreOf(kIdUpperButton + 1), kLampUnlitFill);
  EXPECT_EQ(CentreOf(kIdLowerButton), kLampUnlitFill);
}

TEST_F(MainWindowTest, F1StartsColumnZeroThroughAPostedMessage) {
  AddSwitchDevice(2);
  ASSERT_TRUE(Start());
  Activate();
  W(kIdUpperButton + 1)->setFocus();
  device->calls.clear();
  QTest::keyClick(W(kIdUpperButton + 1), Qt::Key_F1);
  // Posted, not called: nothing has happened while the key is handled.
  EXPECT_TRUE(SetSwitches().empty());
  Deliver();
  EXPECT_EQ(SetSwitches(), std::vector<std::string>{"SetSwitch 0 16 1"});
  EXPECT_EQ(Button(kIdStartButton)->text(), QString("Stop"));
  // Keys without a column do nothing.
  device->calls.clear();
  QTest::keyClick(W(kIdUpperButton + 1), Qt::Key_F13);
  QTest::keyClick(W(kIdUpperButton + 1), Qt::Key_0, Qt::KeypadModifier);
  Deliver();
  EXPECT_TRUE(SetSwitches().empty());
}

TEST_F(MainWindowTest, TickReadsTheDeviceBackAndRepaintsTheLamp) {
  tickMs = 1;
  AddSwitchDevice(1);
  ASSERT_TRUE(Start());
  EXPECT_EQ(CentreOf(kIdLowerButton), kLampUnlitFill);
  // Someone else switches the channel on; the poll sees it after its quiet
  // period.
  device->devices[0].state[16] = 1;
  clock.Advance(10);
  EXPECT_TRUE(QTest::qWaitFor([&] { return CentreOf(kIdLowerButton) == Lit(LampBrush::SecondRow); },
                              2000));
}

TEST_F(MainWindowTest, PushButtonDisplayHoldsTheChannelOnWhileTheButtonIsDown) {
  AddSwitchDevice(1);
  Dialog().m_oneLine = 1;
  Dialog().m_pushButton = 1;
  ASSERT_TRUE(Start());
  Activate();
  device->calls.clear();
  QTest::mousePress(W(kIdUpperButton), Qt::LeftButton);
  EXPECT_EQ(SetSwitches(), std::vector<std::string>{"SetSwitch 0 16 1"});
  QTest::mouseRelease(W(kIdUpperButton), Qt::LeftButton);
  EXPECT_EQ(SetSwitches(), (std::vector<std::string>{"SetSwitch 0 16 1", "SetSwitch 0 16 0"}));
}

TEST_F(MainWindowTest, AClickInProgressSurvivesATextChange) {
  AddSwitchDevice(1);
  ASSERT_TRUE(Start());
  // The countdown changes the text once a second; a press must not be lost.
  QTest::mousePress(W(kIdTimeButton), Qt::LeftButton);
  Dialog().SetWindowText(kIdTimeButton, "05");
  QTest::mouseRelease(W(kIdTimeButton), Qt::LeftButton);
  EXPECT_EQ(prompts.shown, std::vector<std::string>{"Timer"});
}

// ---- the ways the window ends ----

TEST_F(MainWindowTest, InTrayModeEscapeAndTheCloseBoxHideTheWindowIntoTheTray) {
  AddSwitchDevice(1);
  ASSERT_TRUE(Start());
  Activate();
  QTest::keyClick(&Window(), Qt::Key_Escape);
  EXPECT_EQ(tray.hidden, 1);
  EXPECT_FALSE(Window().close());
  EXPECT_EQ(tray.hidden, 2);
  QTest::keyClick(&Window(), Qt::Key_Return);
  EXPECT_FALSE(Window().Ending());
}

TEST_F(MainWindowTest, AStartHiddenInTheTrayAtTheLastExitStaysHidden) {
  AddSwitchDevice(1);
  registry.SetDword(RegRoot::CurrentUser, "SOFTWARE\\Arvendal GmbH\\USB\\Toggra", "OnTray", 1);
  ASSERT_TRUE(Window().Start(Dialog()));
  EXPECT_EQ(tray.hidden, 1);
  EXPECT_FALSE(Window().isVisible());
}

struct EndingKey {
  Qt::Key key;
  int result;
};

class EndingWithoutTray : public MainWindowTest, public ::testing::WithParamInterface<EndingKey> {};

TEST_P(EndingWithoutTray, KeyEndsTheModalRun) {
  AddSwitchDevice(1);
  Dialog().m_trayMode = 0;
  QTimer::singleShot(0, &Window(), [&] { QTest::keyClick(&Window(), GetParam().key); });
  EXPECT_EQ(Window().RunModal(Dialog()), GetParam().result);
  EXPECT_FALSE(Window().isVisible());
}

INSTANTIATE_TEST_SUITE_P(Keys, EndingWithoutTray,
                         ::testing::Values(EndingKey{Qt::Key_Escape, IDCANCEL},
                                           EndingKey{Qt::Key_Return, IDOK}),
                         [](const auto& info) {
                           return std::string(info.param.key == Qt::Key_Escape ? "Escape"
                                                                               : "Return");
                         });

TEST_F(MainWindowTest, ContextMenuCarriesTheSystemItemsAndBeendenEndsTheRun) {
  AddSwitchDevice(1);
  Dialog().m_logging = 1;
  QMenu* menu = Window().SystemMenu();
  const QString when = "Die Anzeigeoptionen gelten ab dem nächsten Start ohne Argumente";
  QTimer::singleShot(0, &Window(), [&] {
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, (QStringList{"-", "Inf&o über Toggra...", "&Anzeigeoptionen...", when, "-",
                                  "&Geräte und Verbindungen…", "Logfile", "-", "Beenden"}));
    // The note is no command; the entry that names the options opens them.
    EXPECT_FALSE(menu->actions()[3]->isEnabled());
    menu->actions()[2]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.shown, std::vector<std::string>{"About"});
    menu->actions().last()->trigger();
  });
  EXPECT_EQ(Window().RunModal(Dialog()), IDOK);
}

// ---- no device ----

TEST_F(MainWindowTest, StartErrorAnsweredWithOkRunsOneSimulatedColumn) {
  prompts.startErrorAnswers = {IDOK};
  ASSERT_TRUE(Start());
  EXPECT_EQ(prompts.shown, std::vector<std::string>{"StartError"});
  EXPECT_EQ(qobject_cast<QGroupBox*>(W(kIdGroupBox))->title(), QString("Simulation"));
  EXPECT_EQ(Window().width(), W(kIdGroupBox)->width());
  // The simulated column switches like a real one, without device commands.
  device->calls.clear();
  QTest::mouseClick(W(kIdLowerButton), Qt::LeftButton);
  Deliver();
  EXPECT_TRUE(SetSwitches().empty());
  EXPECT_EQ(CentreOf(kIdLowerButton), Lit(LampBrush::SecondRow));
}

TEST_F(MainWindowTest, StartErrorAnsweredWithAbbrechenEndsWithoutAWindow) {
  prompts.startErrorAnswers = {IDCANCEL};
  EXPECT_EQ(Window().RunModal(Dialog()), IDOK);
  EXPECT_EQ(prompts.shown, std::vector<std::string>{"StartError"});
  EXPECT_FALSE(Window().isVisible());
}

// ---- the key map ----

struct KeyCase {
  int qtKey;
  Qt::KeyboardModifiers modifiers;
  int virtualKey;
};

class KeyMapping : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyMapping, QtKeyGivesTheVirtualKey) {
  EXPECT_EQ(VirtualKeyFor(GetParam().qtKey, GetParam().modifiers), GetParam().virtualKey);
}

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kKeypad = Qt::KeypadModifier;

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyMapping,
    ::testing::Values(KeyCase{Qt::Key_F1, kNone, 0x70}, KeyCase{Qt::Key_F24, kNone, 0x87},
                      KeyCase{Qt::Key_Space, kNone, 0x20}, KeyCase{Qt::Key_5, kKeypad, 0x65},
                      KeyCase{Qt::Key_Slash, kKeypad, 0x6F},
                      KeyCase{Qt::Key_Asterisk, kKeypad, 0x6A},
                      KeyCase{Qt::Key_Minus, kKeypad, 0x6D}, KeyCase{Qt::Key_Plus, kKeypad, 0x6B},
                      KeyCase{Qt::Key_Comma, kKeypad, 0x6E}, KeyCase{Qt::Key_Period, kKeypad, 0x6E},
                      // Off the keypad, or with Num Lock off (keypad 1 is End): none.
                      KeyCase{Qt::Key_5, kNone, 0}, KeyCase{Qt::Key_Minus, kNone, 0},
                      KeyCase{Qt::Key_End, kKeypad, 0}),
    [](const auto& info) {
      return test::RowName(info.index, "Vk" + std::to_string(info.param.virtualKey));
    });

}  // namespace
}  // namespace toggra::gui

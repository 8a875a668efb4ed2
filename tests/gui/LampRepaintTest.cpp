// How often the real lamp buttons are painted while the tick runs: only a
// column that changed, once per change, and a counting column once a second.
// Ticks are driven by calling TimerTick directly, with the clock standing
// still past every quiet period.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "gui/LampButton.h"
#include "gui/MainWindow.h"
#include "support/FakePivlink.h"
#include "support/FakePrompts.h"
#include "support/FakeTrayShell.h"
#include "support/ManualClock.h"
#include "support/MemoryFiles.h"
#include "support/MemoryRegistry.h"

namespace toggra::gui {
namespace {

// No tick of the window's own timer comes during a test.
constexpr int kQuietTickMs = 3'600'000;
constexpr int kColumns = 3;
constexpr int kTicksPerSecond = 10;

class PaintCounter : public QObject {
 public:
  std::map<int, int> paints;  // by control ID

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      ++paints[static_cast<CLampButton*>(watched)->ControlId()];
    return QObject::eventFilter(watched, event);
  }
};

class LampRepaints : public ::testing::Test {
 protected:
  LampRepaints() {
    auto dev = std::make_unique<test::FakePivlink>();
    device = dev.get();
    test::FakeDevice d;
    d.switches = kColumns;
    device->devices.push_back(d);
    m_window = std::make_unique<CMainWindow>(kQuietTickMs);
    m_pending = std::move(dev);
    DlgServices s = CServiceBuilder(CServiceBuilder::Kind::Desktop)
                        .Host(*m_window.get())
                        .Prompts(m_prompts)
                        .Clock(clock)
                        .Registry(m_registry)
                        .SettingsRoot(m_settingsRoot)
                        .Files(m_files)
                        .TrayShell(m_tray)
                        .Devices([this] { return std::move(m_pending); })
                        .Build();
    m_dlg = std::make_unique<CToggraDlg>(s);
  }
  ~LampRepaints() override {
    m_window.reset();
    m_dlg.reset();
  }

  // The dialog's flags before the start; the start-up lays the window out.
  virtual void Configure() {}

  void SetUp() override {
    Configure();
    ASSERT_TRUE(m_window->Start(*m_dlg));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    for (CLampButton* lamp : m_window->findChildren<CLampButton*>())
      lamp->installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.paints.clear();
  }

  // n ticks, each followed by the painting it asked for.
  void Ticks(int n) {
    for (int k = 0; k < n; ++k) {
      m_dlg->TimerTick();
      QCoreApplication::processEvents();
    }
  }
  // Paints of the lamps of column i that lie inside the window.
  int ShownPaints(int i) {
    int n = 0;
    for (int base : {kIdUpperButton, kIdLowerButton, kIdThirdButton}) {
      if (m_window->rect().intersects(m_window->ControlWidget(base + i)->geometry()))
        n += counter.paints[base + i];
    }
    return n;
  }
  CToggraDlg& Dlg() { return *m_dlg; }
  CMainWindow& Window() { return *m_window; }

  test::FakePivlink* device;
  test::ManualClock clock;
  PaintCounter counter;

 private:
  test::FakePrompts m_prompts;
  test::MemoryRegistry m_registry;
  DeviceSettingsRoot m_settingsRoot;
  test::MemoryFiles m_files;
  test::FakeTrayShell m_tray;
  std::unique_ptr<test::FakePivlink> m_pending;
  std::unique_ptr<CMainWindow> m_window;
  std::unique_ptr<CToggraDlg> m_dlg;
};

TEST_F(LampRepaints, IdleTicksPaintNothingAndAChangePaintsItsColumnOnce) {
  Ticks(3 * kTicksPerSecond);
  EXPECT_TRUE(counter.paints.empty());

  // Someone else switches channel 2 on: its two shown lamps are painted once.
  device->devices[0].state[kFirstSwitchId + 1] = 1;
  Ticks(3 * kTicksPerSecond);
  EXPECT_EQ(ShownPaints(1), 2);
  EXPECT_EQ(ShownPaints(0), 0);
  EXPECT_EQ(ShownPaints(2), 0);
}

TEST_F(LampRepaints, ACountingColumnIsPaintedOnceASecond) {
  Dlg().m_records[0].m_timer = 5;
  Dlg().SwitchGreen(0);
  // Past the command's quiet period: the reading agrees with the command.
  clock.Advance(10);
  QCoreApplication::processEvents();
  counter.paints.clear();

  Ticks(3 * kTicksPerSecond);
  // Two shown lamps, three whole seconds.
  EXPECT_EQ(ShownPaints(0), 2 * 3);
  EXPECT_EQ(ShownPaints(1), 0);
  EXPECT_EQ(ShownPaints(2), 0);
}

// ---- the look of the laid-out window ----

// One-line display leaves the lower row below the window's bottom, but the
// cut runs through the lower lamps.
class OneLineWindow : public LampRepaints {
 protected:
  void Configure() override { Dlg().m_oneLine = 1; }
};

TEST_F(OneLineWindow, NoSliverOfTheHiddenLowerLampShowsNorTakesTheFocus) {
  auto* lower = static_cast<CLampButton*>(Window().ControlWidget(kIdLowerButton));
  const QRect sliver = Window().rect().intersected(lower->geometry());
  ASSERT_FALSE(sliver.isEmpty()) << "the layout no longer cuts the lower row";
  EXPECT_TRUE(lower->CutOff());
  EXPECT_EQ(lower->focusPolicy(), Qt::NoFocus);
  const QImage shown = Window().grab(sliver).toImage();
  lower->hide();
  EXPECT_EQ(shown, Window().grab(sliver).toImage());
  // The lamps the window shows whole stay as they were.
  EXPECT_FALSE(static_cast<CLampButton*>(Window().ControlWidget(kIdUpperButton))->CutOff());
  EXPECT_NE(Window().ControlWidget(kIdUpperButton)->focusPolicy(), Qt::NoFocus);
}

// Captions keep room from the window's left and right edge, also one that is
// wider than its column.
class Captions : public LampRepaints {
 protected:
  void Configure() override { Dlg().m_nameList = &m_names; }
  // The dialog empties its name list when it goes, after this fixture's own
  // members are gone.
  void TearDown() override { Dlg().m_nameList = nullptr; }

  // The columns x of the caption text's dark pixels above the first lamp.
  std::pair<int, int> TextColumns(int column) {
    const QWidget* frame = Window().ControlWidget(kIdGroupBox + column);
    const int bottom = Window().ControlWidget(kIdUpperButton + column)->y();
    const QImage image = Window().grab(QRect(0, 0, Window().width(), bottom)).toImage();
    int left = Window().width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = frame->x(); x <= frame->geometry().right(); ++x) {
        if (image.pixelColor(x, y).lightness() >= kDark) continue;
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
    return {left, right};
  }

  static constexpr int kDark = 100;
  static constexpr int kMinimumPadding = 2;
  std::vector<std::string> m_names = {"Pumpe", "B", "Eine sehr lange Beschriftung"};
};

TEST_F(Captions, KeepRoomFromTheWindowEdges) {
  const auto [left, firstRight] = TextColumns(0);
  ASSERT_LE(left, firstRight) << "no caption text found";
  EXPECT_GE(left, kMinimumPadding);
  const auto [longLeft, right] = TextColumns(kColumns - 1);
  ASSERT_LE(longLeft, right);
  EXPECT_LT(right, Window().width() - kMinimumPadding);
}

}  // namespace
}  // namespace toggra::gui

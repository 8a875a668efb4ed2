// The one path of column changes: observers, the state-file mirror, and the
// services the composition root hands the dialog.
#include <gtest/gtest.h>

#include "app/Composition.h"
#include "app/Headless.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

struct Recorder : IColumnObserver {
  std::vector<std::string> seen;
  void OnColumnChanged(const CToggraDlg& dlg, int i, unsigned what) override {
    seen.push_back(Format("%d:%u:%d", i, what, dlg.m_records[i].m_state));
  }
  void OnColumnsReset(const CToggraDlg& dlg) override {
    seen.push_back(Format("reset %d", dlg.m_switchCount));
  }
  void OnDialogEnding(const CToggraDlg&) override { seen.push_back("end"); }
};

std::string State(int i, int state) { return Format("%d:%u:%d", i, kChangeState, state); }
std::string Countdown(int i, int state) { return Format("%d:%u:%d", i, kChangeCountdown, state); }

class ColumnChanges : public ::testing::Test {
 protected:
  // Two plain channels, started for real, with a recorder attached before.
  void Start(int channels = 2) {
    FakeDevice dev;
    dev.switches = channels;
    t.device->devices.push_back(dev);
    d.AddObserver(&rec);
    d.AddObserver(&rec);  // a second add is no second observer
    ASSERT_TRUE(d.OnInitDialog());
  }
  void Ticks(int n) {
    for (int k = 0; k < n; ++k) d.TimerTick();
  }
  Recorder rec;  // outlives the dialog, which tells it of its end
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

TEST_F(ColumnChanges, ObserversHearOfEveryChangeOnceAndOnlyAfterStartUp) {
  d.m_exclusive = 1;
  Start(2);
  // Start-up itself is one reset, not a change per column.
  EXPECT_EQ(rec.seen, std::vector<std::string>{"reset 2"});
  rec.seen.clear();

  d.SwitchGreen(0);
  d.SwitchGreen(0);  // no change, nothing told
  EXPECT_EQ(rec.seen, std::vector<std::string>{State(0, 1)});
  rec.seen.clear();

  // The read-back after the quiet period: a channel switched by hand.
  t.device->devices[0].state[17] = 1;
  t.clock.Advance(5);
  d.TimerTick();
  EXPECT_EQ(rec.seen, std::vector<std::string>{State(1, 1)});
  rec.seen.clear();

  d.RemoveObserver(&rec);
  d.SwitchRed(1);
  EXPECT_TRUE(rec.seen.empty());
  d.AddObserver(&rec);
  t.Destroy();
  EXPECT_EQ(rec.seen, std::vector<std::string>{"end"});
}

TEST_F(ColumnChanges, ACountdownIsToldOncePerSecondShown) {
  Start(1);
  d.m_records[0].m_timer = 2;
  rec.seen.clear();
  d.SwitchGreen(0);
  Ticks(20);
  // On, the text "01" after a second, then the end: text back to "02".
  EXPECT_EQ(rec.seen, (std::vector<std::string>{State(0, 1), Countdown(0, 1), Countdown(0, 1)}));
  EXPECT_EQ(d.Control(kIdTimeButton).text, "02");
}

TEST_F(ColumnChanges, TheStateFileFollowsATrafficLightRunToRed) {
  d.m_trafficLight = 1;
  d.m_stateFile = "state";
  FakeDevice light;
  light.ampel = 1;
  light.switches = 3;
  t.device->devices.push_back(light);
  ASSERT_TRUE(d.OnInitDialog());
  d.m_records[0].m_timer = 1, d.m_records[0].m_timer2 = 1;
  d.StartStop(0);
  EXPECT_EQ(t.files.files["state"], "1 0 0 0 0 0 0 0");
  Ticks(10);
  EXPECT_EQ(t.files.files["state"], "2 0 0 0 0 0 0 0");
  const int writes = t.files.writeOpens;
  Ticks(5);  // nothing changed: nothing written
  EXPECT_EQ(t.files.writeOpens, writes);
  Ticks(5);
  EXPECT_EQ(t.files.files["state"], "0 0 0 0 0 0 0 0");
}

TEST_F(ColumnChanges, TheStateFileFollowsTheEndOfATimedSwitchOn) {
  d.m_stateFile = "state";
  Start(1);
  d.m_records[0].m_timer = 1;
  d.SwitchGreen(0);
  EXPECT_EQ(t.files.files["state"], "1 0 0 0 0 0 0 0");
  Ticks(10);
  t.clock.Advance(5);
  d.TimerTick();  // the read-back finds the channel off
  EXPECT_EQ(d.m_records[0].m_state, kStateOff);
  EXPECT_EQ(t.files.files["state"], "0 0 0 0 0 0 0 0");
}

TEST_F(ColumnChanges, AnInvertedChannelIsSwitchedOffWithItsOwnValue) {
  Start(1);
  SwitchRecord& r = d.m_records[0];
  r.m_inverted = 1;
  r.m_timer = 1;
  t.device->calls.clear();
  d.SwitchGreen(0);  // 0 switches an inverted channel on
  Ticks(10);         // the timed switch-on ends
  d.SwitchDark(0);
  EXPECT_EQ(t.device->CallsOf("SetSwitch"),
            (std::vector<std::string>{"SetSwitch 0 16 0", "SetSwitch 0 16 1", "SetSwitch 0 16 1"}));
}

TEST(GroupStateMirror, AStateTakenFromTheFileIsNotWrittenBack) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4;
  d.m_stateFile = "state";
  t.device->devices.push_back({});
  for (int i = 0; i < 8; ++i) t.AddColumn(0, kFirstSwitchId + i, kStateOff);
  t.files.files["state"] = "1 0 0 0 0 0 0 1";
  d.TimerTick();
  d.TimerTick();
  EXPECT_EQ(t.States(), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(t.files.writeOpens, 0);
  // A read-back in the group layout is not written either: the file drives.
  t.files.files.erase("state");
  t.device->devices[0].state[17] = 1;
  t.clock.Advance(5);
  d.TimerTick();
  EXPECT_EQ(d.m_records[1].m_state, kStateOn);
  EXPECT_EQ(t.files.writeOpens, 0);
}

TEST(Composition, AHeadlessRunGetsNullWindowAndTrayAndAnswersNobody) {
  ManualClock clock;
  MemoryRegistry registry;
  MemoryFiles files;
  DeviceSettingsRoot root;
  CServiceBuilder builder(CServiceBuilder::Kind::Headless);
  const DlgServices s = builder.Clock(clock).Registry(registry).Files(files).SettingsRoot(root).Build();
  ASSERT_NE(s.host, nullptr);
  ASSERT_NE(s.trayShell, nullptr);
  ASSERT_NE(s.prompts, nullptr);
  // No device configured and no state file: the no-device dialog is answered
  // with Abbrechen, so the program ends after its start-up.
  CToggraDlg d(builder.Devices([] { return std::make_unique<FakePivlink>(); }).Build());
  ASSERT_TRUE(d.OnInitDialog());
  EXPECT_TRUE(d.Ended());
  EXPECT_EQ(d.m_switchCount, 1);  // the simulated column, with a tray of nothing
  d.OnCommand(kCmdOpenApp);       // "Applikation öffnen" reaches the null tray
}

TEST(Composition, ADialogWithoutTrayShellOrPromptsStillStartsInTrayMode) {
  ManualClock clock;
  MemoryRegistry registry;
  MemoryFiles files;
  DeviceSettingsRoot root;
  DlgServices s;
  s.clock = &clock, s.registry = &registry, s.files = &files, s.settingsRoot = &root;
  auto lib = std::make_unique<FakePivlink>();
  lib->devices.push_back({});
  FakePivlink* device = lib.get();
  s.createDevice = [&lib] { return std::move(lib); };
  CToggraDlg d(s);
  ASSERT_TRUE(d.OnInitDialog());
  EXPECT_EQ(d.m_switchCount, 1);
  EXPECT_NE(d.m_records[0].m_tray, nullptr);
  d.OnCancel();  // hides into the null tray
  d.SwitchGreen(0);
  EXPECT_EQ(device->CallsOf("SetSwitch").back(), "SetSwitch 0 16 1");
}

}  // namespace
}  // namespace toggra::test

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "support/TestDialog.h"

namespace toggra::test {
namespace {

enum class Op { Green, Red, Yellow, Dark };

void Apply(CToggraDlg& d, Op op, int i) {
  switch (op) {
    case Op::Green: return d.SwitchGreen(i);
    case Op::Red: return d.SwitchRed(i);
    case Op::Yellow: return d.SwitchYellow(i);
    case Op::Dark: return d.SwitchDark(i);
  }
}

std::string Set(int devNo, int id, int on) { return Format("SetSwitch %d %d %d", devNo, id, on); }

class Switching : public ::testing::Test {
 protected:
  TestDialog t;
  CToggraDlg& d = t.Dialog();

  void Columns(int n, int state) {
    for (int j = 0; j < n; ++j) t.AddColumn(j / 8, kFirstSwitchId + j % 8, state);
  }
  std::vector<std::string> Sent() const { return t.device->CallsOf("SetSwitch"); }
};

// What each operation sends to one column on a device, and the state it leaves.
struct SendCase {
  const char* name;
  int trafficLight, oneLine, inverted, before;
  Op op;
  std::vector<std::pair<int, int>> sends;  // id, value
  int after;
};

class SendTable : public Switching, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTable, SendsAndRecordsTheState) {
  const SendCase& c = GetParam();
  d.m_trafficLight = c.trafficLight;
  d.m_oneLine = c.oneLine;
  t.AddColumn(0, kFirstSwitchId, c.before).m_inverted = c.inverted;
  t.clock.Set(0x1'2345'6789);
  Apply(d, c.op, 0);
  std::vector<std::string> expected;
  for (auto [id, on] : c.sends) expected.push_back(Set(0, id, on));
  EXPECT_EQ(Sent(), expected);
  EXPECT_EQ(d.m_records[0].m_state, c.after);
  EXPECT_EQ(d.m_records[0].m_commandTime, 0x2345'6789);
}

INSTANTIATE_TEST_SUITE_P(
    Switching, SendTable,
    ::testing::Values(
        SendCase{"TwoRowOn", 0, 0, 0, 0, Op::Green, {{16, 1}}, 1},
        SendCase{"TwoRowOff", 0, 0, 0, 1, Op::Red, {{16, 0}}, 0},
        SendCase{"TwoRowInvertedOn", 0, 0, 1, 1, Op::Green, {{16, 0}}, 0},
        SendCase{"TwoRowInvertedOff", 0, 0, 1, 0, Op::Red, {{16, 1}}, 1},
        SendCase{"OneRowOn", 0, 1, 0, 0, Op::Green, {{16, 1}}, 1},
        SendCase{"OneRowToggleFromOffSwitchesOn", 0, 1, 0, 0, Op::Red, {{16, 1}}, 1},
        SendCase{"OneRowToggleFromOnSwitchesOff", 0, 1, 0, 1, Op::Red, {{16, 0}}, 0},
        SendCase{"OneRowInvertedOn", 0, 1, 1, 1, Op::Green, {{16, 0}}, 0},
        SendCase{"OneRowInvertedToggleUp", 0, 1, 1, 0, Op::Red, {{16, 1}}, 1},
        SendCase{"OneRowInvertedToggleDown", 0, 1, 1, 1, Op::Red, {{16, 0}}, 0},
        SendCase{"PlainDark", 0, 0, 0, 1, Op::Dark, {{16, 0}}, 3},
        SendCase{"LightGreen", 1, 0, 0, 0, Op::Green, {{16, 0}, {17, 0}, {18, 1}}, 1},
        SendCase{"LightRed", 1, 0, 0, 1, Op::Red, {{16, 1}, {17, 0}, {18, 0}}, 0},
        SendCase{"LightYellowFirst", 1, 0, 0, 0, Op::Yellow, {{17, 1}, {16, 0}, {18, 0}}, 2},
        SendCase{"LightDark", 1, 0, 0, 1, Op::Dark, {{16, 0}, {17, 0}, {18, 0}}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Switching, LightWithTotalTimeStartsTheDarkLeadIn) {
  d.m_trafficLight = 1;
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId);
  t.AddTray(0);
  r.m_timerT = 90, r.m_timer2 = 10, r.m_timer = 60;
  d.m_stateFile = "state";
  d.SwitchGreen(0);
  EXPECT_EQ(Sent(), (std::vector{Set(0, 16, 0), Set(0, 17, 0), Set(0, 18, 0)}));
  EXPECT_EQ(r.m_countdownT, 200);
  EXPECT_EQ(r.m_state, kStateDark);
  EXPECT_TRUE(r.m_timeButton->pressed);
  EXPECT_EQ(r.m_commandTime, 0);
  EXPECT_EQ(t.tray.IconOf(kTrayIdTrafficLight), kIconRed);
  EXPECT_EQ(t.files.files["state"], "3 0 0 0 0 0 0 0");
  // Yellow and "Aus" change a mirrored state too: the file follows each.
  d.SwitchYellow(0);
  EXPECT_EQ(t.files.files["state"], "2 0 0 0 0 0 0 0");
  d.SwitchDark(0);
  EXPECT_EQ(t.files.files["state"], "3 0 0 0 0 0 0 0");
  EXPECT_EQ(t.files.writeOpens, 3);
}

TEST_F(Switching, TimedSwitchOnIsArmedAndStoppedWithTheTimeButton) {
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId);
  r.m_timer = 5;
  d.SwitchGreen(0);
  EXPECT_EQ(r.m_countdown, 50);
  EXPECT_TRUE(r.m_timeButton->pressed);
  r.m_countdown2 = 7, r.m_countdownT = 9;
  d.SwitchRed(0);
  EXPECT_EQ(r.m_countdown + r.m_countdown2 + r.m_countdownT, 0);
  EXPECT_FALSE(r.m_timeButton->pressed);
  EXPECT_EQ(r.m_timeButton->text, "05");

  r.m_timer = 0;
  d.SwitchGreen(0);
  EXPECT_FALSE(r.m_timeButton->pressed);
  d.SwitchRed(0);
  EXPECT_EQ(r.m_timeButton->text, "Kurzzeit");
}

// Any int may come as a duration from the command line or the settings.
TEST_F(Switching, LongestDurationsStillArmARunningCountdown) {
  SwitchRecord& r = t.AddColumn(0, kFirstSwitchId);
  r.m_timer = r.m_timer2 = INT_MAX;
  d.SwitchGreen(0);
  d.SwitchYellow(0);
  EXPECT_GT(r.m_countdown, 0);
  EXPECT_GT(r.m_countdown2, 0);
  d.m_trafficLight = 1;
  r.m_timer = r.m_timer2 = 1;
  r.m_timerT = INT_MAX;
  d.SwitchGreen(0);
  EXPECT_GT(r.m_countdownT, 0);
}

TEST_F(Switching, TrayIconFollowsEveryOperation) {
  d.m_trafficLight = 1;
  t.AddColumn(0, kFirstSwitchId);
  t.AddTray(0);
  const std::pair<Op, IconId> steps[] = {
      {Op::Green, kIconGreen}, {Op::Yellow, kIconYellow}, {Op::Dark, kIconWhite}, {Op::Red, kIconRed}};
  for (auto [op, icon] : steps) {
    Apply(d, op, 0);
    EXPECT_EQ(t.tray.IconOf(kTrayIdTrafficLight), icon);
  }
}

// Exclusive switching, 8 columns all on: the switched column's half goes off.
struct ExclusiveCase {
  const char* name;
  Op op;
  int i;
  std::vector<std::pair<int, int>> sends;  // column, value
};

class ExclusiveSwitching : public Switching, public ::testing::WithParamInterface<ExclusiveCase> {};

TEST_P(ExclusiveSwitching, ForcesTheOtherColumnsOfItsHalfOff) {
  const ExclusiveCase& c = GetParam();
  d.m_exclusive = 1;
  Columns(8, kStateOn);
  Apply(d, c.op, c.i);
  std::vector<std::string> expected;
  std::vector<int> states(8, kStateOn);
  for (auto [j, on] : c.sends) {
    expected.push_back(Set(0, kFirstSwitchId + j, on));
    states[j] = on;
  }
  EXPECT_EQ(Sent(), expected);
  for (int j = 0; j < 8; ++j) EXPECT_EQ(d.m_records[j].m_state, states[j]) << "column " << j;
}

INSTANTIATE_TEST_SUITE_P(
    Switching, ExclusiveSwitching,
    ::testing::Values(
        ExclusiveCase{"OnInUpperHalf", Op::Green, 5, {{4, 0}, {5, 1}, {6, 0}, {7, 0}}},
        ExclusiveCase{"OffInLowerHalf", Op::Red, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        // A column is commanded in its own half, whichever operation it gets.
        ExclusiveCase{"OnInLowerHalf", Op::Green, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 0}}},
        ExclusiveCase{"OffInUpperHalf", Op::Red, 6, {{4, 0}, {5, 0}, {6, 0}, {7, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

class GroupBlockToggle : public Switching {
 protected:
  void Groups(int channels) {
    d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4;
    d.m_groupCount = (channels + 7) / 8;
    Columns(channels, kStateOff);
  }
};

TEST_F(GroupBlockToggle, LowerButtonTogglesTheSecondBlockWithItsNeighboursOff) {
  Groups(8);
  d.m_exclusive = 1;
  t.AddTray(2);
  d.m_records[2].m_timer = 5;
  d.m_records[4].m_state = d.m_records[7].m_state = kStateOn;
  d.SwitchGreen(2);
  d.SwitchGreen(2);
  EXPECT_EQ(Sent(), (std::vector{Set(0, 20, 0), Set(0, 21, 0), Set(0, 22, 1), Set(0, 23, 0),
                                 Set(0, 20, 0), Set(0, 21, 0), Set(0, 22, 0), Set(0, 23, 0)}));
  EXPECT_EQ(d.m_records[4].m_state + d.m_records[7].m_state, 0);
  EXPECT_EQ(d.m_records[2].m_countdown, 0);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 2), kIconRed);
}

TEST_F(GroupBlockToggle, EveryGroupOfTwoDevicesFollows) {
  Groups(16);
  d.SwitchGreen(1);
  d.SwitchRed(1);
  EXPECT_EQ(Sent(), (std::vector{Set(0, 21, 1), Set(1, 21, 1), Set(0, 17, 1), Set(1, 17, 1)}));
}

TEST_F(GroupBlockToggle, TrayCommandOfAChannelBeyondTheShownColumnsTogglesNothing) {
  Groups(16);
  d.SwitchGreen(13);  // 13 + 12 would lie past the sixteen records
  d.SwitchRed(6);
  EXPECT_TRUE(Sent().empty());
  for (int j = 0; j < 16; ++j) EXPECT_EQ(d.m_records[j].m_state, kStateOff);
}

TEST_F(Switching, SimulationChangesStatesIconsAndCountdownsOnly) {
  d.m_simulation = 1;
  d.m_exclusive = 1;
  d.m_stateFile = "state";
  Columns(4, kStateOn);
  t.AddTray(3);
  d.m_records[3].m_state = kStateOff;
  d.m_records[3].m_timer = 2;
  d.SwitchGreen(3);
  EXPECT_EQ(d.m_records[3].m_state, kStateOn);
  EXPECT_EQ(d.m_records[2].m_state, kStateOff);
  EXPECT_EQ(d.m_records[1].m_state, kStateOn);
  EXPECT_EQ(d.m_records[3].m_countdown, 20);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 3), kIconGreen);
  EXPECT_EQ(t.files.files["state"].substr(0, 7), "1 1 0 1");
  d.SwitchRed(3);
  EXPECT_EQ(d.m_records[3].m_state, kStateOff);
  EXPECT_EQ(t.files.files["state"].substr(0, 7), "1 1 0 0");
  EXPECT_TRUE(Sent().empty());
}

class UnreachableCheck : public Switching {
 protected:
  void SetUp() override {
    d.m_logging = 1;
    t.AddColumn(0, kFirstSwitchId, kStateUnreachable);
  }
};

TEST_F(UnreachableCheck, AbbrechenLeavesEverythingAndOkEnds) {
  t.prompts.deviceErrorAnswers = {IDCANCEL, IDOK};
  d.SwitchGreen(0);
  EXPECT_FALSE(d.Ended());
  d.SwitchRed(0);
  EXPECT_EQ(t.host.ended, std::vector{IDOK});
  EXPECT_EQ(t.prompts.shown, (std::vector<std::string>{"DeviceError", "DeviceError"}));
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(d.m_records[0].m_state, kStateUnreachable);
  EXPECT_EQ(d.m_logLines, (std::vector<std::string>{"green[0]\r\n", "red[0]\r\n"}));
  EXPECT_EQ(d.m_semaphore.Count(), 1);
}

TEST_F(UnreachableCheck, YellowDarkAndSimulationSwitchWithoutAsking) {
  d.SwitchYellow(0);
  d.m_records[0].m_state = kStateUnreachable;
  d.SwitchDark(0);
  d.m_simulation = 1;
  d.m_records[0].m_state = kStateUnreachable;
  d.SwitchGreen(0);
  EXPECT_TRUE(t.prompts.shown.empty());
  EXPECT_EQ(d.m_records[0].m_state, kStateOn);
  EXPECT_EQ(d.m_logLines,
            (std::vector<std::string>{"yellow[0]\r\n", "off[0]\r\n", "green[0]\r\n"}));
}

// Nothing on the one thread can release the semaphore during a wait, so a
// wait must never pause: not the first command after start-up, not the
// one-line toggle-on with its nested SwitchGreen.
TEST_F(Switching, SemaphoreNeverPausesTheProgram) {
  d.m_oneLine = 1;
  t.AddColumn(0, kFirstSwitchId, kStateOff);
  d.SwitchRed(0);  // first use after start-up, toggles on
  EXPECT_EQ(Sent(), std::vector{Set(0, 16, 1)});
  d.SwitchRed(0);
  d.SwitchYellow(0);
  d.SwitchDark(0);
  d.m_records[0].m_state = kStateOff;
  d.SwitchRed(0);
  EXPECT_TRUE(t.clock.Sleeps().empty());
  EXPECT_EQ(d.m_semaphore.Count(), 1);
}

}  // namespace
}  // namespace toggra::test

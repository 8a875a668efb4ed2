#include <gtest/gtest.h>

#include "support/CaseNames.h"
#include "support/TestDialog.h"
#include "ui/LampPlan.h"

namespace toggra::test {
namespace {

class TrafficLightPoll : public ::testing::Test {
 protected:
  void SetUp() override {
    d.m_trafficLight = 1;
    t.device->devices.push_back({});
    t.AddColumn(0, kLampRed, kStateUnreachable);
    t.AddTray(0, kIconApp);
  }
  void Lamps(int red, int yellow, int green) {
    auto& s = t.device->devices[0].state;
    s[kLampRed] = red, s[kLampYellow] = yellow, s[kLampGreen] = green;
  }
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

struct LampCase {
  int before;
  int red, yellow, green;
  int state;
  IconId icon;  // kIconApp: left as it was
  bool redraw;
};

class LampTable : public TrafficLightPoll, public ::testing::WithParamInterface<LampCase> {};

TEST_P(LampTable, ReadingGivesStateIconAndRedraw) {
  const LampCase& c = GetParam();
  d.m_records[0].m_state = c.before;
  Lamps(c.red, c.yellow, c.green);
  d.TimerTick();
  EXPECT_EQ(d.m_records[0].m_state, c.state);
  EXPECT_EQ(t.tray.IconOf(kTrayIdTrafficLight), c.icon);
  EXPECT_EQ(t.host.InvalidationsOf(kIdUpperButton), c.redraw ? 1 : 0);
  EXPECT_EQ(t.device->CallsOf("GetSwitch"),
            (std::vector<std::string>{"GetSwitch 0 16", "GetSwitch 0 17", "GetSwitch 0 18"}));
}

INSTANTIATE_TEST_SUITE_P(Rows, LampTable,
                         ::testing::Values(LampCase{-1, 1, 0, 0, kStateOff, kIconRed, true},
                                           LampCase{-1, 0, 1, 0, kStateYellow, kIconYellow, true},
                                           LampCase{-1, 0, 0, 1, kStateOn, kIconGreen, true},
                                           LampCase{-1, 0, 0, 0, kStateDark, kIconWhite, false},
                                           LampCase{1, 1, 0, 1, kStateUnreachable, kIconApp, false},
                                           LampCase{1, 2, 0, 0, kStateUnreachable, kIconApp, false},
                                           LampCase{1, 0, -1, 0, kStateOn, kIconApp, false},
                                           LampCase{1, 0, 0, 1, kStateOn, kIconApp, false}),
                         [](const auto& info) {
                           return test::RowName(info.index,
                                                "Lamps" + std::to_string(info.param.red) +
                                                    std::to_string(info.param.yellow) +
                                                    std::to_string(info.param.green) + "_Before" +
                                                    std::to_string(info.param.before));
                         });

TEST_F(TrafficLightPoll, QuietForThreeSecondsAfterACommand) {
  Lamps(1, 0, 0);
  for (int64_t since : {-5, 0, 2}) {  // -5: the clock was set back
    d.m_records[0].m_commandTime = static_cast<int32_t>(t.clock.Time64() - since);
    d.TimerTick();
  }
  EXPECT_TRUE(t.device->CallsOf("GetSwitch").empty());
  d.m_records[0].m_commandTime = static_cast<int32_t>(t.clock.Time64() - 3);
  d.TimerTick();
  EXPECT_EQ(d.m_records[0].m_state, kStateOff);
}

class PlainSwitchPoll : public ::testing::Test {
 protected:
  void SetUp() override {
    t.device->devices.push_back({});
    SwitchRecord& r = t.AddColumn(0, kFirstSwitchId, kStateOff);
    r.m_timer = 5;
    d.SetWindowText(kIdTimeButton, "05");
    t.AddTray(0, kIconRed);
  }
  void Channel(int v) { t.device->devices[0].state[kFirstSwitchId] = v; }
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

// A channel switched by hand gets the timed switch-on of SwitchGreen; switched
// off by hand, the run ends early with its end-of-run step.
TEST_F(PlainSwitchPoll, ChannelFoundOnIsTimedAndFoundOffEndsTheRun) {
  d.m_protocolFile = "protocol.txt";
  d.m_records[0].m_candidate = "Ida";
  Channel(1);
  d.TimerTick();
  EXPECT_EQ(d.m_records[0].m_state, kStateOn);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch), kIconGreen);
  EXPECT_TRUE(d.Control(kIdTimeButton).pressed);
  for (int k = 1; k < 20; ++k) d.TimerTick();
  EXPECT_EQ(d.Control(kIdTimeButton).text, "03");
  Channel(0);
  d.TimerTick();
  EXPECT_EQ(d.Control(kIdTimeButton).text, "05");
  EXPECT_FALSE(d.Control(kIdTimeButton).pressed);
  EXPECT_EQ(t.files.files["protocol.txt"], "Ida; 0\r\n");
  EXPECT_TRUE(t.device->CallsOf("SetSwitch").empty());
  for (int k = 0; k < 50; ++k) d.TimerTick();
  EXPECT_TRUE(t.device->CallsOf("SetSwitch").empty());
}

// Group layout: channel c of an 8-channel device switched from outside. Each
// shown lamp whose picture the reading changes must be redrawn by the tick.
class GroupPollRedraw : public ::testing::TestWithParam<int> {
 protected:
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

TEST_P(GroupPollRedraw, EveryShownLampThatChangesIsInvalidated) {
  d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4, d.m_groupCount = 1;
  t.device->devices.push_back({});
  for (int j = 0; j < 8; ++j) t.AddColumn(0, kFirstSwitchId + j, kStateOff);
  std::vector<int> shown;
  for (int i = 0; i < d.m_groupSize; ++i) {
    shown.push_back(kIdUpperButton + i);
    shown.push_back(kIdLowerButton + i);
  }
  std::vector<LampBrush> before;
  for (int id : shown) before.push_back(PlanLamp(d, id).brush);
  t.device->devices[0].state[kFirstSwitchId + GetParam()] = 1;
  d.TimerTick();
  int changedLamps = 0;
  for (size_t k = 0; k < shown.size(); ++k) {
    if (PlanLamp(d, shown[k]).brush == before[k]) continue;
    ++changedLamps;
    EXPECT_GE(t.host.InvalidationsOf(shown[k]), 1) << "button " << shown[k];
  }
  EXPECT_EQ(changedLamps, 1);
}

INSTANTIATE_TEST_SUITE_P(Channels, GroupPollRedraw, ::testing::Range(0, 8));

class MultiSwitchPoll : public ::testing::Test {
 protected:
  // Device 0 with channels 16..18 and device 1 with channel 16, both type 40.
  void SetUp() override {
    t.device->devices.resize(2);
    const std::pair<int, int> channels[] = {{0, 16}, {0, 17}, {0, 18}, {1, 16}};
    for (auto [dev, id] : channels) {
      t.AddColumn(dev, id, kStateOff).m_usbType = 40;
      t.AddTray(d.m_switchCount - 1, kIconRed);
    }
  }
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

TEST_F(MultiSwitchPoll, OneReadingPerDeviceAndTickEvenWhileTheFirstChannelIsQuiet) {
  t.device->devices[0].state = {{17, 1}};
  t.device->devices[1].state = {{16, 1}};
  d.TimerTick();
  EXPECT_EQ(t.States(), (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(t.device->CallsOf("GetMultiSwitch"),
            (std::vector<std::string>{"GetMultiSwitch 0", "GetMultiSwitch 1"}));
  EXPECT_TRUE(t.device->CallsOf("GetSwitch").empty());
  d.m_records[0].m_commandTime = d.Now32();
  t.device->devices[0].state = {{18, 1}};
  d.TimerTick();
  EXPECT_EQ(t.States(), (std::vector<int>{0, 0, 1, 1}));
  EXPECT_EQ(t.device->CallsOf("GetMultiSwitch").size(), 4u);
}

TEST_F(MultiSwitchPoll, FailedReadMakesEveryChannelUnreachableAndStopsItsRun) {
  d.m_records[1].m_countdown = 40;
  t.device->devices[0].multiSwitchFails = true;
  d.TimerTick();
  EXPECT_EQ(t.States(), (std::vector<int>{-1, -1, -1, 0}));
  EXPECT_EQ(d.m_records[1].m_countdown, 0);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 2), kIconWhite);
  t.device->devices[0].multiSwitchFails = false;
  d.TimerTick();
  EXPECT_EQ(t.States(), (std::vector<int>{0, 0, 0, 0}));
}

}  // namespace
}  // namespace toggra::test

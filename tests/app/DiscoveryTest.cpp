// Which devices and channels become columns, and what their records hold.
#include <gmock/gmock.h>

#include "StartUpFixture.h"

#include "support/CaseNames.h"

namespace toggra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

class Discovery : public StartUpFixture {};

TEST_F(Discovery, FourChannelDeviceGetsAColumnPerChannelFromTheTable) {
  AddDevice(40, 4, 1234);
  Start();
  ASSERT_EQ(Dlg().m_switchCount, 4);
  const int ids[] = {16, 17, 18, 19}, keys[] = {40, 9, 10, 11};
  const char* captions[] = {"1234", "1234/2", "1234/3", "1234/4"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Dlg().m_records[i].m_switchId, ids[i]);
    EXPECT_EQ(Dlg().m_records[i].m_keyType, keys[i]);
    EXPECT_EQ(Text(kIdGroupBox + i), captions[i]);
  }
  EXPECT_EQ(Dlg().m_records[4].m_devNo, -1);
  EXPECT_THAT(t.prompts.shown, IsEmpty());
}

TEST_F(Discovery, UnusableDevicesArePassedOverSilently) {
  AddDevice(7, 2);                      // not a switch type
  AddDevice(8, 1).configFailures = 2;   // configuration unreadable twice
  AddDevice(48, 1, 77).configFailures = 1;
  Start();
  ASSERT_EQ(Dlg().m_switchCount, 1);
  EXPECT_EQ(Dlg().m_records[0].m_devNo, 2);
  EXPECT_THAT(t.device->CallsOf("GetOnlineOnCount"),
              ElementsAre("GetOnlineOnCount 1", "GetOnlineOnCount 2"));
  EXPECT_THAT(t.prompts.shown, IsEmpty());
}

TEST_F(Discovery, ColumnsEndAtSixteenAndChannelsAtEight) {
  AddDevice(8, 10);  // channels 9 and 10 have no place in the channel table
  AddDevice(8, 8);
  AddDevice(8, 8);
  Start();
  ASSERT_EQ(Dlg().m_switchCount, 16);
  const int keys[] = {8, 9, 10, 11, 0x34, 0x35, 0x36, 0x37};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Dlg().m_records[i].m_switchId, 16 + i);
    EXPECT_EQ(Dlg().m_records[i].m_keyType, keys[i]);
  }
  EXPECT_EQ(Dlg().m_records[8].m_devNo, 1);
  EXPECT_EQ(Dlg().m_records[15].m_devNo, 1);
  EXPECT_THAT(t.device->calls, Not(Contains("GetSwitch 0 24")));
  EXPECT_THAT(t.device->calls, Not(Contains("GetUSBType 2")));
}

TEST_F(Discovery, UnreachableChannelIsReportedAndItsRecordReused) {
  AddDevice(8, 3).state[17] = -1;
  Start();
  ASSERT_EQ(Dlg().m_switchCount, 2);
  EXPECT_EQ(Dlg().m_records[1].m_switchId, 18);
  EXPECT_EQ(Text(kIdGroupBox + 1), "1000/3");
  ASSERT_EQ(t.prompts.boxes.size(), 1u);
  EXPECT_EQ(t.prompts.boxes[0].text, "Schalter nicht erreichbar");
  EXPECT_EQ(t.prompts.boxes[0].caption, "Fehler");
}

TEST_F(Discovery, StateReadAtStartIsSentBackToTheChannel) {
  FakeDevice& dev = AddDevice(8, 2);
  dev.state[17] = 1;
  Start();
  EXPECT_EQ(Dlg().m_records[1].m_state, 1);
  EXPECT_THAT(t.device->CallsOf("SetSwitch"), ElementsAre("SetSwitch 0 16 0", "SetSwitch 0 17 1"));
}

TEST_F(Discovery, ChannelsAreInvertedWhenTheCutterAnswerIsOneOrSeventeen) {
  for (int answer : {0, 1, 17, 16}) AddDevice(8, 1).cutter = answer;
  Start();
  const int inverted[] = {0, 1, 1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Dlg().m_records[i].m_inverted, inverted[i]) << i;
}

class TrafficLightDiscovery : public StartUpFixture {
 protected:
  void AddLightsAndSwitch() {
    AddDevice(8, 3).ampel = 1;
    AddDevice(8, 2);
    AddDevice(8, 3).ampel = 1;
  }
};

TEST_F(TrafficLightDiscovery, OneColumnPerLightOnlyInTrafficLightMode) {
  AddLightsAndSwitch();
  Dlg().m_trafficLight = 1;
  Start();
  ASSERT_EQ(Dlg().m_switchCount, 2);
  EXPECT_EQ(Dlg().m_records[1].m_devNo, 2);
  EXPECT_EQ(Dlg().m_records[1].m_tray->Data().uID, kTrayIdTrafficLight + 1);
  EXPECT_THAT(t.device->CallsOf("SetSwitch"), IsEmpty());  // no colour letter: nothing sent

  TestDialog plain;
  plain.device->devices = t.device->devices;
  ASSERT_TRUE(plain.Dialog().OnInitDialog());
  EXPECT_EQ(plain.Dialog().m_switchCount, 8);
}

class GroupDiscovery : public StartUpFixture {
 protected:
  void SetUp() override {
    Dlg().m_groupMode = 1;
    Dlg().m_groupStride = 2;
    Dlg().m_groupSize = 4;
  }
};

TEST_F(GroupDiscovery, TwoEightChannelDevicesGiveTwoGroupsInFourColumns) {
  AddDevice(8, 8);
  AddDevice(8, 4);  // not exactly 8 channels
  AddDevice(8, 8);
  Dlg().m_colour1 = Dlg().m_colour2 = 0x003399;  // lamp colours, not durations
  StoreDword(8, 1, 1000, "SwitchTimer", 5);
  Start();
  EXPECT_EQ(Dlg().m_switchCount, 16);
  EXPECT_EQ(Dlg().m_records[0].m_timer, 0);
  EXPECT_TRUE(Dlg().Control(kIdTimeButton).enabled);
  EXPECT_EQ(Dlg().m_records[8].m_devNo, 2);
  EXPECT_EQ(Dlg().m_groupCount, 2);
  EXPECT_EQ(t.host.ClientWidth(), 4 * Dlg().Control(kIdGroupBox).rect.Width());
}

struct NumbersCase {
  int number1, number2;  // from the command line, -1 when absent
  int timer, timer2;
  bool locked;  // "Kurzzeit" and "Start" disabled
};
class StartNumbers : public StartUpFixture, public ::testing::WithParamInterface<NumbersCase> {};

TEST_P(StartNumbers, WinOverStoredDurationsAndLockTheButtonsWhenBothAreGiven) {
  AddDevice(8, 1);
  StoreDword(8, 1, 1000, "SwitchTimer", 5);
  StoreDword(8, 1, 1000, "SwitchTimer2", 6);
  StoreString(8, 1, 1000, "SwitchCandidate", "Anna");
  Dlg().m_colour1 = GetParam().number1;
  Dlg().m_colour2 = GetParam().number2;
  Start();
  const SwitchRecord& r = Dlg().m_records[0];
  EXPECT_EQ(r.m_timer, GetParam().timer);
  EXPECT_EQ(r.m_timer2, GetParam().timer2);
  EXPECT_EQ(r.m_candidate, "Anna");
  EXPECT_EQ(Dlg().Control(kIdTimeButton).enabled, !GetParam().locked);
  EXPECT_EQ(Dlg().Control(kIdStartButton).enabled, !GetParam().locked);
}

INSTANTIATE_TEST_SUITE_P(StartDurations, StartNumbers,
                         ::testing::Values(NumbersCase{-1, -1, 5, 6, false},
                                           NumbersCase{60, 30, 60, 30, true},
                                           NumbersCase{60, -1, 60, 6, false},
                                           // "60 -3" must not give a negative duration
                                           NumbersCase{60, -3, 60, 6, false}),
                         [](const auto& info) {
                           return test::RowName(
                               info.index, "N1_" + std::to_string(info.param.number1) + "_N2_" +
                                               std::to_string(info.param.number2));
                         });

struct TotalCase {
  int total, timer, timer2, kept;
};
class TotalTime : public StartUpFixture, public ::testing::WithParamInterface<TotalCase> {};

TEST_P(TotalTime, IsKeptOnlyWhenLongerThanBothDurations) {
  AddDevice(8, 1);
  StoreDword(8, 1, 1000, "SwitchTimerT", GetParam().total);
  StoreDword(8, 1, 1000, "SwitchTimer", GetParam().timer);
  StoreDword(8, 1, 1000, "SwitchTimer2", GetParam().timer2);
  Start();
  EXPECT_EQ(Dlg().m_records[0].m_timerT, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(StartDurations, TotalTime,
                         ::testing::Values(TotalCase{100, 60, 30, 100}, TotalCase{90, 60, 30, 0},
                                           TotalCase{70, 60, 10, 0}, TotalCase{71, 60, 10, 71},
                                           // the sum of two large durations must not wrap
                                           TotalCase{5, 2'000'000'000, 2'000'000'000, 0}),
                         [](const auto& info) {
                           return test::RowName(
                               info.index, "Total" + std::to_string(info.param.total) + "_Timers_" +
                                               std::to_string(info.param.timer) + "_" +
                                               std::to_string(info.param.timer2));
                         });

class TrayIcons : public StartUpFixture {};

TEST_F(TrayIcons, TooltipUsesDevIdOrSerialButNeverTheCaptionNames) {
  FakeDevice& dev = AddDevice(8, 2);
  dev.state[16] = 1;
  StoreString(9, 1, 1000, "devID", "Pumpe");
  StoreString(9, 1, 1000, "SwitchCandidate", "Anna");
  Start();
  EXPECT_EQ(Text(kIdGroupBox + 1), "Anna");
  EXPECT_EQ(t.tray.icons[kTrayIdSwitch].szTip, "Schalter 1000");
  EXPECT_EQ(t.tray.icons[kTrayIdSwitch].hIcon, kIconGreen);
  EXPECT_EQ(t.tray.icons[kTrayIdSwitch + 1].szTip, "Schalter Pumpe");
  EXPECT_EQ(t.tray.icons[kTrayIdSwitch + 1].hIcon, kIconRed);
  EXPECT_EQ(t.tray.icons[kTrayIdSwitch + 1].uCallbackMessage, kMsgTrayCallback + 1);
}

}  // namespace
}  // namespace toggra::test

namespace toggra::test {
namespace {

// Seconds from the "Kurzzeit" text ("hh:mm:ss", "mm:ss" or "ss").
int64_t ShownSeconds(const std::string& text) {
  int64_t seconds = 0, part = 0;
  for (const char c : text + ":") {
    if (c == ':') {
      seconds = seconds * 60 + part;
      part = 0;
    } else {
      part = part * 10 + (c - '0');
    }
  }
  return seconds;
}

struct HugeCase {
  const char* label;
  int number1;      // from the command line, -1 when absent
  int stored;       // SwitchTimer in the settings
};

class HugeDuration : public StartUpFixture, public ::testing::WithParamInterface<HugeCase> {};

TEST_P(HugeDuration, TheButtonShowsWhatTheRunThenCounts) {
  AddDevice(8, 1);
  StoreDword(8, 1, 1000, "SwitchTimer", GetParam().stored);
  Dlg().m_colour1 = GetParam().number1;
  Start();
  const int64_t shown = ShownSeconds(Text(kIdTimeButton));
  Dlg().SwitchGreen(0);
  for (int k = 0; k < 10; ++k) Dlg().TimerTick();
  EXPECT_EQ(ShownSeconds(Text(kIdTimeButton)), shown - 1) << Text(kIdTimeButton);
}

INSTANTIATE_TEST_SUITE_P(StartDurations, HugeDuration,
                         ::testing::Values(HugeCase{"CommandLine", 2147483647, 5},
                                           HugeCase{"Settings", -1, 2000000000},
                                           HugeCase{"Ordinary", 600, 5}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace toggra::test

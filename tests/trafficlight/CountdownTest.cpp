#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "support/TestDialog.h"

namespace toggra::test {
namespace {

// A tick source of 100 ms: the clock moves a second every ten ticks, so the
// read-back after each command's quiet period takes part as it does live.
class Ticking : public ::testing::Test {
 protected:
  void Tick(int n) {
    for (int k = 0; k < n; ++k) {
      d.TimerTick();
      if (++m_ticks % 10 == 0) t.clock.Advance(1);
    }
  }
  std::string TimeText() { return d.Control(kIdTimeButton).text; }
  bool TimePressed() { return d.Control(kIdTimeButton).pressed; }
  std::string StartText() { return d.Control(kIdStartButton).text; }
  std::string Protocol() { return t.files.files["runs.txt"]; }
  std::vector<std::string> Sent() {
    auto sent = t.device->CallsOf("SetSwitch");
    t.device->calls.clear();
    return sent;
  }

  TestDialog t;
  CToggraDlg& d = t.Dialog();

 private:
  int m_ticks = 0;
};

const std::vector<std::string> kSentGreen{"SetSwitch 0 16 0", "SetSwitch 0 17 0", "SetSwitch 0 18 1"};
const std::vector<std::string> kSentYellow{"SetSwitch 0 16 0", "SetSwitch 0 17 1", "SetSwitch 0 18 0"};
const std::vector<std::string> kSentRed{"SetSwitch 0 16 1", "SetSwitch 0 17 0", "SetSwitch 0 18 0"};
const std::vector<std::string> kSentDark{"SetSwitch 0 16 0", "SetSwitch 0 17 0", "SetSwitch 0 18 0"};

class TrafficLightRun : public Ticking {
 protected:
  void SetUp() override {
    d.m_trafficLight = 1;
    d.m_protocolFile = "runs.txt";
    t.device->devices.push_back({});
    r = &t.AddColumn(0, kLampRed, kStateOff);
    r->m_timer = 60, r->m_timer2 = 10, r->m_candidate = "Anna";
    t.AddTray(0);
  }
  SwitchRecord* r = nullptr;
};

TEST_F(TrafficLightRun, GreenYellowRedWithoutTotalThenExitOnRed) {
  d.m_exitOnRed = 1;
  d.StartStop(0);
  EXPECT_EQ(StartText(), "Stop");
  EXPECT_EQ(Sent(), kSentGreen);
  Tick(10);
  EXPECT_EQ(TimeText(), "59");
  Tick(580);
  EXPECT_EQ(TimeText(), "01");
  Tick(10);
  EXPECT_EQ(d.m_records[0].m_state, kStateYellow);
  EXPECT_EQ(Sent(), kSentYellow);
  EXPECT_EQ(t.tray.IconOf(kTrayIdTrafficLight), kIconYellow);
  Tick(10);
  EXPECT_EQ(TimeText(), "09");
  Tick(89);
  EXPECT_TRUE(t.host.ended.empty());
  Tick(1);
  EXPECT_EQ(t.host.ended, std::vector<int>{IDOK});
  EXPECT_EQ(d.m_records[0].m_state, kStateOff);
  EXPECT_EQ(Sent(), kSentRed);
  EXPECT_EQ(TimeText(), "10");
  EXPECT_FALSE(TimePressed());
  EXPECT_EQ(StartText(), "Start");
  EXPECT_EQ(Protocol(), "Anna; 0\r\n");
}

TEST_F(TrafficLightRun, TotalTimeLeadsInDarkAndEndsAtTheTotal) {
  r->m_timerT = 90;
  d.StartStop(0);
  EXPECT_EQ(Sent(), kSentDark);
  EXPECT_EQ(d.m_records[0].m_state, kStateDark);
  Tick(199);
  EXPECT_TRUE(Sent().empty());
  Tick(1);
  EXPECT_EQ(Sent(), kSentGreen);
  EXPECT_EQ(d.m_records[0].m_state, kStateOn);
  Tick(600);
  EXPECT_EQ(Sent(), kSentYellow);
  Tick(100);
  EXPECT_EQ(Sent(), kSentRed);
  EXPECT_EQ(TimeText(), "01:30");
  EXPECT_EQ(Protocol(), "Anna; 90\r\n");
}

TEST_F(TrafficLightRun, StopDuringGreenWritesElapsedTimeAndTurnsRed) {
  r->m_timerT = 90;
  d.StartStop(0);
  Tick(200 + 286);  // 314 ticks of green left
  Sent();
  d.StartStop(0);
  EXPECT_EQ(Protocol(), "Anna; 49\r\n");
  EXPECT_EQ(Sent(), kSentRed);
  EXPECT_EQ(d.m_records[0].m_state, kStateOff);
  EXPECT_EQ(StartText(), "Start");
  Tick(1000);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(TrafficLightRun, ZeroLengthPhaseHoldsTheColourWithoutEndingTheRun) {
  r->m_timer2 = 0;
  d.StartStop(0);
  Tick(600);
  EXPECT_EQ(d.m_records[0].m_state, kStateYellow);
  Tick(100);
  EXPECT_EQ(d.m_records[0].m_state, kStateYellow);
  EXPECT_EQ(StartText(), "Stop");
  EXPECT_TRUE(TimePressed());
  EXPECT_EQ(Protocol(), "");
}

TEST_F(TrafficLightRun, ColumnIsRedrawnOnlyOnceASecondAndOnPhaseChanges) {
  d.StartStop(0);
  t.host.invalidated.clear();
  Tick(9);
  EXPECT_TRUE(t.host.invalidated.empty());
  Tick(1);
  EXPECT_EQ(t.host.invalidated, (std::vector<int>{1002, 1034, 1018}));
  d.m_groupMode = 1;
  t.host.invalidated.clear();
  Tick(590);
  EXPECT_EQ(t.host.invalidated.size(), 59u * 2);
  EXPECT_EQ(t.host.InvalidationsOf(kIdThirdButton), 0);
}

class TimedSwitchOn : public Ticking {
 protected:
  void SetUp() override {
    t.device->devices.push_back({});
    t.AddColumn(0, kFirstSwitchId, kStateOff).m_timer = 5;
    d.SetWindowText(kIdTimeButton, "05");
  }
};

TEST_F(TimedSwitchOn, ChannelGoesOffAfterItsDurationAndThePollFollows) {
  d.SwitchGreen(0);
  EXPECT_TRUE(TimePressed());
  EXPECT_EQ(Sent(), std::vector<std::string>{"SetSwitch 0 16 1"});
  std::vector<std::string> texts;
  for (int s = 0; s < 4; ++s) {
    Tick(10);
    texts.push_back(TimeText());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"04", "03", "02", "01"}));
  Tick(10);
  EXPECT_EQ(Sent(), std::vector<std::string>{"SetSwitch 0 16 0"});
  EXPECT_EQ(TimeText(), "05");
  EXPECT_FALSE(TimePressed());
  EXPECT_EQ(d.m_records[0].m_state, kStateOn);
  Tick(1);
  EXPECT_EQ(d.m_records[0].m_state, kStateOff);
}

class EditDurations : public Ticking {
 protected:
  void SetUp() override {
    d.m_trafficLight = 1;
    d.m_protocolFile = "old.txt";
    r = &t.AddColumn(0, kLampRed);
    r->m_timer = 3725, r->m_timer2 = 10, r->m_candidate = "Ben";
    r->m_keyType = 0x12, r->m_version = 3, r->m_serial = 77;
    r->m_countdown = 40;
  }
  int Stored(const char* entry) {
    const auto name = CDeviceSettings::ValueName(0x12, 3, 77, entry);
    const MemoryRegistry::Value* v = t.registry.Find(RegRoot::LocalMachine, kDeviceSettingsKey, name);
    int out = -12345;
    if (v && v->type == REG_DWORD) std::memcpy(&out, v->data.data(), sizeof out);
    return out;
  }
  void Answer(std::array<int, 9> fields, std::string protocol, std::string candidate) {
    t.prompts.onTimerDlg = [=](CToggraTimerDlg& dlg) {
      dlg.m_hours = fields[0], dlg.m_minutes = fields[1], dlg.m_seconds = fields[2];
      dlg.m_hours2 = fields[3], dlg.m_minutes2 = fields[4], dlg.m_seconds2 = fields[5];
      dlg.m_hoursT = fields[6], dlg.m_minutesT = fields[7], dlg.m_secondsT = fields[8];
      dlg.m_protocol = protocol, dlg.m_candidateName = candidate;
      return IDOK;
    };
  }
  SwitchRecord* r = nullptr;
};

TEST_F(EditDurations, DialogShowsTheColumnAndCancelChangesOnlyTheFocus) {
  d.EditDurations(0);
  ASSERT_EQ(t.prompts.timerDialogs.size(), 1u);
  const CToggraTimerDlg& shown = t.prompts.timerDialogs[0];
  EXPECT_EQ((std::array{shown.m_hours, shown.m_minutes, shown.m_seconds, shown.m_seconds2,
                        shown.m_trafficLightMode}),
            (std::array{1, 2, 5, 10, 1}));
  EXPECT_EQ(shown.m_protocol + shown.m_candidateName, "old.txtBen");
  EXPECT_EQ(r->m_countdown, 40);
  EXPECT_EQ(Stored("SwitchTimer"), -12345);
  EXPECT_EQ(t.host.focus, kIdGroupBox);
}

TEST_F(EditDurations, OkStoresDurationsCandidateAndProtocolAndStopsTheRun) {
  Answer({0, 1, 0, 0, 0, 20, 0, 2, 0}, "new.txt", "Carla");
  d.EditDurations(0);
  EXPECT_EQ((std::array{Stored("SwitchTimer"), Stored("SwitchTimer2"), Stored("SwitchTimerT")}),
            (std::array{60, 20, 120}));
  EXPECT_EQ(r->m_countdown, 0);
  EXPECT_EQ(d.m_protocolFile, "new.txt");
  EXPECT_EQ(TimeText(), "01:00");
  EXPECT_EQ(d.Control(kIdGroupBox).text, "Carla");
  EXPECT_EQ(t.host.focus, kIdGroupBox);
  EXPECT_TRUE(t.files.files.empty());  // no protocol line
}

// A total not above both durations would leave the next start dark for good;
// hours beyond what the tick counters can hold must not overflow.
TEST_F(EditDurations, UnusableTotalIsDroppedAndHugeHoursAreBounded) {
  Answer({0, 1, 0, 0, 0, 20, 0, 1, 20}, "", "");
  d.EditDurations(0);
  EXPECT_EQ(Stored("SwitchTimerT"), 0);
  d.StartStop(0);
  EXPECT_EQ(d.m_records[0].m_state, kStateOn);
  Answer({2000000000, 0, 0, 0, 0, 0, 0, 0, 0}, "", "");
  d.EditDurations(0);
  EXPECT_GT(r->m_timer, 0);
  EXPECT_LE(static_cast<int64_t>(r->m_timer) * 30, INT32_MAX);
}

}  // namespace
}  // namespace toggra::test

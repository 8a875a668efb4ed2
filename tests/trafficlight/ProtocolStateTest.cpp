#include <gtest/gtest.h>

#include "support/CaseNames.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

struct ProtocolCase {
  int countdownT, countdown, countdown2;
  int timerT;
  std::string candidate;
  std::string line;
};

class ProtocolLine : public ::testing::TestWithParam<ProtocolCase> {
 protected:
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

TEST_P(ProtocolLine, ValueIsTheTimeUsedWithHalfSecondsRoundedUp) {
  const ProtocolCase& c = GetParam();
  d.m_protocolFile = "runs.txt";
  SwitchRecord& r = t.AddColumn(0, kLampRed);
  r.m_timer = 60, r.m_timer2 = 10, r.m_timerT = c.timerT, r.m_candidate = c.candidate;
  r.m_countdownT = c.countdownT, r.m_countdown = c.countdown, r.m_countdown2 = c.countdown2;
  d.WriteProtocol(0);
  EXPECT_EQ(t.files.files["runs.txt"], c.line);
  EXPECT_EQ(r.m_countdownT + r.m_countdown + r.m_countdown2, 0);
  EXPECT_EQ(d.Control(kIdStartButton).text, "Start");
}

INSTANTIATE_TEST_SUITE_P(Counters, ProtocolLine,
                         ::testing::Values(ProtocolCase{0, 0, 43, 90, "Eva", "Eva; 86\r\n"},
                                           ProtocolCase{0, 0, 45, 90, "Eva", "Eva; 85\r\n"},
                                           ProtocolCase{0, 314, 0, 90, "Eva", "Eva; 49\r\n"},
                                           ProtocolCase{150, 0, 0, 90, "Eva", "Eva; 5\r\n"},
                                           ProtocolCase{0, 0, 0, 90, "Eva", "Eva; 90\r\n"},
                                           ProtocolCase{0, 0, 43, 0, "Eva", "Eva; -4\r\n"},
                                           ProtocolCase{0, 0, 0, 0, "", "; 0\r\n"}),
                         [](const auto& info) {
                           return test::RowName(info.index, info.param.line);
                         });

TEST(ProtocolFile, WithoutPathOrWhenUnopenableNoLineIsWritten) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  t.AddColumn(0, kLampRed).m_countdown = 70;
  d.m_protocolFile = "locked.txt";
  t.files.unopenable.insert("locked.txt");
  d.WriteProtocol(0);
  ASSERT_EQ(t.prompts.boxes.size(), 1u);
  // The fixed text comes first; the path and the reason follow below it.
  EXPECT_EQ(t.prompts.boxes[0].text.substr(0, t.prompts.boxes[0].text.find('\n')) + "|" +
                t.prompts.boxes[0].caption,
            "Datei konnte nicht geöffnet werden|Fehler");
  EXPECT_TRUE(t.prompts.boxes[0].owned);
  EXPECT_EQ(d.m_records[0].m_countdown, 70);
  d.m_protocolFile.clear();
  d.WriteProtocol(0);
  EXPECT_EQ(d.m_records[0].m_countdown, 0);
  EXPECT_EQ(t.files.appendOpens, 1);
  EXPECT_EQ(t.prompts.boxes.size(), 1u);
}

// Group layout (-D -S state): the file holds one number per channel of a group.
class GroupStateFile : public ::testing::Test {
 protected:
  void SetUp() override {
    d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4;
    d.m_stateFile = "state";
    d.m_logging = 1;
    t.device->devices.push_back({});
  }
  void Columns(int n) {
    for (int i = 0; i < n; ++i) t.AddColumn(0, kFirstSwitchId + i, kStateOff);
  }
  TestDialog t;
  CToggraDlg& d = t.Dialog();
};

TEST_F(GroupStateFile, EightNumbersSwitchEveryChannelInOneTick) {
  Columns(8);
  t.files.files["state"] = "1 0 0 0 0 0 0 1";
  d.TimerTick();
  EXPECT_EQ(t.States(), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 1}));
  const auto sent = t.device->CallsOf("SetSwitch");
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(sent[0], "SetSwitch 0 16 1");
  EXPECT_EQ(sent[7], "SetSwitch 0 23 1");
  EXPECT_EQ(t.host.InvalidationsOf(-1), 1);
  EXPECT_EQ(d.m_stateFileOk, 1);
  EXPECT_EQ(t.host.title.find("warning"), std::string::npos);
}

TEST_F(GroupStateFile, TrayLampsFollowTheAppliedStates) {
  Columns(3);
  d.m_groupSize = 1, d.m_groupStride = 3;  // three values make a whole file here
  for (int i = 0; i < 3; ++i) t.AddTray(i, kIconRed);
  t.files.files["state"] = "1 0 -1";
  d.ReadState();
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 0), kIconGreen);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 1), kIconRed);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 2), kIconWhite);
}

TEST_F(GroupStateFile, SixteenChannelsTakeTheEightValuesTwice) {
  Columns(16);
  t.files.files["state"] = "0 1 0 0 1 0 0 0";
  d.ReadState();
  EXPECT_EQ(t.States(), (std::vector<int>{0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0}));
}

TEST_F(GroupStateFile, IncompleteOrDamagedFileIsNotApplied) {
  Columns(8);
  t.files.files["state"] = "0 0 0 0 0 0 0 0";
  d.ReadState();
  ASSERT_EQ(d.m_stateFileOk, 1);
  for (const char* text : {"1 1 1 1 1 1 1", "1 1 1 1 1 1 1 99999999999", "", "x"}) {
    t.files.files["state"] = text;
    d.ReadState();
    EXPECT_EQ(t.States(), std::vector<int>(8, 0)) << text;
    EXPECT_EQ(d.m_stateFileOk, 0) << text;
  }
  EXPECT_NE(t.host.title.find(" - warning - see log file"), std::string::npos);
  EXPECT_EQ(t.device->CallsOf("SetSwitch").size(), 8u);  // from the first, good file only
  EXPECT_TRUE(d.m_logLines.empty());  // only an open failure is logged
}

TEST_F(GroupStateFile, MissingFileIsLoggedOnEveryTickWithoutWaiting) {
  Columns(8);
  d.TimerTick();
  d.TimerTick();
  ASSERT_EQ(d.m_logLines.size(), 2u);
  EXPECT_EQ(d.m_logLines[0], "Read from state failed, err=2 - No such file or directory\r\n");
  EXPECT_TRUE(t.clock.Sleeps().empty());
}

TEST_F(GroupStateFile, WriteRetriesFiveTimesWhileLockedThenWarns) {
  Columns(8);
  d.m_records[0].m_state = 1, d.m_records[5].m_state = 1;
  t.files.lockedByOther.insert("state");
  d.SaveState();
  EXPECT_EQ(t.files.writeOpens, 5);
  EXPECT_EQ(t.clock.Sleeps(), std::vector<int>(5, 20));
  ASSERT_EQ(d.m_logLines.size(), 5u);
  EXPECT_EQ(d.m_logLines[0],
            "Write from state failed, err=11 - Resource temporarily unavailable\r\n");
  EXPECT_EQ(d.m_stateFileOk, 0);
  t.files.lockedByOther.clear();
  d.SaveState();
  EXPECT_EQ(t.files.files["state"], "1 0 0 0 0 1 0 0");
  EXPECT_EQ(d.m_stateFileOk, 1);
}

TEST(PlainStateFile, IsWrittenWithEightNumbersButNeverApplied) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_stateFile = "state";
  t.AddColumn(0, kFirstSwitchId, kStateOn);
  d.SaveState();
  EXPECT_EQ(t.files.files["state"], "1 0 0 0 0 0 0 0");
  t.files.files["state"] = "0 1 1 1 1 1 1 1";
  d.ReadState();
  EXPECT_EQ(d.m_records[0].m_state, kStateOn);
  EXPECT_EQ(d.m_stateFileOk, 0);
  EXPECT_TRUE(t.device->CallsOf("SetSwitch").empty());
}

}  // namespace
}  // namespace toggra::test

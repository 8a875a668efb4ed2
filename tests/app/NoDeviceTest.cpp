// Starting without a usable device: the start-error dialog, its stored flag
// and the simulated column.
#include <gmock/gmock.h>

#include <cstring>
#include <optional>

#include "StartUpFixture.h"
#include "support/CaseNames.h"

namespace toggra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kFlag = "00-00-00000000-DisplaySwitchStartError";

class NoDevice : public StartUpFixture {
 protected:
  std::optional<int> StoredFlag() {
    const auto* v = t.registry.Find(RegRoot::LocalMachine, kUsbKey, kFlag);
    if (!v || v->type != REG_DWORD || v->data.size() != 4) return std::nullopt;
    int out;
    std::memcpy(&out, v->data.data(), 4);
    return out;
  }
};

struct AnswerCase {
  int answer;
  int dontShow;
  int storedFlag;
  bool ends;
};
class StartErrorAnswer : public NoDevice, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(StartErrorAnswer, StoresTheCheckBoxAndEndsUnlessOk) {
  t.prompts.startErrorAnswers = {GetParam().answer};
  t.prompts.startErrorDontShow = {GetParam().dontShow};
  Start();
  EXPECT_THAT(t.prompts.shown, ElementsAre("StartError"));
  EXPECT_EQ(StoredFlag(), GetParam().storedFlag);
  EXPECT_EQ(t.host.ended, GetParam().ends ? std::vector<int>{IDOK} : std::vector<int>{});
  // The start-up still completes in simulation.
  EXPECT_EQ(Dlg().m_simulation, 1);
  EXPECT_EQ(Dlg().m_switchCount, 1);
  EXPECT_EQ(Text(kIdGroupBox), "Simulation");
}

INSTANTIATE_TEST_SUITE_P(
    NoDevice, StartErrorAnswer,
    ::testing::Values(AnswerCase{IDOK, 0, 1, false}, AnswerCase{IDOK, 1, 0, false},
                      AnswerCase{IDCANCEL, 0, 1, true}, AnswerCase{IDCANCEL, 1, 0, true},
                      AnswerCase{-1, 0, 1, true}),  // could not be shown
    [](const auto& info) {
      return test::RowName(info.index, std::string(info.param.answer == IDOK       ? "Ok"
                                                   : info.param.answer == IDCANCEL ? "Cancel"
                                                                                   : "NotShown") +
                                           (info.param.dontShow ? "_DontShowAgain" : ""));
    });

TEST_F(NoDevice, StoredZeroEndsAtOnceWithoutAsking) {
  t.registry.SetDword(RegRoot::LocalMachine, kUsbKey, kFlag, 0);
  Start();
  EXPECT_THAT(t.prompts.shown, IsEmpty());
  EXPECT_THAT(t.host.ended, ElementsAre(IDOK));
  EXPECT_EQ(StoredFlag(), 0);
}

TEST_F(NoDevice, StateFileStartsTheSimulationSilently) {
  Dlg().m_stateFile = "stand.txt";
  Start();
  EXPECT_THAT(t.prompts.shown, IsEmpty());
  EXPECT_FALSE(StoredFlag().has_value());
  EXPECT_THAT(t.host.ended, IsEmpty());
  EXPECT_EQ(Dlg().m_simulation, 1);
}

TEST_F(NoDevice, OnlyChannelUnreachableLeadsToTheStartError) {
  AddDevice(8, 1).state[16] = -1;
  Start();
  EXPECT_THAT(t.prompts.shown, ElementsAre("Box", "StartError"));
  EXPECT_EQ(Dlg().m_simulation, 1);
}

TEST_F(NoDevice, TrafficLightSimulationHasOneTrafficLightColumn) {
  Dlg().m_trafficLight = 1;
  Start();
  EXPECT_EQ(Dlg().m_switchCount, 1);
  EXPECT_EQ(t.tray.icons[kTrayIdTrafficLight].szTip, "Schalter Simulation");
}

// A 4-channel device is unusable in group mode; the simulation that stands in
// for it must not switch it, at start or when its blocks are clicked.
TEST_F(NoDevice, GroupSimulationHasEightRecordsAndSendsNothing) {
  AddDevice(8, 4);
  Dlg().m_groupMode = 1;
  Dlg().m_groupStride = 2;
  Dlg().m_groupSize = 4;
  Dlg().m_exclusive = 1;
  Start();
  EXPECT_EQ(Dlg().m_switchCount, 8);
  EXPECT_EQ(Dlg().m_groupCount, 1);
  EXPECT_EQ(Text(kIdGroupBox + 3), "Simulation");
  Dlg().m_records[5].m_state = kStateOn;
  Dlg().OnCommand(kIdLowerButton + 2);
  Dlg().OnCommand(kIdUpperButton + 1);
  EXPECT_EQ(Dlg().m_records[6].m_state, kStateOn);
  EXPECT_EQ(Dlg().m_records[5].m_state, kStateOff);
  EXPECT_EQ(Dlg().m_records[1].m_state, kStateOn);
  EXPECT_THAT(t.device->CallsOf("SetSwitch"), IsEmpty());
}

}  // namespace
}  // namespace toggra::test

// Captions, duration texts, window size, rows and title of the main window.
// FakeHost maps a column frame (60 x 179 dialog units) to 90 x 290 pixels and
// puts the client area 4 pixels right and 24 pixels down in the window.
#include "StartUpFixture.h"

#include "support/CaseNames.h"

namespace toggra::test {
namespace {

struct CaptionCase {
  bool candidate;
  int names;  // entries in the -N list
  bool devId;
  const char* caption;
};
class CaptionOrder : public StartUpFixture, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(CaptionOrder, CandidateThenNameThenDevIdThenSerial) {
  AddDevice(8, 2);
  if (GetParam().candidate) StoreString(9, 1, 1000, "SwitchCandidate", "Anna");
  if (GetParam().devId) StoreString(9, 1, 1000, "devID", "Pumpe");
  names.assign(GetParam().names, "Bert");
  Dlg().m_nameList = &names;
  Start();
  EXPECT_EQ(Text(kIdGroupBox + 1), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, CaptionOrder,
    ::testing::Values(CaptionCase{true, 2, true, "Anna"}, CaptionCase{false, 2, true, "Bert"},
                      CaptionCase{false, 1, true, "Pumpe"}, CaptionCase{false, 1, false, "1000/2"}),
    [](const auto& info) { return test::RowName(info.index, info.param.caption); });

class Layout : public StartUpFixture {};

TEST_F(Layout, SimulationFindsItsDevIdUnderTheSimulatedType) {
  StoreString(8, 5, 1, "devID", "Demo");
  Start();
  EXPECT_EQ(Text(kIdGroupBox), "Demo");
  EXPECT_EQ(t.tray.icons[kTrayIdSwitch].szTip, "Schalter Demo");
}

TEST_F(Layout, DurationTextShowsTheTotalElseTheFirstDuration) {
  AddDevice(8, 3);
  StoreDword(8, 1, 1000, "SwitchTimerT", 100);
  StoreDword(8, 1, 1000, "SwitchTimer", 60);
  StoreDword(8, 1, 1000, "SwitchTimer2", 30);
  StoreDword(9, 1, 1000, "SwitchTimer", 3725);
  Start();
  EXPECT_EQ(Text(kIdTimeButton), "01:40");
  EXPECT_EQ(Text(kIdTimeButton + 1), "01:02:05");
  EXPECT_EQ(Text(kIdTimeButton + 2), "Kurzzeit");
}

TEST_F(Layout, ClientAreaIsExactlyTheShownColumnsWide) {
  AddDevice(8, 3);
  Start();
  EXPECT_EQ(Dlg().Control(kIdGroupBox).rect.Width(), 90);
  EXPECT_EQ(t.host.ClientWidth(), 270);
}

TEST_F(Layout, TrafficLightRowsRunRedYellowGreen) {
  AddDevice(8, 3).ampel = 1;
  AddDevice(8, 3).ampel = 1;
  Dlg().m_trafficLight = 1;
  Start();
  EXPECT_EQ(Dlg().Control(kIdLowerButton).rect, (Rect{7, 216, 85, 289}));
  EXPECT_EQ(Dlg().Control(kIdLowerButton + 1).rect, (Rect{97, 216, 175, 289}));
  EXPECT_EQ(Dlg().Control(kIdThirdButton + 1).rect, (Rect{97, 117, 175, 190}));
  EXPECT_EQ(Dlg().Control(kIdUpperButton + 1).rect, (Rect{96, 17, 174, 90}));
}

enum class Mode { Plain, OneLine, OneLinePushButton, Group, TrafficLight };
struct ModeCase {
  Mode mode;
  int outerHeight;  // from the frame's 290 pixels, plus 3
  bool timeVisible, startVisible;
};
class ModeLayout : public StartUpFixture, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ModeLayout, HeightAndHiddenButtonsFollowTheMode) {
  AddDevice(8, 8).ampel = 1;
  CToggraDlg& d = Dlg();
  switch (GetParam().mode) {
    case Mode::OneLinePushButton: d.m_pushButton = 1; [[fallthrough]];
    case Mode::OneLine: d.m_oneLine = 1; break;
    case Mode::Group: d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4; break;
    case Mode::TrafficLight: d.m_trafficLight = 1; break;
    case Mode::Plain: break;
  }
  Start();
  EXPECT_EQ(t.host.outer.cy, GetParam().outerHeight);
  EXPECT_EQ(d.Control(kIdTimeButton).visible, GetParam().timeVisible);
  EXPECT_EQ(d.Control(kIdStartButton).visible, GetParam().startVisible);
  EXPECT_TRUE(d.Control(kIdStartButton + 8).visible);  // no column there
}

INSTANTIATE_TEST_SUITE_P(Layout, ModeLayout,
                         ::testing::Values(ModeCase{Mode::Plain, 229, true, false},
                                           ModeCase{Mode::OneLine, 148, true, false},
                                           ModeCase{Mode::OneLinePushButton, 133, false, false},
                                           ModeCase{Mode::Group, 240, false, false},
                                           // the height the window had before: 300
                                           ModeCase{Mode::TrafficLight, 303, true, true}),
                         [](const auto& info) {
                           return test::RowName(info.index,
                                                "Height" + std::to_string(info.param.outerHeight));
                         });

struct TitleCase {
  int trafficLight, groupMode;
  const char* stateFile;
  int stateFileOk;
  const char* title;
};
class Title : public StartUpFixture, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(Title, NamesTheModeAndWarnsUntilTheStateFileWorks) {
  Dlg().m_trafficLight = GetParam().trafficLight;
  Dlg().m_groupMode = GetParam().groupMode;
  Dlg().m_stateFile = GetParam().stateFile;
  Dlg().m_stateFileOk = GetParam().stateFileOk;
  Dlg().UpdateTitle();
  EXPECT_EQ(t.host.title, GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, Title,
    ::testing::Values(TitleCase{0, 0, "", 0, "Toggra"}, TitleCase{1, 0, "", 0, "Lumora "},
                      TitleCase{0, 1, "", 0, "Duoquad "}, TitleCase{1, 1, "", 0, "Duoquad "},
                      TitleCase{0, 0, "s.txt", 0, "Toggra - warning - see log file"},
                      TitleCase{1, 0, "s.txt", 0, "Lumora  - warning - see log file"},
                      TitleCase{0, 0, "s.txt", 1, "Toggra"}),
    [](const auto& info) { return test::RowName(info.index, info.param.title); });

}  // namespace
}  // namespace toggra::test

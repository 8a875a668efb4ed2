#include "ui/LampPlan.h"

#include <gtest/gtest.h>

#include <ostream>

#include "support/CaseNames.h"
#include "support/TestDialog.h"

namespace toggra {
namespace {

using test::TestDialog;

// One lamp decision: the dialog's mode, the column's record, the button.
struct LampCase {
  const char* name;
  int oneLine = 0, groupMode = 0, trafficLight = 0;
  int column = 0;
  int row = kIdUpperButton;
  int state = kStateOff, inverted = 0;
  int countdown = 0, timer = 0, countdown2 = 0, timer2 = 0, countdownT = 0, timerT = 0;
  int stateOfColumnPlus4 = kStateOff;
  LampBrush brush = LampBrush::None;
  double fraction = -1.0;
};

std::ostream& operator<<(std::ostream& os, const LampCase& c) { return os << c.name; }

class LampDecision : public testing::TestWithParam<LampCase> {};

TEST_P(LampDecision, PicksBrushAndElapsedShare) {
  const LampCase& c = GetParam();
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_oneLine = c.oneLine;
  d.m_groupMode = c.groupMode;
  d.m_trafficLight = c.trafficLight;
  SwitchRecord& r = d.m_records[c.column];
  r.m_state = c.state;
  r.m_inverted = c.inverted;
  r.m_countdown = c.countdown;
  r.m_timer = c.timer;
  r.m_countdown2 = c.countdown2;
  r.m_timer2 = c.timer2;
  r.m_countdownT = c.countdownT;
  r.m_timerT = c.timerT;
  if (c.column + 4 < kMaxColumns) d.m_records[c.column + 4].m_state = c.stateOfColumnPlus4;

  const LampPlan plan = PlanLamp(d, c.row + c.column);
  EXPECT_TRUE(plan.owned);
  EXPECT_EQ(plan.brush, c.brush);
  EXPECT_DOUBLE_EQ(plan.fraction, c.fraction);
}

constexpr auto F = LampBrush::FirstRow;
constexpr auto S = LampBrush::SecondRow;
constexpr auto T = LampBrush::ThirdRow;
constexpr auto N = LampBrush::None;

INSTANTIATE_TEST_SUITE_P(
    FirstRow, LampDecision,
    testing::Values(
        LampCase{.name = "OffIsRed", .state = 0, .brush = F},
        LampCase{.name = "OnWithoutCountdownIsUnlit", .state = 1, .brush = N},
        LampCase{.name = "OnWithTimedSwitchOnShowsElapsedShare", .column = 5, .state = 1,
                 .countdown = 50, .timer = 10, .brush = F, .fraction = 0.5},
        LampCase{.name = "TrafficLightCountsTheYellowPhase", .trafficLight = 1, .state = 2,
                 .countdown = 50, .timer = 10, .countdown2 = 150, .timer2 = 20, .brush = F,
                 .fraction = 0.25},
        LampCase{.name = "TrafficLightIgnoresTheFirstCountdown", .trafficLight = 1, .state = 1,
                 .countdown = 50, .timer = 10, .brush = N},
        LampCase{.name = "InvertedOneMeansOff", .state = 1, .inverted = 1, .brush = F},
        LampCase{.name = "InvertedZeroMeansOn", .state = 0, .inverted = 1, .brush = N},
        LampCase{.name = "UnreachableIsNeitherOffNorOn", .state = -1, .brush = N},
        LampCase{.name = "UnreachableStillShowsItsCountdown", .state = -1, .countdown = 80,
                 .timer = 10, .brush = F, .fraction = 0.2},
        LampCase{.name = "JustStartedCountdownIsZero", .state = 1, .countdown = 100,
                 .timer = 10, .brush = F, .fraction = 0.0},
        LampCase{.name = "MoreTicksThanDurationIsNegative", .state = 1, .countdown = 150,
                 .timer = 10, .brush = F, .fraction = -0.5},
        LampCase{.name = "ZeroDurationShowsTheWholeLamp", .state = 1, .countdown = 5,
                 .timer = 0, .brush = F, .fraction = -1.0},
        LampCase{.name = "OneLineOffIsRed", .oneLine = 1, .state = 0, .brush = F},
        LampCase{.name = "OneLineOnIsGreenAndHidesCountdown", .oneLine = 1, .state = 1,
                 .countdown = 50, .timer = 10, .brush = S},
        LampCase{.name = "OneLineUnreachableCountsAsOn", .oneLine = 1, .state = -1, .brush = S},
        LampCase{.name = "OneLineInvertedOneIsRed", .oneLine = 1, .state = 1, .inverted = 1,
                 .brush = F},
        LampCase{.name = "OneLineInvertedZeroIsGreen", .oneLine = 1, .state = 0, .inverted = 1,
                 .brush = S},
        LampCase{.name = "OneLineWinsOverGroupMode", .oneLine = 1, .groupMode = 1, .state = 0,
                 .brush = F},
        LampCase{.name = "GroupOffIsUnlit", .groupMode = 1, .state = 0, .countdown = 50,
                 .timer = 10, .brush = N},
        LampCase{.name = "GroupOnLights", .groupMode = 1, .column = 2, .state = 1, .brush = F},
        LampCase{.name = "GroupAnyNonZeroLights", .groupMode = 1, .state = -1, .brush = F},
        LampCase{.name = "GroupIgnoresInversion", .groupMode = 1, .state = 1, .inverted = 1,
                 .brush = F}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    SecondRow, LampDecision,
    testing::Values(
        LampCase{.name = "OnIsGreen", .row = kIdLowerButton, .state = 1, .brush = S},
        LampCase{.name = "OffIsUnlit", .row = kIdLowerButton, .state = 0, .brush = N},
        LampCase{.name = "InvertedZeroIsGreen", .row = kIdLowerButton, .state = 0,
                 .inverted = 1, .brush = S},
        LampCase{.name = "InvertedOneIsUnlit", .row = kIdLowerButton, .state = 1, .inverted = 1,
                 .brush = N},
        LampCase{.name = "LeadInShareOfTheDarkPart", .column = 3, .row = kIdLowerButton,
                 .state = 3, .timer = 10, .timer2 = 5, .countdownT = 100, .timerT = 35,
                 .brush = S, .fraction = 0.5},
        LampCase{.name = "FirstCountdownDoesNotShowHere", .row = kIdLowerButton, .state = 0,
                 .countdown = 50, .timer = 10, .brush = N},
        LampCase{.name = "LeadInOfZeroLengthIsWholeLamp", .row = kIdLowerButton, .state = 3,
                 .timer = 10, .timer2 = 5, .countdownT = 10, .timerT = 15, .brush = S,
                 .fraction = -1.0},
        LampCase{.name = "GroupShowsTheChannelFourFurther", .groupMode = 1, .column = 1,
                 .row = kIdLowerButton, .state = 0, .stateOfColumnPlus4 = 1, .brush = S},
        LampCase{.name = "GroupIgnoresItsOwnChannel", .groupMode = 1, .column = 3,
                 .row = kIdLowerButton, .state = 1, .stateOfColumnPlus4 = 0, .brush = N},
        LampCase{.name = "GroupButtonsWithoutANeighbourStayUnlit", .groupMode = 1,
                 .column = 12, .row = kIdLowerButton, .state = 1, .brush = N}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ThirdRow, LampDecision,
    testing::Values(
        LampCase{.name = "YellowLights", .row = kIdThirdButton, .state = 2, .brush = T},
        LampCase{.name = "GreenIsUnlit", .row = kIdThirdButton, .state = 1, .brush = N},
        LampCase{.name = "GreenPhaseCountsTowardsYellow", .column = 15, .row = kIdThirdButton,
                 .state = 1, .countdown = 30, .timer = 4, .brush = T, .fraction = 0.25},
        LampCase{.name = "InversionIsNotConsulted", .row = kIdThirdButton, .state = 2,
                 .inverted = 1, .brush = T},
        LampCase{.name = "GroupModeIsNotConsulted", .groupMode = 1, .row = kIdThirdButton,
                 .state = 2, .brush = T},
        LampCase{.name = "SecondCountdownDoesNotShowHere", .trafficLight = 1,
                 .row = kIdThirdButton, .state = kStateDark, .countdown2 = 50, .timer2 = 10,
                 .brush = N}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LampButtons, OnlyTheThreeRowsAreLamps) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  for (int id : {kIdUpperButton - 1, kIdThirdButton + kMaxColumns, kIdGroupBox,
                 kIdTimeButton, kIdStartButton, 0}) {
    EXPECT_FALSE(PlanLamp(d, id).owned) << id;
  }
  for (int id : {kIdUpperButton, kIdUpperButton + 15, kIdLowerButton, kIdLowerButton + 15,
                 kIdThirdButton, kIdThirdButton + 15}) {
    EXPECT_TRUE(PlanLamp(d, id).owned) << id;
  }
}

struct ShapeCase {
  int arrow;
  double fraction;
  LampShape shape;
};

class LampShapeRule : public testing::TestWithParam<ShapeCase> {};

TEST_P(LampShapeRule, FollowsArrowOptionAndFraction) {
  EXPECT_EQ(ShapeFor(GetParam().arrow, GetParam().fraction), GetParam().shape);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LampShapeRule,
    testing::Values(ShapeCase{0, -1.0, LampShape::Ellipse},
                    ShapeCase{0, -0.0001, LampShape::Ellipse},
                    ShapeCase{0, 0.0, LampShape::Nothing}, ShapeCase{0, 0.005, LampShape::Nothing},
                    ShapeCase{0, 0.0051, LampShape::Pie}, ShapeCase{0, 0.99, LampShape::Pie},
                    ShapeCase{0, 1.5, LampShape::Pie}, ShapeCase{1, -1.0, LampShape::Arrow},
                    ShapeCase{1, 0.0, LampShape::Arrow}, ShapeCase{1, 0.5, LampShape::Arrow}),
    [](const auto& info) {
      return test::RowName(info.index, "Arrow" + std::to_string(info.param.arrow) + "_" +
                                           ::testing::PrintToString(info.param.fraction));
    });

// A shaft half the width from the bottom edge to the middle and a head the
// full width above it; only channel 1's first two rows point down.
TEST(ArrowGeometry, UpArrowsEverywhereButButtons1003And1019) {
  const Rect r{10, 20, 62, 98};  // W 52, H 78, centre (36, 59)
  const std::array<Point, 7> up{
      {{23, 98}, {23, 59}, {10, 59}, {36, 20}, {62, 59}, {49, 59}, {49, 98}}};
  const std::array<Point, 7> down{
      {{23, 20}, {23, 59}, {10, 59}, {36, 98}, {62, 59}, {49, 59}, {49, 20}}};
  for (int base : {kIdUpperButton, kIdLowerButton, kIdThirdButton}) {
    for (int i = 0; i < kMaxColumns; ++i) {
      const int id = base + i;
      EXPECT_EQ(ArrowPoints(r, id), id == 1003 || id == 1019 ? down : up) << id;
    }
  }
}

TEST(ArrowGeometry, OddSizesTruncateTowardZero) {
  // W 7, H 9: W/4 = 1, W/2 = 3, H/2 = 4; centre 3.5, 4.5 truncated to 3, 4.
  EXPECT_EQ(ArrowPoints({0, 0, 7, 9}, kIdUpperButton)[0], (Point{2, 8}));
  EXPECT_EQ(ArrowPoints({0, 0, 7, 9}, kIdUpperButton)[3], (Point{3, 0}));
  // Left of the origin the centre -3.5 truncates to -3, not -4.
  EXPECT_EQ(ArrowPoints({-7, -9, 0, 0}, kIdUpperButton)[3], (Point{-3, -8}));
}

struct PieCase {
  double fraction;
  Point first;
};

class PieGeometry : public testing::TestWithParam<PieCase> {};

TEST_P(PieGeometry, FirstRadialTurnsClockwiseFromTwelve) {
  const Rect r{0, 0, 100, 80};  // centre (50, 40)
  const std::array<Point, 2> radials = PieRadials(r, GetParam().fraction);
  EXPECT_EQ(radials[0], GetParam().first);
  EXPECT_EQ(radials[1], (Point{50, 0}));
}

INSTANTIATE_TEST_SUITE_P(Directions, PieGeometry,
                         testing::Values(PieCase{0.0, {50, -40}},     // twelve o'clock
                                         PieCase{0.125, {120, -16}},  // 70.7 and 56.6 truncated
                                         PieCase{0.25, {150, 40}},    // three o'clock
                                         PieCase{0.5, {50, 120}},     // six o'clock
                                         PieCase{0.75, {-50, 40}},    // nine o'clock
                                         PieCase{0.875, {-20, -16}}   // -70.7 truncates toward zero
                                         ),
                         [](const auto& info) {
                           return test::RowName(info.index,
                                                ::testing::PrintToString(info.param.fraction));
                         });

TEST(PieGeometry, CentreUsesIntegerDivision) {
  EXPECT_EQ(PieRadials({1, 1, 4, 6}, 0.0)[1], (Point{2, 1}));
  EXPECT_EQ(PieRadials({1, 1, 4, 6}, 0.0)[0], (Point{2, 3 - 5}));
}

TEST(BrushColours, RedSitsInTheLowByteAndGroupModeTakesTheCommandLineColours) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_colour1 = 0x003399;
  d.m_colour2 = 0xFF0000;
  EXPECT_EQ(BrushColour(d, LampBrush::FirstRow), 0x0000FFu);
  EXPECT_EQ(BrushColour(d, LampBrush::SecondRow), 0x00FF00u);
  EXPECT_EQ(BrushColour(d, LampBrush::ThirdRow), 0x00FFFFu);
  d.m_groupMode = 1;
  EXPECT_EQ(BrushColour(d, LampBrush::FirstRow), 0xFF0000u);
  EXPECT_EQ(BrushColour(d, LampBrush::SecondRow), 0x003399u);
  EXPECT_EQ(BrushColour(d, LampBrush::ThirdRow), 0x00FFFFu);
}

}  // namespace
}  // namespace toggra

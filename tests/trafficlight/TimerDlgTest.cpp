#include <gtest/gtest.h>

#include <algorithm>

#include "app/Ids.h"
#include "trafficlight/TimerDlg.h"

#include "support/CaseNames.h"

namespace toggra {
namespace {

struct ExchangeCase {
  std::array<std::string, 9> texts;
  int failingField;  // 0: the exchange succeeds
  std::string message;
};

const std::string kInteger = "Geben Sie eine ganze Zahl ein.";
const std::string kRange = "Geben Sie eine ganze Zahl zwischen 0 und 59 ein.";

class DurationExchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(DurationExchange, FirstBadFieldStopsTheTransfer) {
  const ExchangeCase& c = GetParam();
  CToggraTimerDlg dlg;
  dlg.m_hours = 7;
  const auto error = ExchangeTimerFields(c.texts, "p.txt", "Kim", dlg);
  if (c.failingField == 0) {
    ASSERT_FALSE(error);
    EXPECT_EQ(dlg.m_protocol, "p.txt");
    EXPECT_EQ(dlg.m_candidateName, "Kim");
  } else {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->controlId, c.failingField);
    EXPECT_EQ(error->message, c.message);
    EXPECT_EQ(dlg.m_hours, 7);
    EXPECT_EQ(dlg.m_protocol, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DurationExchange,
    ::testing::Values(
        ExchangeCase{{" 100 ", "+59", "0", "-3", "0", "0", "2147483647", "0", "0"}, 0, ""},
        ExchangeCase{{"1", "60", "0", "0", "0", "0", "0", "0", "0"}, kIdMinutes, kRange},
        ExchangeCase{{"1", "0", "-1", "0", "0", "0", "0", "0", "0"}, kIdSeconds, kRange},
        ExchangeCase{{"1", "0", "0", "abc", "60", "0", "0", "0", "0"}, kIdHours2, kInteger},
        ExchangeCase{{"1", "0", "0", "0", "0", "0", "", "0", "0"}, kIdHoursT, kInteger},
        ExchangeCase{{"1", "0", "0", "0", "0", "0", "0", "5x", "0"}, kIdMinutesT, kInteger},
        ExchangeCase{{"2147483648", "0", "0", "0", "0", "0", "0", "0", "0"}, kIdHours, kInteger},
        ExchangeCase{{"1", "0", "0", "0", "0", "0", "0", "0", "- 5"}, kIdSecondsT, kInteger}),
    [](const auto& info) {
      return test::RowName(info.index, info.param.failingField
                                           ? "Field" + std::to_string(info.param.failingField)
                                           : std::string("Valid"));
    });

TEST(DurationExchangeValues, EveryFieldLandsInItsMember) {
  CToggraTimerDlg dlg;
  ASSERT_FALSE(ExchangeTimerFields({"1", "2", "3", "-4", "5", "6", "7", "8", "9"}, "", "", dlg));
  EXPECT_EQ((std::array{dlg.m_hours, dlg.m_minutes, dlg.m_seconds, dlg.m_hours2, dlg.m_minutes2,
                        dlg.m_seconds2, dlg.m_hoursT, dlg.m_minutesT, dlg.m_secondsT}),
            (std::array{1, 2, 3, -4, 5, 6, 7, 8, 9}));
}

TEST(DurationDialogControls, PlainSwitchKeepsOnlyTheFirstRow) {
  const std::vector<int> plain = HiddenTimerControls(0);
  for (int id = 1110; id <= 1126; ++id) EXPECT_EQ(std::count(plain.begin(), plain.end(), id), 1);
  for (int id : {kIdGroupGreenYellow, kIdGroupYellowRed, kIdGroupGreenRed})
    EXPECT_EQ(std::count(plain.begin(), plain.end(), id), 1);
  for (int id : {kIdHours, kIdMinutes, kIdSeconds, IDOK, IDCANCEL})
    EXPECT_EQ(std::count(plain.begin(), plain.end(), id), 0);
  EXPECT_EQ(HiddenTimerControls(1), std::vector<int>{kIdGroupGreenRed});
}

}  // namespace
}  // namespace toggra

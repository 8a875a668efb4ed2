#include "app/Format.h"

#include <gtest/gtest.h>

namespace toggra {
namespace {

TEST(DurationText, PicksTheShortestFormThatShowsTheValue) {
  EXPECT_EQ(FormatDuration(3725), "01:02:05");
  EXPECT_EQ(FormatDuration(125), "02:05");
  EXPECT_EQ(FormatDuration(7), "07");
  EXPECT_EQ(FormatDuration(59), "59");
  EXPECT_EQ(FormatDuration(60), "01:00");
  EXPECT_EQ(FormatDuration(3600), "01:00:00");
  EXPECT_EQ(FormatDuration(0), "Kurzzeit");
  // Hours beyond two digits are not cut.
  EXPECT_EQ(FormatDuration(100 * 3600), "100:00:00");
}

TEST(DurationText, HmsShowsSecondsOnlyWhenNothingLargerIsSet) {
  EXPECT_EQ(FormatHms(0, 0, 5), "05");
  EXPECT_EQ(FormatHms(0, 1, 0), "01:00");
  EXPECT_EQ(FormatHms(2, 0, 0), "02:00:00");
  // Negative hours (the duration dialog accepts them) fall through to minutes.
  EXPECT_EQ(FormatHms(-1, 0, 0), "Kurzzeit");
}

}  // namespace
}  // namespace toggra

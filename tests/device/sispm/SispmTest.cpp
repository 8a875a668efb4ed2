// The sispm back-end through real hidapi on emulated power strips.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Ids.h"
#include "device/sispm/SispmDriver.h"
#include "device/sispm/SispmStrip.h"
#include "sispm/StripEmulator.h"

namespace toggra::test {
namespace {

// The spellings of a serial an entry may use; the reports themselves are
// checked against the emulated strips below.
TEST(SispmWire, EntrySerials) {
  EXPECT_EQ(sispm::NormalizeSerial("01:A2:b3:c4:d5"), "01a2b3c4d5");
  EXPECT_EQ(sispm::NormalizeSerial("01A2B3C4D5"), "01a2b3c4d5");
  for (const char* bad : {"01a2b3c4d", "01a2b3c4dx", "0:1a2b3c4d5", "01a2b3c4d5:"})
    EXPECT_EQ(sispm::NormalizeSerial(bad), "") << bad;
}

class Sispm : public ::testing::Test {
 protected:
  StripEmulator& Add(StripEmulator::Options options) {
    strips.push_back(std::make_unique<StripEmulator>(bed, options));
    std::string error;
    EXPECT_TRUE(strips.back()->Plug(&error)) << error;
    return *strips.back();
  }
  std::unique_ptr<CDriverPivlink> Open(const std::string& only = "*") {
    CDriverPivlink::Options options;
    options.serving = DriverServing::kCaller;
    return std::make_unique<CDriverPivlink>(
        std::make_unique<CSispmDriver>(only, [this] { return nowMs; },
                                       [this](const std::string& m) { messages.push_back(m); }),
        options);
  }

  UmockdevTestbed bed;
  std::vector<std::unique_ptr<StripEmulator>> strips;
  int64_t nowMs = 5000;
  std::vector<std::string> messages;
};

TEST_F(Sispm, TwoStripsSwitchAndReadBackTheirOwnOutlets) {
  StripEmulator& four = Add({});
  StripEmulator& one = Add({{0x01, 0x00, 0x00, 0x00, 0x07}, 0xfd10, 1, 1, "2"});
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 2);
  EXPECT_EQ(lib->DeviceName(0), "0100000007");
  EXPECT_EQ(lib->DeviceName(1), "01a2b3c4d5");
  int channels = 0, button = 0;
  ASSERT_TRUE(lib->GetSwitchConfig(1, &channels, &button));
  EXPECT_EQ(channels, 4);
  ASSERT_TRUE(lib->GetSwitchConfig(0, &channels, &button));
  EXPECT_EQ(channels, 1);

  EXPECT_EQ(lib->SetSwitch(1, kFirstSwitchId + 2, 1), 1);
  EXPECT_EQ(four.Mask(), 0b0100u);
  EXPECT_EQ(four.Sent().back(), (std::vector<uint8_t>{9, 3}));
  EXPECT_EQ(one.Mask(), 0u);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 1), 1);
  EXPECT_EQ(one.Sent().back(), (std::vector<uint8_t>{3, 3}));
  four.SetMask(0b1001);  // switched by another program
  unsigned long value = 0;
  EXPECT_EQ(lib->GetMultiSwitch(1, nullptr, &value, 0), 0);
  EXPECT_EQ(value, 0b1001u);
  EXPECT_EQ(lib->SetSwitch(1, kFirstSwitchId + 3, 0), 1);
  EXPECT_EQ(four.Mask(), 0b0001u);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);

  auto only = Open("0100000007");
  ASSERT_EQ(only->OpenArvendal(), 1);
  EXPECT_EQ(only->DeviceName(0), "0100000007");
  EXPECT_TRUE(messages.empty());
}

TEST_F(Sispm, StripThatGoesAwayReadsUnreachableAndComesBack) {
  StripEmulator& strip = Add({});
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 1);
  ASSERT_EQ(lib->SetSwitch(0, kFirstSwitchId, 1), 1);
  strip.Unplug();
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 0);
  std::string error;
  ASSERT_TRUE(strip.Plug(&error)) << error;
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0) << "searched again before the pause";
  nowMs += 1000;
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 1);
  EXPECT_EQ(strip.Mask(), 0u);
}

TEST_F(Sispm, ShortAnswersAreRetriedGarbageAndSilenceAreNamed) {
  StripEmulator& strip = Add({});
  strip.SetMask(0b0010);
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 1);
  strip.ShortAnswers(4);  // the fifth try of outlet 1 succeeds
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 1);
  strip.ShortAnswers(5);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId + 1), 0);

  strip.SetFault(StripFault::kGarbage);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  ASSERT_EQ(messages.size(), 2u) << "each answer not understood is said once";
  EXPECT_EQ(messages[0], "sispm: 01a2b3c4d5 (/dev/hidraw0, 04b4:fd13): outlet 1: a short answer "
                         "(1 bytes) not understood");
  EXPECT_EQ(messages[1], "sispm: 01a2b3c4d5 (/dev/hidraw0, 04b4:fd13): outlet 1: an answer for "
                         "report 66 instead of 3 (42 02) not understood");
  strip.SetFault(StripFault::kSilent);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  strip.SetFault(StripFault::kNone);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 1);
}

}  // namespace
}  // namespace toggra::test

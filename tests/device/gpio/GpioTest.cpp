// The gpio and gpio-light back-ends through real libgpiod on an emulated chip.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Ids.h"
#include "device/DeviceRegistry.h"
#include "device/gpio/GpioEntry.h"
#include "device/gpio/GpioDriver.h"
#include "gpio/GpioChipEmulator.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

struct EntryCase {
  const char* name;
  const char* argument;
  bool trafficLight;
  const char* reason;  // null: accepted
  friend void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.argument; }
};

class GpioEntrySyntax : public ::testing::TestWithParam<EntryCase> {};

TEST_P(GpioEntrySyntax, AcceptsOrNamesTheFault) {
  const EntryCase& c = GetParam();
  gpio::GpioEntry entry;
  std::string reason;
  const bool ok = gpio::ParseGpioEntry(c.argument, c.trafficLight, &entry, &reason);
  EXPECT_EQ(ok, c.reason == nullptr) << reason;
  if (c.reason) {
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, GpioEntrySyntax,
    ::testing::Values(EntryCase{"TwoOffsets", "gpiochip0:17,27", false, nullptr},
                      EntryCase{"NameAndActiveLow", "0:GPIO17:active-low", false, nullptr},
                      EntryCase{"LightOfThree", "gpiochip0:1,2,3", true, nullptr},
                      EntryCase{"NoLines", "gpiochip0", false, "expected gpio:CHIP"},
                      EntryCase{"EmptyLine", "gpiochip0:1,,2", false, "expected gpio:CHIP"},
                      EntryCase{"UnknownSuffix", "gpiochip0:1:low", false, "expected gpio:CHIP"},
                      EntryCase{"NoChip", ":1", false, "expected gpio:CHIP"},
                      EntryCase{"LightOfTwo", "gpiochip0:1,2", true, "three lines"},
                      EntryCase{"LineTwice", "gpiochip0:1,2,1", false, "named twice"},
                      EntryCase{"NineLines", "gpiochip0:0,1,2,3,4,5,6,7,8", false, "at most 8"}),
    [](const ::testing::TestParamInfo<EntryCase>& info) {
      return std::string(info.param.name);
    });

class Gpio : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(chip.Start(&error)) << error;
  }
  // Served on the caller's thread, so that each call reaches the chip at once.
  std::unique_ptr<CCompositePivlink> Open(const std::vector<std::string>& entries) {
    return BuiltinRegistry().Open(entries, [this](const std::string& m) { messages.push_back(m); },
                                  DriverServing::kCaller);
  }

  UmockdevTestbed bed;
  GpioChipEmulator chip{bed, 8};
  std::vector<std::string> messages;
};

TEST_F(Gpio, LinesAreChannelsInTheOrderGiven) {
  auto lib = Open({"gpio:gpiochip0:5,LINE3"});
  ASSERT_TRUE(messages.empty()) << messages[0];
  EXPECT_EQ(chip.Consumer(5), "") << "requested before OpenArvendal";
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(chip.Consumer(5), "toggra");
  EXPECT_TRUE(chip.Output(3));
  EXPECT_EQ(lib->GetUSBType(0), kTypeSwitch8);
  int channels = 0, button = 1;
  ASSERT_TRUE(lib->GetSwitchConfig(0, &channels, &button));
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(lib->IsAmpel(0), 0);
  EXPECT_EQ(lib->ChannelId(0, 1), "gpio:gpiochip0@5,LINE3:2");

  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 1), 1);
  EXPECT_EQ(chip.Levels({5, 3}), (std::vector<int>{1, 0}));
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 1, 1), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 1);
  EXPECT_EQ(chip.Levels({5, 3}), (std::vector<int>{0, 1}));
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 1);
  unsigned long value = 0;
  EXPECT_EQ(lib->GetMultiSwitch(0, nullptr, &value, 0), 0);
  EXPECT_EQ(value, 0b10u);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId + 2), 0);
  EXPECT_EQ(lib->ResetDevice(0), 1);
  EXPECT_EQ(chip.Levels({5, 3}), (std::vector<int>{0, 1})) << "reset switched a line";
}

// The serial number is what the settings are stored under: it must not depend
// on how the chip is named nor on the libgpiod version.
// (A lookup by label scans /dev, which the test bed does not emulate.)
TEST_F(Gpio, ChipByNumberNameOrPathKeepsTheSerial) {
  auto lib = Open({"gpio:0:5,LINE3", "gpio:gpiochip0:6", "gpio:/dev/gpiochip0:7",
                   "gpio-light:gpiochip0:0,2,4"});
  ASSERT_TRUE(messages.empty()) << messages[0];
  ASSERT_EQ(lib->OpenArvendal(), 4);
  std::vector<int> serials;
  for (int d = 0; d < 4; ++d) serials.push_back(lib->GetSerialNumber(d));
  EXPECT_EQ(serials, (std::vector<int>{1671405905, 1228935231, 1212157612, 1892279368}));
  EXPECT_EQ(lib->ChannelId(2, 0), "gpio:gpiochip0@7:1");
  EXPECT_EQ(lib->IsAmpel(3), 1);
}

TEST_F(Gpio, ActiveLowStartsOffAndADrivenLineKeepsItsLevel) {
  chip.Drive(6, 1);  // left switched on by a program that has ended
  auto lib = Open({"gpio:0:2:active-low", "gpio:gpiochip0:6"});
  ASSERT_EQ(lib->OpenArvendal(), 2);
  EXPECT_EQ(chip.Level(2), 1) << "active-low off is the high level";
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 1), 1);
  EXPECT_EQ(chip.Level(2), 0);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);
  EXPECT_EQ(chip.Level(6), 1);
  EXPECT_EQ(lib->GetSwitch(1, kFirstSwitchId), 1);
}

TEST_F(Gpio, BusyOrMissingLinesLeaveOnlyTheirDeviceOut) {
  chip.Drive(4, 0, "relayd");
  auto first = Open({"gpio:gpiochip0:4", "gpio:gpiochip0:1", "gpio:gpiochip0:99",
                     "gpio:gpiochip7:1"});
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0],
            "device entry gpio:gpiochip0:4: line 4 of gpiochip0 is busy (used by \"relayd\")");
  EXPECT_NE(messages[1].find("line 99 of gpiochip0: no such line"), std::string::npos);
  EXPECT_NE(messages[2].find("GPIO chip gpiochip7"), std::string::npos);
  ASSERT_EQ(first->OpenArvendal(), 1);

  // A second program on the same line: told at once, which line is whose.
  messages.clear();
  auto second = Open({"gpio:gpiochip0:1"});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("line 1 of gpiochip0 is busy (used by \"toggra\")"),
            std::string::npos);

  // Taken between the check and the request.
  messages.clear();
  gpio::GpioEntry entry;
  std::string reason;
  ASSERT_TRUE(gpio::ParseGpioEntry("gpiochip0:7", false, &entry, &reason));
  auto late = CGpioDriver::Open(entry, &reason,
                                [this](const std::string& m) { messages.push_back(m); });
  ASSERT_TRUE(late) << reason;
  chip.Drive(7, 0, "other");
  EXPECT_TRUE(late->Enumerate().empty());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("line 7 of gpiochip0: cannot be requested (busy)"), std::string::npos);
}

TEST_F(Gpio, TrafficLightRunLightsGreenYellowRedAndWritesTheProtocol) {
  TestDialog t;
  CToggraDlg d(t.Services([this]() -> std::unique_ptr<CPivlink> {
    return Open({"gpio-light:gpiochip0:0,1,2"});
  }));
  d.m_trafficLight = 1;
  ASSERT_TRUE(d.OnInitDialog());
  d.m_protocolFile = "runs.txt";  // start-up reads it from the options
  ASSERT_TRUE(messages.empty()) << messages[0];
  ASSERT_EQ(d.m_switchCount, 1);
  SwitchRecord& r = d.m_records[0];
  EXPECT_EQ(r.m_state, kStateOff);
  r.m_timer = 2, r.m_timer2 = 1, r.m_candidate = "Anna";
  auto tick = [&](int seconds) {
    for (int k = 0; k < seconds * 10; ++k) {
      d.TimerTick();
      if (k % 10 == 9) t.clock.Advance(1);
    }
  };
  const std::initializer_list<int> lamps{0, 1, 2};  // red, yellow, green
  d.StartStop(0);
  EXPECT_EQ(chip.Levels(lamps), (std::vector<int>{0, 0, 1}));
  tick(2);
  EXPECT_EQ(r.m_state, kStateYellow);
  EXPECT_EQ(chip.Levels(lamps), (std::vector<int>{0, 1, 0}));
  tick(1);
  EXPECT_EQ(r.m_state, kStateOff);
  EXPECT_EQ(chip.Levels(lamps), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(t.files.files["runs.txt"], "Anna; 0\r\n");
  tick(5);  // the read-back after the quiet period agrees with the lines
  EXPECT_EQ(r.m_state, kStateOff);
}

}  // namespace
}  // namespace toggra::test

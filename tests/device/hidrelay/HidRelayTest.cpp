// The hidrelay back-end through real hidapi on emulated relay boards.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/Ids.h"
#include "device/DeviceRegistry.h"
#include "device/hidrelay/HidRelayBoard.h"
#include "device/hidrelay/HidRelayDriver.h"
#include "hidrelay/RelayBoardEmulator.h"

namespace toggra::test {
namespace {

using Options = RelayBoardEmulator::Options;

TEST(HidRelayWire, ProductStringsReportsAndCommands) {
  EXPECT_EQ(hidrelay::RelayCountOf(L"USBRelay1"), 1);
  EXPECT_EQ(hidrelay::RelayCountOf(L"USBRelay8"), 8);
  for (const wchar_t* other : {L"USBRelay3", L"USBRelay", L"USBRelay22", L"", L"usbrelay2"})
    EXPECT_EQ(hidrelay::RelayCountOf(other), 0) << "claimed: " << other;

  const unsigned char report[9] = {0, 'A', 'B', ':', 0x01, 'E', 0, 0, 0x05};
  hidrelay::BoardState state;
  EXPECT_FALSE(hidrelay::ParseReport(report, 8, &state));
  ASSERT_TRUE(hidrelay::ParseReport(report, 9, &state));
  EXPECT_EQ(state.id, "AB__E");  // an entry or channel id must stay splittable
  EXPECT_EQ(state.mask, 5u);

  EXPECT_EQ(hidrelay::SwitchCommand(3, true), (hidrelay::Report{0, 0xFF, 3, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(hidrelay::SwitchCommand(1, false), (hidrelay::Report{0, 0xFD, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_NE(hidrelay::SerialOf("ABCDE"), hidrelay::SerialOf("ABCDF"));
  EXPECT_NE(hidrelay::SerialOf("ABCDE", "1-1"), hidrelay::SerialOf("ABCDE", "1-2"));
  EXPECT_GE(hidrelay::SerialOf("\xff\xff\xff\xff\xff"), 0);
}

class HidRelay : public ::testing::Test {
 protected:
  RelayBoardEmulator& Add(Options options) {
    boards.push_back(std::make_unique<RelayBoardEmulator>(bed, std::move(options)));
    std::string error;
    EXPECT_TRUE(boards.back()->Plug(&error)) << error;
    return *boards.back();
  }
  // Served on the caller's thread, so that each call reaches the board at once.
  std::unique_ptr<CDriverPivlink> Open(const std::string& only = "*") {
    CDriverPivlink::Options options;
    options.serving = DriverServing::kCaller;
    return std::make_unique<CDriverPivlink>(
        std::make_unique<CHidRelayDriver>(
            only, [this] { return nowMs; },
            [this](const std::string& m) { messages.push_back(m); }),
        options);
  }

  UmockdevTestbed bed;
  std::vector<std::unique_ptr<RelayBoardEmulator>> boards;
  int64_t nowMs = 5000;
  std::vector<std::string> messages;
};

TEST_F(HidRelay, BoardIsListedSwitchedAndReadBack) {
  RelayBoardEmulator& board = Add({});
  // The same USB id without the product string: not a relay board, never opened.
  RelayBoardEmulator& other = Add({"QWERT", "", 2, 1, "2"});
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_TRUE(other.Requests().empty());
  EXPECT_EQ(lib->DeviceName(0), "ABCDE");
  EXPECT_EQ(lib->GetUSBType(0), kTypeSwitch8);
  int channels = 0, button = 1;
  ASSERT_TRUE(lib->GetSwitchConfig(0, &channels, &button));
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(lib->IsAmpel(0), 0);
  EXPECT_EQ(lib->GetSerialNumber(0), hidrelay::SerialOf("ABCDE"));
  EXPECT_EQ(lib->GetVersion(0), 0x0100);

  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 1, 1), 1);
  EXPECT_EQ(board.Mask(), 0b10u);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 1);
  board.SetMask(0b01);  // switched by another program
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 0);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 1);
  EXPECT_EQ(board.Mask(), 0u);
  unsigned long value = 99;
  EXPECT_EQ(lib->GetMultiSwitch(0, nullptr, &value, 0), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId + 2), 0);  // a third relay it does not have
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 2, 1), 0);
  EXPECT_EQ(lib->ResetDevice(0), 1);
  EXPECT_EQ(board.Mask(), 0u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(HidRelay, BoardsWithOneIdGetSerialsFromTheirSocketsAndAWarning) {
  RelayBoardEmulator& first = Add({"ABCDE", "USBRelay2", 2, 0, "1"});
  RelayBoardEmulator& second = Add({"ABCDE", "USBRelay4", 4, 1, "2"});
  Add({"ZZZZZ", "USBRelay1", 1, 2, "3"});
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 3);
  EXPECT_EQ(lib->DeviceName(0), "ABCDE@1-1");
  EXPECT_EQ(lib->DeviceName(1), "ABCDE@1-2");
  EXPECT_EQ(lib->DeviceName(2), "ZZZZZ");
  EXPECT_EQ(lib->GetSerialNumber(0), hidrelay::SerialOf("ABCDE", "1-1"));
  EXPECT_EQ(lib->GetSerialNumber(1), hidrelay::SerialOf("ABCDE", "1-2"));
  EXPECT_EQ(lib->GetSerialNumber(2), hidrelay::SerialOf("ZZZZZ"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("ABCDE"), std::string::npos);
  EXPECT_EQ(lib->SetSwitch(1, kFirstSwitchId + 3, 1), 1);
  EXPECT_EQ(second.Mask(), 0b1000u);
  EXPECT_EQ(first.Mask(), 0u);

  auto one = Open("ZZZZZ");
  ASSERT_EQ(one->OpenArvendal(), 1);
  EXPECT_EQ(one->DeviceName(0), "ZZZZZ");
}

TEST_F(HidRelay, BoardThatGoesAwayReadsUnreachableAndComesBack) {
  RelayBoardEmulator& board = Add({});
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 1);
  ASSERT_EQ(lib->SetSwitch(0, kFirstSwitchId, 1), 1);
  board.Unplug();
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);  // looked for at once, not found
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 0);
  std::string error;
  ASSERT_TRUE(board.Plug(&error)) << error;
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0) << "searched again before the pause";
  nowMs += 1000;
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 1);
  EXPECT_EQ(board.Mask(), 0u);
}

// The clones take output reports as the notes gathered on them say; nothing
// reads them back, so their channels show what was written.
TEST_F(HidRelay, ClonesSwitchByOutputReportsBesideAClassicBoard) {
  RelayBoardEmulator& classic = Add({});
  RelayBoardEmulator& single = Add({.product = "HIDRelay4", .relays = 4, .hidraw = 1, .port = "2",
                                    .vendor = 0x0519, .productId = 0x2018, .serial = "A1:B2"});
  RelayBoardEmulator& frame = Add({.product = "HID Relay", .relays = 8, .hidraw = 2, .port = "3",
                                   .vendor = 0x5131, .productId = 0x2007});
  auto lib = Open();
  ASSERT_EQ(lib->OpenArvendal(), 3);
  EXPECT_EQ(lib->DeviceName(0), "0519-2018-A1_B2");
  EXPECT_EQ(lib->DeviceName(1), "5131-2007@1-3");
  EXPECT_EQ(lib->DeviceName(2), "ABCDE");
  int channels = 0, button = 0;
  ASSERT_TRUE(lib->GetSwitchConfig(0, &channels, &button));
  EXPECT_EQ(channels, 4);
  ASSERT_TRUE(lib->GetSwitchConfig(1, &channels, &button));
  EXPECT_EQ(channels, 8);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "hidrelay: 5131-2007@1-3 (/dev/hidraw2, 5131:2007): its product string "
                         "\"HID Relay\" does not say how many relays it has; 8 are offered");

  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 2, 1), 1);
  EXPECT_EQ(single.Written().back(), (std::vector<uint8_t>{0x00, 0xF3}));
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 1), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 2, 0), 1);
  EXPECT_EQ(single.Written().back(), (std::vector<uint8_t>{0x00, 0x03}));
  EXPECT_EQ(single.Mask(), 0b0001u);
  EXPECT_EQ(lib->SetSwitch(1, kFirstSwitchId + 1, 1), 1);
  EXPECT_EQ(frame.Written().back(), (std::vector<uint8_t>{0x00, 0xA0, 0x02, 0x01, 0xA3}));
  EXPECT_EQ(frame.Mask(), 0b10u);
  EXPECT_EQ(classic.Mask(), 0u);
  frame.SetMask(0);  // switched elsewhere: not seen, the level written stands
  EXPECT_EQ(lib->GetSwitch(1, kFirstSwitchId + 1), 1);
  EXPECT_EQ(lib->GetSwitch(1, kFirstSwitchId), 0);

  frame.Unplug();
  EXPECT_EQ(lib->SetSwitch(1, kFirstSwitchId, 1), 0);
  std::string error;
  ASSERT_TRUE(frame.Plug(&error)) << error;
  nowMs += 1000;
  EXPECT_EQ(lib->SetSwitch(1, kFirstSwitchId, 1), 1);
  EXPECT_EQ(frame.Mask(), 0b01u);

  const auto available = BuiltinRegistry().Find("hidrelay")->available();
  ASSERT_EQ(available.size(), 3u);
  EXPECT_EQ(available[1].first, "hidrelay:0519-2018-A1_B2");
  EXPECT_EQ(available[1].second, "USB relay board 0519:2018 with 4 relays; cannot be read back: "
                                 "shows the levels last written");
  auto one = BuiltinRegistry().Open({"hidrelay:0519-2018-A1_B2"}, [](const std::string&) {});
  ASSERT_EQ(one->OpenArvendal(), 1);
  EXPECT_EQ(one->ChannelId(0, 3), "hidrelay:0519-2018-A1_B2:4");
}

TEST_F(HidRelay, RegistryEntriesAndChannelIds) {
  Add({});
  const CDeviceRegistry& registry = BuiltinRegistry();
  const std::vector<std::string> defaults = registry.DefaultEntries();
  EXPECT_NE(std::find(defaults.begin(), defaults.end(), "hidrelay:*"), defaults.end());
  auto all = registry.Open({"hidrelay:*", "hidrelay:AB", "hidrelay:AB:CD"},
                           [this](const std::string& m) { messages.push_back(m); });
  ASSERT_EQ(all->OpenArvendal(), 1);
  EXPECT_EQ(all->ChannelId(0, 0), "hidrelay:ABCDE:1");
  EXPECT_EQ(all->ChannelId(0, 1), "hidrelay:ABCDE:2");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("device entry hidrelay:AB: ", 0), 0u) << messages[0];
  const auto available = registry.Find("hidrelay")->available();
  ASSERT_EQ(available.size(), 1u);
  EXPECT_EQ(available[0].first, "hidrelay:ABCDE");
}

}  // namespace
}  // namespace toggra::test

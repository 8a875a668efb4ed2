// The ftdi back-end through real libftdi1 and libusb on emulated FT245R boards.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Ids.h"
#include "device/ftdi/FtdiDriver.h"
#include "device/ftdi/FtdiEntry.h"
#include "ftdi/FtdiEmulator.h"

namespace toggra::test {
namespace {

TEST(FtdiEntry, CountsPinListsAndMistakes) {
  ftdi::FtdiEntry e;
  std::string reason;
  ASSERT_TRUE(ftdi::ParseFtdiEntry("A50285BI", &e, &reason));
  EXPECT_EQ(e.serial, "A50285BI");
  EXPECT_EQ(e.pins, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  ASSERT_TRUE(ftdi::ParseFtdiEntry("*:4", &e, &reason));
  EXPECT_EQ(e.pins, (std::vector<int>{0, 1, 2, 3}));
  ASSERT_TRUE(ftdi::ParseFtdiEntry("X@1-2:6,4,2,0", &e, &reason));
  EXPECT_EQ(e.serial, "X@1-2");
  EXPECT_EQ(e.pins, (std::vector<int>{6, 4, 2, 0}));
  for (const char* bad : {"", ":4", "A:0", "A:9", "A:1,8", "A:1,1", "A:x", "A:1,"})
    EXPECT_FALSE(ftdi::ParseFtdiEntry(bad, &e, &reason)) << bad;
  // Relay k on the k-th pin named; pins that are no relay's keep their level.
  const std::vector<int> pins{6, 4};
  EXPECT_EQ(ftdi::PinsFor(pins, 0b10000001, 0b01), 0b11000001);
  EXPECT_EQ(ftdi::PinsFor(pins, 0b11010000, 0b10), 0b10010000);
  EXPECT_EQ(ftdi::RelaysOf(pins, 0b00010000), 0b10u);
}

class Ftdi : public ::testing::Test {
 protected:
  FtdiEmulator& Add(FtdiEmulator::Options options) {
    boards.push_back(std::make_unique<FtdiEmulator>(bed, options));
    std::string error;
    EXPECT_TRUE(boards.back()->Plug(&error)) << error;
    return *boards.back();
  }
  std::unique_ptr<CDriverPivlink> Open(const std::string& argument) {
    ftdi::FtdiEntry entry;
    std::string reason;
    EXPECT_TRUE(ftdi::ParseFtdiEntry(argument, &entry, &reason)) << reason;
    CFtdiDriver::Options driver;
    driver.timeoutMs = 5;  // the silent board's requests give up at once
    driver.nowMs = [this] { return nowMs; };
    driver.errors = [this](const std::string& m) { messages.push_back(m); };
    CDriverPivlink::Options options;
    options.serving = DriverServing::kCaller;
    return std::make_unique<CDriverPivlink>(std::make_unique<CFtdiDriver>(entry, driver), options);
  }

  UmockdevTestbed bed;
  std::vector<std::unique_ptr<FtdiEmulator>> boards;
  int64_t nowMs = 5000;
  std::vector<std::string> messages;
};

TEST_F(Ftdi, OpeningKeepsTheRelaysAndSwitchingSetsOnlyItsPin) {
  FtdiEmulator& board = Add({.pins = 0b10000101});
  auto lib = Open("A50285BI:4");
  ASSERT_EQ(lib->OpenArvendal(), 1) << (messages.empty() ? "" : messages[0]);
  EXPECT_EQ(lib->DeviceName(0), "A50285BI");
  EXPECT_TRUE(board.BitBang());
  EXPECT_EQ(board.OutputMask(), 0x0F) << "only the relays' pins are outputs";
  EXPECT_EQ(board.Pins(), 0b10000101) << "bit-bang mode left the relays switched";
  int channels = 0, button = 0;
  ASSERT_TRUE(lib->GetSwitchConfig(0, &channels, &button));
  EXPECT_EQ(channels, 4);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 0);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 1, 1), 1);
  EXPECT_EQ(board.Pins(), 0b10000111);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 1);
  EXPECT_EQ(board.Pins(), 0b10000110);
  board.SetPins(0b1000);  // switched by another program
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 3), 1);
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId + 1), 0);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Ftdi, TwoBoardsSideBySideAndOneWithoutSerial) {
  FtdiEmulator& first = Add({});
  FtdiEmulator& second = Add({.serial = "B7", .devnum = 6, .port = 4});
  FtdiEmulator& plain = Add({.serial = "", .devnum = 7, .port = 2});
  auto all = Open("*");
  ASSERT_EQ(all->OpenArvendal(), 3);
  EXPECT_EQ(all->DeviceName(0), "@1-2");
  EXPECT_EQ(all->DeviceName(1), "A50285BI");
  EXPECT_EQ(all->DeviceName(2), "B7");
  EXPECT_EQ(all->SetSwitch(2, kFirstSwitchId + 7, 1), 1);
  EXPECT_EQ(all->SetSwitch(0, kFirstSwitchId, 1), 1);
  EXPECT_EQ(second.Pins(), 0x80);
  EXPECT_EQ(plain.Pins(), 0x01);
  EXPECT_EQ(first.Pins(), 0x00);

  auto one = Open("B7:2");
  ASSERT_EQ(one->OpenArvendal(), 1);
  EXPECT_EQ(one->DeviceName(0), "B7");
  auto none = Open("ZZ");
  EXPECT_EQ(none->OpenArvendal(), 0);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(),
            "ftdi: no 0403:6001 device with the serial ZZ (present: @1-2, A50285BI, B7)");
}

TEST_F(Ftdi, GoneSilentAndGarbledBoardsReadUnreachableAndComeBack) {
  FtdiEmulator& board = Add({.pins = 0b01});
  auto lib = Open("A50285BI:2");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  board.Unplug();
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId, 0), 0);
  std::string error;
  ASSERT_TRUE(board.Replug(&error)) << error;
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0) << "searched again before the pause";
  nowMs += 1000;
  EXPECT_EQ(lib->GetSwitch(0, kFirstSwitchId), 1);

  board.InjectFault(FtdiFault::kSilent);
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  board.InjectFault(FtdiFault::kGarbage);
  nowMs += 1000;
  EXPECT_LT(lib->GetSwitch(0, kFirstSwitchId), 0);
  board.InjectFault(FtdiFault::kNone);
  nowMs += 1000;
  EXPECT_EQ(lib->SetSwitch(0, kFirstSwitchId + 1, 1), 1);
  EXPECT_EQ(board.Pins(), 0b11);
}

}  // namespace
}  // namespace toggra::test

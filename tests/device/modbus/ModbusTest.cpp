// The modbus back-end through real libmodbus on boards played on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/modbus/ModbusDriver.h"
#include "modbus/ModbusBoardEmulator.h"
#include "serial/WithoutPrivileges.h"
#include "support/TempDir.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Mode = ModbusBoardEmulator::Mode;

TEST(ModbusEntrySyntax, DefaultsAndLimits) {
  ModbusEntry e;
  std::string reason;
  ASSERT_TRUE(ParseModbusEntry("/dev/ttyUSB0", &e, &reason));
  EXPECT_EQ(e.path, "/dev/ttyUSB0");
  EXPECT_EQ(e.address, 1);
  EXPECT_EQ(e.relays, 8);
  EXPECT_EQ(e.baud, 9600u);
  ASSERT_TRUE(ParseModbusEntry("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:3:4:19200",
                               &e, &reason));
  EXPECT_EQ(e.path, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
  EXPECT_EQ(e.address, 3);
  EXPECT_EQ(e.relays, 4);
  EXPECT_EQ(e.baud, 19200u);
  for (const char* bad : {"/dev/ttyUSB0:0", "/dev/ttyUSB0:248", "/dev/ttyUSB0:1:9", "ttyUSB0"}) {
    EXPECT_FALSE(ParseModbusEntry(bad, &e, &reason)) << bad;
    EXPECT_NE(reason.find("expected modbus:PATH[:ADDRESS[:N[:BAUD]]]"), std::string::npos);
  }
  CDeviceRegistry registry;
  RegisterModbus(registry);
  EXPECT_EQ(registry.Find("modbus")->driver("/dev/ttyUSB9:1:8:9601", &reason), nullptr);
  EXPECT_EQ(reason, "9601 baud is not a serial speed (1200 to 115200)");
}

class Modbus : public ::testing::Test {
 protected:
  // A board that answers ends the wait at once, so it gets room for a
  // loaded machine; where only silence is expected, the wait is short.
  static constexpr modbus::Timing kAnswering{1000ms, 50ms};
  static constexpr modbus::Timing kSilence{40ms, 10ms};

  std::unique_ptr<CModbusDriver> Driver(const std::string& argument,
                                        modbus::Timing timing = kAnswering) {
    ModbusEntry entry;
    std::string reason;
    EXPECT_TRUE(ParseModbusEntry(argument, &entry, &reason)) << reason;
    auto driver = CModbusDriver::Open(entry, timing, &reason);
    EXPECT_TRUE(driver) << reason;
    return driver;
  }
  std::unique_ptr<CDriverPivlink> Open(const std::string& argument,
                                       DriverServing serving = DriverServing::kCaller,
                                       modbus::Timing timing = kAnswering) {
    CDriverPivlink::Options options;
    options.serving = serving;
    options.refresh = 5ms;
    options.retryFirst = 5ms;
    return std::make_unique<CDriverPivlink>(Driver(argument, timing), options);
  }
  std::string ReadError(CModbusDriver& driver) {
    DriverReading reading;
    std::string error;
    return driver.Read(0, &reading, &error) ? "read" : error;
  }

  TempDir dir;
  std::string link = dir.File("ttyUSB0");
};

TEST_F(Modbus, CoilsAreSwitchedWithFunctionFiveAndReadWithFunctionOne) {
  ModbusBoardEmulator board(link, {1});
  auto lib = Open(link + ":1:4");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(lib->DeviceName(0), "ttyUSB0@1");
  EXPECT_EQ(lib->ChannelName(0, 3), "4");
  ASSERT_EQ(lib->SetSwitch(0, 16 + 2, 1), 1);
  EXPECT_EQ(board.Coils(1), 0b0100);
  EXPECT_EQ(board.Requests().back(), WithCrc({0x01, 0x05, 0x00, 0x02, 0xFF, 0x00}));
  board.SetCoils(1, 0b1001);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 0), 1);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 2), 0);
  EXPECT_EQ(board.Requests().back(), WithCrc({0x01, 0x01, 0x00, 0x00, 0x00, 0x04}));
  unsigned long mask = 0, value = 0;
  ASSERT_EQ(lib->GetMultiSwitch(0, &mask, &value, 0), 0);
  EXPECT_EQ(mask, 0b1111ul);
  EXPECT_EQ(value, 0b1001ul);
}

TEST_F(Modbus, BoardsSideBySideOnOneBusTakeTurns) {
  ModbusBoardEmulator bus(link, {1, 2});
  CDeviceRegistry registry;
  RegisterModbus(registry);
  std::vector<std::string> errors;
  auto lib = registry.Open({"modbus:" + link + ":1:4", "modbus:" + dir.File("ttyUSB0") + ":2:4",
                            "modbus:" + link + ":3:4:19200"},
                           [&](const std::string& m) { errors.push_back(m); });
  ASSERT_EQ(lib->OpenArvendal(), 2);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("is used at 9600 baud by another entry"), std::string::npos) << errors[0];
  // Both workers poll the bus at once; every request must still arrive whole.
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(lib->SetSwitch(0, 16 + round % 4, 1), 1);
    ASSERT_EQ(lib->SetSwitch(1, 16 + 3 - round % 4, 1), 1);
  }
  ASSERT_TRUE(lib->Settle(0, 3000));
  ASSERT_TRUE(lib->Settle(1, 3000));
  EXPECT_EQ(bus.Coils(1), 0b1111);
  EXPECT_EQ(bus.Coils(2), 0b1111);
  EXPECT_EQ(bus.BadRequests(), 0);
  EXPECT_EQ(lib->ChannelId(1, 0), "modbus:ttyUSB0@2:1");
}

TEST_F(Modbus, WrongAddressAndSilenceAreNamedWithinTheTimeout) {
  ModbusBoardEmulator board(link, {1});
  auto other = Driver(link + ":2", kSilence);
  other->Enumerate();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadError(*other),
            "no answer from address 2 within 40 ms (check the board's address, its speed of 9600 "
            "baud and the A/B wiring)");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  auto driver = Driver(link + ":1");
  board.SetMode(Mode::kSilent);
  EXPECT_EQ(ReadError(*driver).rfind("no answer from address 1", 0), 0u);
  EXPECT_EQ(board.Requests().size(), 2u);
}

TEST_F(Modbus, BadAnswersAreNamedAndTheBusRecovers) {
  ModbusBoardEmulator board(link, {1});
  auto driver = Driver(link + ":1");
  driver->Enumerate();
  board.SetMode(Mode::kBadCrc);
  EXPECT_EQ(ReadError(*driver), "the answer from address 1 had a wrong checksum (CRC): noise on "
                                "the bus, or another speed");
  board.SetMode(Mode::kIllegalFunction);
  EXPECT_EQ(ReadError(*driver).rfind("the board at address 1 refuses reading coils (function 1) (", 0),
            0u);
  board.SetMode(Mode::kNormal);
  EXPECT_EQ(ReadError(*driver), "read");
}

TEST_F(Modbus, SilentBoardNeverHoldsUpTheCaller) {
  ModbusBoardEmulator board(link, {1});
  board.SetMode(Mode::kSilent);
  auto lib = Open(link, DriverServing::kWorkers, kSilence);
  ASSERT_EQ(lib->OpenArvendal(), 1);
  const auto start = std::chrono::steady_clock::now();
  lib->SetSwitch(0, 16, 1);
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20ms);
}

TEST_F(Modbus, BoardThatGoesAwayComesBack) {
  ModbusBoardEmulator board(link, {1});
  auto driver = Driver(link);
  driver->Enumerate();
  std::string error;
  ASSERT_TRUE(driver->Write(0, 1, true, &error)) << error;
  board.Peer().Close();
  EXPECT_NE(ReadError(*driver), "read");
  EXPECT_NE(ReadError(*driver).find("no such device"), std::string::npos);
  board.Peer().Reopen();
  EXPECT_EQ(ReadError(*driver), "read");
  ASSERT_TRUE(driver->Write(0, 2, true, &error)) << error;
  EXPECT_EQ(board.Coils(1), 0b110);
}

TEST_F(Modbus, NodeWithoutPermissionIsNamedWithTheFix) {
  ModbusBoardEmulator board(link, {1});
  std::filesystem::permissions(dir.Path(), std::filesystem::perms(0755));
  ASSERT_EQ(::chmod(board.Peer().SlavePath().c_str(), 0), 0);
  const std::string error = RunWithoutPrivileges([&] {
    auto driver = Driver(link);
    return ReadError(*driver);
  });
  EXPECT_EQ(error.rfind(link + ": no permission (Permission denied); fix: ", 0), 0u) << error;
  EXPECT_NE(error.find("70-toggra-serial.rules"), std::string::npos) << error;
  EXPECT_TRUE(board.Requests().empty());
}

}  // namespace
}  // namespace toggra::test

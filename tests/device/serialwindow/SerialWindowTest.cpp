// The window program on relays behind serial ports: an 8-relay module and an
// 8-coil Modbus board, each played on a pseudo-terminal, switched through the
// group layout's state file as another instance would.
#include <gtest/gtest.h>

#include "e2e/E2ESupport.h"
#include "lcus/LcusModuleEmulator.h"
#include "modbus/ModbusBoardEmulator.h"

namespace toggra::e2e {
namespace {

using namespace std::chrono_literals;

uint32_t Mask(const std::vector<int>& states) {
  uint32_t mask = 0;
  for (size_t i = 0; i < states.size(); ++i)
    if (states[i]) mask |= 1u << i;
  return mask;
}

class SerialWindow : public E2ETest {
 protected:
  // Starts `toggra -D -S` on the entry; start-up switches all eight off.
  ChildProcess& StartOn(const std::string& entry) {
    TempDir::Write(stateFile, "0 0 0 0 0 0 0 0");
    return Start({"-D", "-S", stateFile}, "toggra", {{"TOGGRA_DEVICES", entry}, {"TOGGRA_BENCH", ""}});
  }
  void EndCleanly(ChildProcess& toggra) {
    toggra.Signal(SIGTERM);
    const auto status = toggra.WaitExit(10s);
    EXPECT_TRUE(CleanExit(status)) << DescribeStatus(status) << Stderr();
  }
};

TEST_F(SerialWindow, GroupLayoutSwitchesAnEightRelayModule) {
  test::LcusModuleEmulator module(dir.File("ttyLCUS"), 8);
  ChildProcess& toggra = StartOn("lcus:" + dir.File("ttyLCUS") + ":8");
  // Start-up sends each relay its state: eight frames.
  ASSERT_TRUE(WaitUntil([&] { return module.Frames().size() >= 8; }, 20s)) << Stderr();
  EXPECT_TRUE(WriteStatesUntilApplied(stateFile, [&](const std::vector<int>& want) {
    return module.Relays() == Mask(want);
  })) << Stderr();
  EndCleanly(toggra);
}

TEST_F(SerialWindow, GroupLayoutSwitchesTheCoilsOfAModbusBoard) {
  test::ModbusBoardEmulator board(dir.File("ttyRS485"), {3});
  ChildProcess& toggra = StartOn("modbus:" + dir.File("ttyRS485") + ":3:8");
  ASSERT_TRUE(WaitUntil([&] { return !board.Requests().empty(); }, 20s)) << Stderr();
  EXPECT_TRUE(WriteStatesUntilApplied(stateFile, [&](const std::vector<int>& want) {
    return board.Coils(3) == Mask(want);
  })) << Stderr();
  EndCleanly(toggra);
}

}  // namespace
}  // namespace toggra::e2e

// toggra-ctl on a Modbus board at address 1 played on a pseudo-terminal.
#include <gtest/gtest.h>

#include "modbus/ModbusBoardEmulator.h"
#include "serial/CtlRun.h"

namespace toggra::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ModbusPrograms, CtlWritesCoilFourAndReadsItBack) {
  TempDir dir;
  ModbusBoardEmulator board(dir.File("ttyRS485"), {1});
  board.SetCoils(1, 0xFF);
  const std::string devices = "modbus:" + dir.File("ttyRS485");

  CtlRun run = RunCtl(dir, devices, {"off", "modbus:ttyRS485@1:5"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(board.Coils(1), 0xEF);
  const Bytes write = WithCrc({0x01, 0x05, 0x00, 0x04, 0x00, 0x00});
  int writes = 0;
  for (const Bytes& r : board.Requests()) writes += r == write;
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(board.BadRequests(), 0);

  const size_t before = board.Requests().size();
  run = RunCtl(dir, devices, {"status", "modbus:ttyRS485@1:5"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("modbus:ttyRS485@1:5\toff\t", 0), 0u) << run.out;
  const std::vector<Bytes> requests = board.Requests();
  ASSERT_GT(requests.size(), before);
  for (size_t i = before; i < requests.size(); ++i)
    EXPECT_EQ(requests[i], WithCrc({0x01, 0x01, 0x00, 0x00, 0x00, 0x08})) << "status only reads";

  board.SetCoils(1, 0x10);
  run = RunCtl(dir, devices, {"status", "modbus:ttyRS485@1:5"});
  EXPECT_EQ(run.out.rfind("modbus:ttyRS485@1:5\ton\t", 0), 0u) << run.out;
}

}  // namespace
}  // namespace toggra::test

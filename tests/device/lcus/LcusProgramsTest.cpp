// toggra-ctl on a 4-relay module played on a pseudo-terminal.
#include <gtest/gtest.h>

#include "lcus/LcusModuleEmulator.h"
#include "serial/CtlRun.h"

namespace toggra::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(LcusPrograms, CtlSwitchesRelayTwoWithItsFrame) {
  TempDir dir;
  LcusModuleEmulator module(dir.File("ttyLCUS"), 4);
  const std::string devices = "lcus:" + dir.File("ttyLCUS") + ":4";

  CtlRun run = RunCtl(dir, devices, {"on", "lcus:ttyLCUS:2"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(module.AwaitFrames(1));
  EXPECT_EQ(module.Frames(), (std::vector<Bytes>{{0xA0, 0x02, 0x01, 0xA3}}));
  EXPECT_EQ(module.Relays(), 0b0010u);
  // What it could not read is said, not hidden.
  EXPECT_NE(run.err.find("lcus: ttyLCUS: no answer to the status query (FF)"), std::string::npos)
      << run.err;

  // A module that answers the status query is read back by a later run.
  module.SetAnswer(LcusModuleEmulator::Answer::kLines);
  run = RunCtl(dir, devices, {"status", "lcus:ttyLCUS:2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("lcus:ttyLCUS:2\ton\t", 0), 0u) << run.out;
  EXPECT_EQ(module.Frames().size(), 1u) << "status switched a relay";
}

}  // namespace
}  // namespace toggra::test

// The real program on several configured back-end entries.
#include "E2ESupport.h"

namespace toggra::e2e {
namespace {

class DeviceEntries : public E2ETest {
 protected:
  std::string second = dir.File("second.bench");
};

// Two bench files in TOGGRA_DEVICES: the columns of the first come first, an
// unusable entry between them is reported and skipped, and a state written
// to the shared file in the group layout switches the channels of both.
TEST_F(DeviceEntries, TwoBenchFilesGiveTheirColumnsInOrderAndBothSwitch) {
  const std::vector<int> off(8, 0);
  TempDir::Write(bench, BenchText({{.type = 8, .serial = 21, .switches = 8, .state = off}}));
  TempDir::Write(second, BenchText({{.type = 8, .serial = 22, .switches = 8, .state = off}}));
  TempDir::Write(stateFile, "0 0 0 0 0 0 0 0");
  Start({"-D", "-S", stateFile}, "toggra",
        {{"TOGGRA_DEVICES", "bench:" + bench + ";nosuch:x;bench:" + second},
         {"TOGGRA_BENCH", ""}});
  // Start-up sends each of the 16 channels its state: eight per file.
  ASSERT_TRUE(WaitUntil([&] { return SetSwitches().size() >= 16; }, 20s)) << Stderr();
  EXPECT_NE(Stderr().find("device entry nosuch:x: unknown back-end \"nosuch\""),
            std::string::npos)
      << Stderr();

  auto statesOf = [](const std::string& path) -> std::vector<int> {
    BenchParse parse = ParseBench(TempDir::Read(path), path);
    return parse.ok && !parse.set.devices.empty() ? parse.set.devices[0].state : std::vector<int>{};
  };
  EXPECT_TRUE(WriteStatesUntilApplied(stateFile, [&](const std::vector<int>& want) {
    return statesOf(bench) == want && statesOf(second) == want;
  })) << Stderr();
}

TEST_F(DeviceEntries, TheStateFileShowsTheColumnsInEntryOrder) {
  TempDir::Write(bench, BenchText({{.type = 8, .serial = 31, .switches = 1, .state = {1}}}));
  TempDir::Write(second, BenchText({{.type = 8, .serial = 32, .switches = 2, .state = {0, 1}}}));
  Start({"-S", stateFile}, "toggra",
        {{"TOGGRA_DEVICES", "bench:" + second + ";bench:" + bench}, {"TOGGRA_BENCH", ""}});
  EXPECT_TRUE(WaitUntil([&] { return TempDir::Read(stateFile) == "0 1 1 0 0 0 0 0"; }, 20s))
      << TempDir::Read(stateFile) << Stderr();
}

}  // namespace
}  // namespace toggra::e2e

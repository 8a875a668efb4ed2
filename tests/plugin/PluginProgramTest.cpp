// The real program on devices that only the example plug-in serves: the demo
// set, written by toggra-bench, reached through `plugin:PATH` and watched
// through the plug-in's command log and its bench file.
#include "e2e/E2ESupport.h"

namespace toggra::e2e {
namespace {

class PluginProgram : public E2ETest {
 protected:
  const std::string pluginBench = dir.File("plugin.bench");
  const std::string pluginLog = dir.File("plugin.log");

  void SetUp() override {
    const std::string command = std::string(TOGGRA_BENCH_TOOL) + " " + pluginBench + " demo";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // The program's own bench is empty: every device comes from the plug-in.
    TempDir::Write(bench, "");
  }
  ChildProcess& StartOnPlugin(const std::vector<std::string>& args, const std::string& devices) {
    return Start(args, "toggra",
                 {{"TOGGRA_DEVICES", devices},
                  {"TOGGRA_PLUGIN_BENCH", pluginBench},
                  {"TOGGRA_PLUGIN_BENCH_LOG", pluginLog}});
  }
  std::vector<std::string> PluginLog() const { return Lines(TempDir::Read(pluginLog)); }
  std::vector<int> States(size_t device) const {
    BenchParse parse = ParseBench(TempDir::Read(pluginBench), pluginBench);
    if (!parse.ok || parse.set.devices.size() <= device) return {};
    return parse.set.devices[device].state;
  }
  void EndCleanly(ChildProcess& toggra) {
    toggra.Signal(SIGTERM);
    const auto status = toggra.WaitExit(10s);
    EXPECT_TRUE(CleanExit(status)) << DescribeStatus(status) << Stderr();
  }
};

TEST_F(PluginProgram, StartsWithAColumnForEveryPluginChannel) {
  ChildProcess& toggra = StartOnPlugin({"-F"}, "plugin:" TOGGRA_BENCH_PLUGIN);
  // Start-up sends every column's channel its state: 4 + 1 + 8 switch channels.
  ASSERT_TRUE(WaitUntil([&] { return Count(PluginLog(), "SetSwitch 3 23 0") == 1; }, 20s))
      << Stderr();
  EndCleanly(toggra);
  const std::vector<std::string> log = PluginLog();
  for (const auto& [device, channels] : {std::pair{0, 4}, std::pair{1, 1}, std::pair{3, 8}}) {
    for (int id = 16; id < 16 + channels; ++id)
      EXPECT_EQ(Count(log, "SetSwitch " + std::to_string(device) + " " + std::to_string(id) +
                               " 0"),
                1)
          << device << " " << id;
    EXPECT_GE(Count(log, "ResetDevice " + std::to_string(device)), 1) << device;
  }
  EXPECT_TRUE(Log().empty());  // nothing went to the program's own bench
}

TEST_F(PluginProgram, GroupLayoutSwitchesTheDemosEightChannelsAndSkipsABrokenEntry) {
  TempDir::Write(stateFile, "0 0 0 0 0 0 0 0");
  ChildProcess& toggra =
      StartOnPlugin({"-D", "-S", stateFile},
                    "plugin:" TOGGRA_TEST_PLUGIN_WRONG_VERSION ";plugin:" TOGGRA_BENCH_PLUGIN);
  // Once started, the instance follows what another one writes to the file.
  ASSERT_TRUE(WaitUntil([&] { return PluginLog().size() >= 8; }, 20s)) << Stderr();
  ASSERT_TRUE(WriteStatesUntilApplied(stateFile,
                                      [&](const std::vector<int>& want) { return States(3) == want; }))
      << Stderr() << TempDir::Read(pluginLog);
  EndCleanly(toggra);
  // Only the 8-channel device belongs to the group layout.
  for (const std::string& line : PluginLog())
    EXPECT_EQ(line.find(" 3"), line.find(' ')) << line;
  const std::string err = Stderr();
  const std::string report = "device entry plugin:" TOGGRA_TEST_PLUGIN_WRONG_VERSION ": ";
  const size_t first = err.find(report);
  EXPECT_NE(first, std::string::npos) << err;
  EXPECT_EQ(err.find(report, first + 1), std::string::npos) << err;
}

}  // namespace
}  // namespace toggra::e2e

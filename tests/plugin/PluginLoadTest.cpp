// Real plug-ins loaded with dlopen: the example plug-in must answer every
// call as the bench it serves does, and broken plug-ins must be refused with
// their reason, once, without taking the other entries with them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "device/BenchPivlink.h"
#include "device/DeviceRegistry.h"
#include "device/plugin/PluginPivlink.h"
#include "support/TempDir.h"

namespace toggra::test {
namespace {

constexpr char kBench[] =
    "[device]\ntype = 40\nversion = 31\nserial = 6699\nswitches = 4\nstate = 1 0 1 0\n"
    "[device]\ntype = 8\nversion = 5\nserial = 8203\nswitches = 3\ntraffic_light = 1\n"
    "state = 0 1 0\n"
    "[device]\ntype = 48\nversion = 2\nserial = 17\nswitches = 2\ncutter = 17\n"
    "config_failures = 1\nmulti_switch_fails = 1\nstate = -1 1\n";

class ExamplePlugin : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string bench = dir.File("plugin.bench");
  const std::string log = dir.File("plugin.log");

  void SetUp() override {
    TempDir::Write(bench, kBench);
    ::setenv("TOGGRA_PLUGIN_BENCH", bench.c_str(), 1);
    ::setenv("TOGGRA_PLUGIN_BENCH_LOG", log.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TOGGRA_PLUGIN_BENCH");
    ::unsetenv("TOGGRA_PLUGIN_BENCH_LOG");
  }
  std::unique_ptr<CPluginPivlink> Load() {
    std::string reason;
    auto lib = CPluginPivlink::Load(TOGGRA_BENCH_PLUGIN, &reason);
    EXPECT_TRUE(lib) << reason;
    return lib;
  }
};

TEST_F(ExamplePlugin, AnswersEveryCallAsTheBenchItServes) {
  auto plugin = Load();
  ASSERT_TRUE(plugin);
  CBenchPivlink direct(bench, "", [](const std::string&) {});
  ASSERT_EQ(plugin->OpenArvendal(), 3);
  ASSERT_EQ(direct.OpenArvendal(), 3);
  for (int d = 0; d < 3; ++d) {
    SCOPED_TRACE(d);
    EXPECT_EQ(plugin->GetUSBType(d), direct.GetUSBType(d));
    // Twice: the first read of device 2 fails in both.
    for (int round = 0; round < 2; ++round) {
      int count[2] = {-7, -7}, button[2] = {-7, -7};
      const int ok = plugin->GetSwitchConfig(d, &count[0], &button[0]);
      EXPECT_EQ(ok, direct.GetSwitchConfig(d, &count[1], &button[1]));
      if (ok) EXPECT_EQ(count[0], count[1]);
    }
    EXPECT_EQ(plugin->GetOnlineOnCount(d), direct.GetOnlineOnCount(d));
    EXPECT_EQ(plugin->IsAmpel(d), direct.IsAmpel(d));
    EXPECT_EQ(plugin->GetVersion(d), direct.GetVersion(d));
    EXPECT_EQ(plugin->GetSerialNumber(d), direct.GetSerialNumber(d));
    EXPECT_EQ(plugin->IsCutter(d), direct.IsCutter(d));
    for (int id = 16; id < 20; ++id) EXPECT_EQ(plugin->GetSwitch(d, id), direct.GetSwitch(d, id));
    unsigned long mask[2] = {0, 0}, value[2] = {0, 0};
    EXPECT_EQ(plugin->GetMultiSwitch(d, &mask[0], &value[0], 1),
              direct.GetMultiSwitch(d, &mask[1], &value[1], 1));
    EXPECT_EQ(value[0], value[1]);
  }
  EXPECT_EQ(plugin->IsCutter(2), 17);
  EXPECT_EQ(plugin->GetSwitch(0, 18), 1);
}

TEST_F(ExamplePlugin, SwitchesAndResetsReachTheDevicesAndNothingElse) {
  auto plugin = Load();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->OpenArvendal(), 3);
  EXPECT_NE(plugin->SetSwitch(0, 17, 1), 0);
  EXPECT_NE(plugin->ResetDevice(1), 0);
  CBenchPivlink direct(bench, "", [](const std::string&) {});
  direct.OpenArvendal();
  EXPECT_EQ(direct.GetSwitch(0, 17), 1);
  EXPECT_EQ(TempDir::Read(log), "SetSwitch 0 17 1\nResetDevice 1\n");

  // Numbers outside the opened devices never reach the plug-in.
  const std::string before = TempDir::Read(bench);
  EXPECT_EQ(plugin->SetSwitch(3, 16, 1), 0);
  EXPECT_EQ(plugin->SetSwitch(-1, 16, 1), 0);
  EXPECT_EQ(plugin->GetSwitch(3, 16), -1);
  EXPECT_EQ(plugin->ResetDevice(3), 0);
  EXPECT_EQ(TempDir::Read(bench), before);

  EXPECT_EQ(plugin->DeviceName(0), "bench-6699");
  EXPECT_EQ(plugin->DeviceName(2), "bench-17");
  EXPECT_EQ(plugin->DeviceName(3), "3");
}

TEST_F(ExamplePlugin, RegistryJoinsItWithOtherEntriesAndReportsABrokenOneOnce) {
  std::vector<std::string> errors;
  auto all = BuiltinRegistry().Open(
      {"plugin:" TOGGRA_BENCH_PLUGIN, "plugin:" TOGGRA_TEST_PLUGIN_WRONG_VERSION, "bench:" + bench},
      [&](const std::string& m) { errors.push_back(m); });
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("device entry plugin:" TOGGRA_TEST_PLUGIN_WRONG_VERSION ": ", 0), 0u)
      << errors[0];
  ASSERT_EQ(all->OpenArvendal(), 6);
  EXPECT_EQ(all->ChannelId(0, 1), "plugin:bench-6699:2");
  EXPECT_EQ(all->ChannelId(3, 0), "bench:0:1");
  EXPECT_NE(all->SetSwitch(1, 18, 1), 0);
  EXPECT_EQ(all->GetSwitch(4, 18), 1);  // the same light, through the bench entry
  EXPECT_EQ(errors.size(), 1u);
}

// ---- plug-ins that must be refused ----

struct BrokenCase {
  const char* name;
  std::string path;
  std::string reason;  // a part of the message
  int released;        // release calls expected, -1 when the library has no counter
};

class BrokenPlugin : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenPlugin, IsRefusedWithItsReason) {
  const BrokenCase& c = GetParam();
  // Held open here, so that the counter outlives the loader's dlclose.
  void* held = c.released >= 0 ? ::dlopen(c.path.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
  std::string reason;
  EXPECT_EQ(CPluginPivlink::Load(c.path, &reason), nullptr);
  EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
  if (held) {
    EXPECT_EQ(*static_cast<int*>(::dlsym(held, "released")), c.released);
    ::dlclose(held);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, BrokenPlugin,
    ::testing::Values(
        BrokenCase{"WrongVersion", TOGGRA_TEST_PLUGIN_WRONG_VERSION,
                   "driver interface version 2 is unknown (this Toggra knows version 1)", 0},
        BrokenCase{"NoEntry", TOGGRA_TEST_PLUGIN_NO_ENTRY, "no entry symbol toggra_driver_entry",
                   -1},
        BrokenCase{"NullTable", TOGGRA_TEST_PLUGIN_NULL_TABLE, "returned no driver table", -1},
        BrokenCase{"MissingMember", TOGGRA_TEST_PLUGIN_MISSING_MEMBER,
                   "the driver table has no set_switch", 1},
        BrokenCase{"Unresolved", TOGGRA_TEST_PLUGIN_UNRESOLVED, "toggra_test_vendor_library_open",
                   -1},
        BrokenCase{"Missing", "/nonexistent/toggra-plugin.so", "No such file", -1},
        BrokenCase{"NotALibrary", TOGGRA_SOURCE_DIR "/README.md", "README.md", -1},
        BrokenCase{"BareName", "toggra-plugin.so", "with a '/'", -1},
        BrokenCase{"Empty", "", "plugin:PATH", -1},
        // The example plug-in without its bench file.
        BrokenCase{"ExampleUnconfigured", TOGGRA_BENCH_PLUGIN, "returned no driver table", -1}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace toggra::test

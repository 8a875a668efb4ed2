#include "device/BenchSupport.h"

namespace toggra::test {
namespace {

using BenchTool = BenchTest;

TEST_F(BenchTool, DemoWritesTheShippedDemoSet) {
  const ToolRun run = RunTool(dir, {path, "demo"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(File(), TempDir::Read(TOGGRA_SOURCE_DIR "/data/demo.bench"));

  auto lib = Make();
  ASSERT_EQ(lib->OpenArvendal(), 4);
  int count[4] = {0, 0, 0, 0}, button = 0;
  for (int d = 0; d < 4; ++d) ASSERT_NE(lib->GetSwitchConfig(d, &count[d], &button), 0);
  EXPECT_EQ(lib->GetUSBType(0), 40);
  EXPECT_EQ(count[0], 4);
  EXPECT_EQ(lib->GetUSBType(1), 8);
  EXPECT_EQ(count[1], 1);
  EXPECT_EQ(lib->GetUSBType(2), 8);
  EXPECT_EQ(count[2], 3);
  EXPECT_EQ(lib->IsAmpel(0) || lib->IsAmpel(1), false);
  EXPECT_EQ(lib->IsAmpel(2), 1);
  EXPECT_NE(lib->GetSerialNumber(0), lib->GetSerialNumber(1));
  EXPECT_NE(lib->GetSerialNumber(1), lib->GetSerialNumber(2));
  EXPECT_NE(lib->GetSerialNumber(0), lib->GetSerialNumber(2));
  EXPECT_NE(lib->GetVersion(0), lib->GetVersion(1));
  EXPECT_NE(lib->GetVersion(1), lib->GetVersion(2));
  EXPECT_NE(lib->GetVersion(0), lib->GetVersion(2));
  // The group layout's device: exactly eight plain channels, all off.
  EXPECT_EQ(count[3], 8);
  EXPECT_EQ(lib->IsAmpel(3), 0);
  for (int d = 0; d < 3; ++d) {
    EXPECT_NE(lib->GetSerialNumber(3), lib->GetSerialNumber(d));
    EXPECT_NE(lib->GetVersion(3), lib->GetVersion(d));
  }
  for (int id = 16; id < 24; ++id) EXPECT_EQ(lib->GetSwitch(3, id), 0);
}

TEST_F(BenchTool, DemoReplacesAnExistingFileOnlyWithForce) {
  TempDir::Write(path, "[device]\n# mine\n");
  ToolRun run = RunTool(dir, {path, "demo"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(path + " exists; give --force"), std::string::npos) << run.err;
  EXPECT_EQ(File(), "[device]\n# mine\n");
  // A link counts as existing even when it leads nowhere.
  const std::string link = dir.File("link.bench");
  ASSERT_EQ(::symlink(dir.File("gone.bench").c_str(), link.c_str()), 0);
  EXPECT_EQ(RunTool(dir, {link, "demo"}).exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("gone.bench")));

  run = RunTool(dir, {path, "demo", "--force"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(File(), TempDir::Read(TOGGRA_SOURCE_DIR "/data/demo.bench"));
}

TEST_F(BenchTool, HelpGoesToStandardOutput) {
  for (const char* option : {"--help", "-h"}) {
    const ToolRun run = RunTool(dir, {option});
    EXPECT_EQ(run.exitCode, 0) << option;
    EXPECT_EQ(run.out.rfind("usage: toggra-bench FILE show", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("demo [--force]"), std::string::npos) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
  }
}

TEST_F(BenchTool, SetSwitchesByHandAndTheProgramSeesIt) {
  auto lib = Open("[device]\nswitches = 2\n# mine\n[device]\ntraffic_light = 1\nstate = 1 0 0\n");
  EXPECT_EQ(lib->GetSwitch(0, 17), 0);
  ToolRun run = RunTool(dir, {path, "set", "0", "17", "1"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(lib->GetSwitch(0, 17), 1);
  run = RunTool(dir, {path, "set", "1", "18", "-1"});
  EXPECT_EQ(lib->GetSwitch(1, 18), -1);
  EXPECT_NE(File().find("# mine\n"), std::string::npos);

  run = RunTool(dir, {path, "show"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("device 0: type 8, version 1, serial 1000, switches 2"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  17: on\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  16 red: on\n  17 yellow: off\n  18 green: -1 (unreachable)\n"),
            std::string::npos)
      << run.out;
}

TEST_F(BenchTool, RefusesWhatTheFileDoesNotHave) {
  TempDir::Write(path, "[device]\nswitches = 2\n");
  const std::string before = File();
  for (auto args : {std::vector<std::string>{"set", "1", "16", "1"},
                    std::vector<std::string>{"set", "0", "18", "1"},
                    std::vector<std::string>{"set", "0", "15", "1"}}) {
    args.insert(args.begin(), path);
    const ToolRun run = RunTool(dir, args);
    EXPECT_EQ(run.exitCode, 1) << args[2] << " " << args[3];
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_EQ(File(), before);

  TempDir::Write(path, "[device]\n\nswitches = many\n");
  ToolRun run = RunTool(dir, {path, "show"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(path + ":3: "), std::string::npos) << run.err;
  run = RunTool(dir, {dir.File("none.bench"), "show"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(dir.File("none.bench")), std::string::npos) << run.err;
}

TEST_F(BenchTool, UsageErrorsExitWithTwo) {
  TempDir::Write(path, "[device]\n");
  for (const auto& args : {std::vector<std::string>{},
                           std::vector<std::string>{path, "toggle"},
                           std::vector<std::string>{path, "set", "0", "16", "on"},
                           std::vector<std::string>{path, "set", "0", "16", "7"},
                           std::vector<std::string>{path, "set", "0", "16", "2"},
                           std::vector<std::string>{path, "set", "0", "16", "-2"},
                           std::vector<std::string>{path, "demo", "--froce"},
                           std::vector<std::string>{path, "show", "extra"}}) {
    const ToolRun run = RunTool(dir, args);
    EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
    EXPECT_TRUE(run.out.empty());
  }
  EXPECT_EQ(File(), "[device]\n");
}

}  // namespace
}  // namespace toggra::test

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "device/BenchSupport.h"
#include "device/NoDevicePivlink.h"

namespace toggra::test {
namespace {

constexpr char kTwoDevices[] =
    "[device]\ntype = 40\nversion = 31\nserial = 6699\nswitches = 4\ncutter = 17\n"
    "state = 1 0 5 -1\nresets = 0\n"
    "[device]\ntraffic_light = 1\nstate = 0 1\n";

using BenchOperations = BenchTest;

TEST_F(BenchOperations, ReportTheDevicesOfTheFile) {
  auto lib = Open(kTwoDevices);
  EXPECT_EQ(lib->OpenArvendal(), 2);
  EXPECT_EQ(lib->GetUSBType(0), 40);
  EXPECT_EQ(lib->GetVersion(0), 31);
  EXPECT_EQ(lib->GetSerialNumber(0), 6699);
  EXPECT_EQ(lib->IsCutter(0), 17);
  EXPECT_EQ(lib->IsAmpel(0), 0);
  // The second device has every default but the traffic-light flag.
  EXPECT_EQ(lib->GetUSBType(1), 8);
  EXPECT_EQ(lib->GetVersion(1), 1);
  EXPECT_EQ(lib->GetSerialNumber(1), 1001);
  EXPECT_EQ(lib->IsAmpel(1), 1);
  EXPECT_EQ(lib->IsCutter(1), 0);
  int count = 1, button = 7;
  EXPECT_NE(lib->GetSwitchConfig(0, &count, &button), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(button, 0);
  EXPECT_NE(lib->GetSwitchConfig(1, &count, &button), 0);
  EXPECT_EQ(count, 3);
  EXPECT_TRUE(messages.empty());
}

TEST_F(BenchOperations, GetSwitchReadsTheStateListWithinTheChannels) {
  auto lib = Open(kTwoDevices);
  EXPECT_EQ(lib->GetSwitch(0, 16), 1);
  EXPECT_EQ(lib->GetSwitch(0, 17), 0);
  EXPECT_EQ(lib->GetSwitch(0, 18), 5);   // passed on as it is: an inconsistent lamp
  EXPECT_EQ(lib->GetSwitch(0, 19), -1);  // unreachable
  EXPECT_EQ(lib->GetSwitch(0, 20), -1);  // beyond the four channels
  EXPECT_EQ(lib->GetSwitch(0, 15), -1);
  EXPECT_EQ(lib->GetSwitch(1, 17), 1);
  EXPECT_EQ(lib->GetSwitch(1, 18), 0);   // the list is shorter than the lamps
}

TEST_F(BenchOperations, DeviceNumbersOutsideTheOpenedSetFindNothing) {
  TempDir::Write(path, kTwoDevices);
  auto lib = Make();
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);  // nothing is open before OpenArvendal
  lib->OpenArvendal();
  unsigned long value = 99;
  int count = 1, button = 0;
  for (int d : {-1, 2, 1000}) {
    EXPECT_EQ(lib->GetSwitch(d, 16), -1);
    EXPECT_EQ(lib->GetUSBType(d), 0);
    EXPECT_EQ(lib->GetSwitchConfig(d, &count, &button), 0);
    EXPECT_EQ(lib->GetMultiSwitch(d, nullptr, &value, 0), -1);
    EXPECT_EQ(lib->SetSwitch(d, 16, 1), 0);
    EXPECT_EQ(lib->ResetDevice(d), 0);
  }
  EXPECT_EQ(count, 1);
  EXPECT_EQ(value, 99u);
  EXPECT_EQ(File(), kTwoDevices);
}

TEST_F(BenchOperations, SetSwitchRewritesTheEntry) {
  auto lib = Open(kTwoDevices);
  EXPECT_EQ(lib->SetSwitch(0, 17, 1), 1);
  EXPECT_EQ(lib->SetSwitch(1, 18, 1), 1);
  EXPECT_EQ(lib->GetSwitch(0, 17), 1);
  EXPECT_EQ(lib->GetSwitch(1, 18), 1);
  std::string expected = kTwoDevices;
  expected.replace(expected.find("1 0 5 -1"), 8, "1 1 5 -1");
  expected.replace(expected.find("0 1\n"), 4, "0 1 1\n");
  EXPECT_EQ(File(), expected);
  // A channel the device does not have is not created.
  EXPECT_EQ(lib->SetSwitch(0, 20, 1), 0);
  EXPECT_EQ(File(), expected);
}

TEST_F(BenchOperations, ResetDeviceCountsAndLeavesTheStates) {
  auto lib = Open(kTwoDevices);
  lib->ResetDevice(0);
  lib->ResetDevice(0);
  lib->ResetDevice(1);
  const BenchParse parse = ParseBench(File(), path);
  ASSERT_TRUE(parse.ok);
  EXPECT_EQ(parse.set.devices[0].resets, 2);
  EXPECT_EQ(parse.set.devices[1].resets, 1);
  EXPECT_EQ(parse.set.devices[0].state, (std::vector<int>{1, 0, 5, -1}));
  EXPECT_EQ(parse.set.devices[1].state, (std::vector<int>{0, 1}));
}

TEST_F(BenchOperations, MultiSwitchHasABitForEachEntryThatIsOne) {
  auto lib = Open("[device]\ntype = 40\nswitches = 8\nstate = 1 0 1 5 -1 0 0 1\n"
                  "[device]\nswitches = 2\nmulti_switch_fails = 1\nstate = 1 1\n");
  unsigned long value = 0;
  EXPECT_GE(lib->GetMultiSwitch(0, nullptr, &value, 0), 0);
  EXPECT_EQ(value, 0b10000101ul);
  value = 42;
  EXPECT_LT(lib->GetMultiSwitch(1, nullptr, &value, 0), 0);
  EXPECT_EQ(value, 42u);
  EXPECT_LT(lib->GetMultiSwitch(0, nullptr, nullptr, 0), 0);
}

// config_failures: how many GetSwitchConfig calls of this process fail first.
class ConfigFailures : public BenchTest, public ::testing::WithParamInterface<int> {};

TEST_P(ConfigFailures, FailTheFirstCallsOfTheProcess) {
  const int failures = GetParam();
  auto lib = Open("[device]\nswitches = 4\nconfig_failures = " + std::to_string(failures) + "\n");
  for (int call = 1; call <= 3; ++call) {
    int count = 1, button = 0;
    const int ok = lib->GetSwitchConfig(0, &count, &button);
    EXPECT_EQ(ok != 0, call > failures) << "call " << call;
    EXPECT_EQ(count, call > failures ? 4 : 1) << "call " << call;
  }
  // Another process starts counting anew.
  auto other = Make();
  other->OpenArvendal();
  int count = 1, button = 0;
  EXPECT_EQ(other->GetSwitchConfig(0, &count, &button) != 0, failures == 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, ConfigFailures, ::testing::Values(0, 1, 2));

using BenchSharing = BenchTest;

TEST_F(BenchSharing, AChangeByAnyoneIsWhatTheNextReadingReturns) {
  auto lib = Open("[device]\nstate = 0\n");
  EXPECT_EQ(lib->GetSwitch(0, 16), 0);
  // An editor that writes in place, at once and with the same size.
  TempDir::Write(path, "[device]\nstate = 1\n");
  EXPECT_EQ(lib->GetSwitch(0, 16), 1);
  EXPECT_EQ(lib->GetSwitch(0, 16), 1);
  // Another instance, which replaces the file.
  auto other = Make();
  other->OpenArvendal();
  other->SetSwitch(0, 16, 0);
  EXPECT_EQ(lib->GetSwitch(0, 16), 0);
  other->SetSwitch(0, 16, 1);
  other->SetSwitch(0, 16, 0);
  other->SetSwitch(0, 16, -1);
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  EXPECT_TRUE(messages.empty());
}

TEST_F(BenchSharing, AMissingFileIsNoDeviceAndSaysWhichFile) {
  auto lib = Make();
  EXPECT_EQ(lib->OpenArvendal(), 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(path), std::string::npos) << messages[0];
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(BenchSharing, AMalformedFileIsNoDeviceAndNamesTheLine) {
  auto lib = Open("[device]\ntype = 8\n\ncolour = red\n");
  EXPECT_EQ(lib->OpenArvendal(), 0);
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  ASSERT_EQ(messages.size(), 1u);  // reported once, not on every call
  EXPECT_EQ(messages[0].rfind(path + ":4: ", 0), 0u) << messages[0];
}

TEST_F(BenchSharing, AFileThatGoesAwayIsUnreachableUntilItIsBack) {
  auto lib = Open(kTwoDevices);
  std::filesystem::remove(path);
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  EXPECT_EQ(lib->SetSwitch(0, 16, 0), 0);
  lib->ResetDevice(0);
  EXPECT_FALSE(std::filesystem::exists(path));
  // Broken by hand: the program leaves the person's text alone.
  TempDir::Write(path, "[device]\nstate = on\n");
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  EXPECT_EQ(lib->SetSwitch(0, 16, 0), 0);
  EXPECT_EQ(File(), "[device]\nstate = on\n");
  EXPECT_EQ(messages.size(), 2u);  // gone, then malformed; each said once
  std::filesystem::create_directory(path + ".d");
  std::filesystem::remove(path);
  std::filesystem::rename(path + ".d", path);  // not a file at all
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  EXPECT_EQ(lib->SetSwitch(0, 16, 1), 0);
  std::filesystem::remove(path);
  TempDir::Write(path, kTwoDevices);
  EXPECT_EQ(lib->GetSwitch(0, 16), 1);
  EXPECT_EQ(lib->SetSwitch(0, 16, 0), 1);
  EXPECT_EQ(lib->GetSwitch(0, 16), 0);
}

TEST_F(BenchSharing, RewritingKeepsTheFileModeAndAPointingLink) {
  TempDir::Write(dir.File("real.bench"), kTwoDevices);
  chmod(dir.File("real.bench").c_str(), 0640);
  std::filesystem::create_symlink(dir.File("real.bench"), path);
  auto lib = Make();
  ASSERT_EQ(lib->OpenArvendal(), 2);
  lib->SetSwitch(0, 16, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(lib->GetSwitch(0, 16), 0);
  struct stat st;
  ASSERT_EQ(stat(dir.File("real.bench").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

using BenchWireTrace = BenchTest;

TEST_F(BenchWireTrace, LogsEveryCommandReceivedInOrder) {
  TempDir::Write(logPath, "earlier run\n");
  auto lib = Open(kTwoDevices, logPath);
  lib->GetSwitch(0, 16);
  lib->SetSwitch(0, 17, 1);
  lib->SetSwitch(1, 16, 0);
  lib->SetSwitch(5, 16, 1);  // received, though there is no such device
  lib->ResetDevice(1);
  lib->ResetDevice(0);
  EXPECT_EQ(TempDir::Read(logPath),
            "earlier run\nSetSwitch 0 17 1\nSetSwitch 1 16 0\nSetSwitch 5 16 1\n"
            "ResetDevice 1\nResetDevice 0\n");
}

TEST(LibraryChoice, BenchWhenNamedElseNoDevice) {
  TempDir dir;
  const std::string bench = dir.File("env.bench"), log = dir.File("env.log");
  TempDir::Write(bench, kTwoDevices);
  setenv("TOGGRA_BENCH", bench.c_str(), 1);
  setenv("TOGGRA_BENCH_LOG", log.c_str(), 1);
  auto lib = CreatePivlink();
  EXPECT_EQ(lib->OpenArvendal(), 2);
  lib->ResetDevice(1);
  EXPECT_EQ(TempDir::Read(log), "ResetDevice 1\n");
  unsetenv("TOGGRA_BENCH");
  unsetenv("TOGGRA_BENCH_LOG");
  auto none = CreatePivlink();
  EXPECT_EQ(none->OpenArvendal(), 0);
  EXPECT_LT(none->GetSwitch(0, 16), 0);
}

}  // namespace
}  // namespace toggra::test

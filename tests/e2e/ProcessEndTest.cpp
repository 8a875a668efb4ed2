// How the real program ends when it is told to from outside: a termination
// signal ends it as "Beenden" does, with the devices reset, also while a
// dialog that nobody answers blocks its start.
#include <fstream>

#include "E2ESupport.h"

namespace toggra::e2e {
namespace {

// True once the process catches `signal` (its handler is in place), as
// /proc tells it.
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
    return (mask >> (signal - 1)) & 1;
  }
  return false;
}

class EndOnSignal : public E2ETest, public ::testing::WithParamInterface<int> {};

TEST_P(EndOnSignal, EndsCleanlyWithOneResetPerColumnAndTheStatesKept) {
  TempDir::Write(bench, BenchText({{.type = 8, .serial = 11, .switches = 3, .state = {0, 1, 0}},
                                   {.type = 40, .serial = 12, .switches = 1, .state = {1}}}));
  ChildProcess& toggra = Start({});
  // The start-up sends each channel its state once; after that the program
  // sits in its loop.
  ASSERT_TRUE(WaitUntil([&] { return SetSwitches().size() == 4; }, 20s)) << Stderr();
  ASSERT_TRUE(WaitUntil([&] { return Catches(toggra.Pid(), GetParam()); }, 10s));
  toggra.Signal(GetParam());
  const auto status = toggra.WaitExit(10s);
  EXPECT_TRUE(CleanExit(status)) << DescribeStatus(status);

  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.end()),
            (std::vector<std::string>{"ResetDevice 0", "ResetDevice 0", "ResetDevice 0",
                                      "ResetDevice 1"}));
  const auto set = Bench();
  ASSERT_TRUE(set);
  EXPECT_EQ(set->devices[0].resets, 3);
  EXPECT_EQ(set->devices[1].resets, 1);
  EXPECT_EQ(set->devices[0].state, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(set->devices[1].state, std::vector<int>{1});
}

INSTANTIATE_TEST_SUITE_P(Signals, EndOnSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(strsignal(info.param)); });

// A dialog at start-up that nobody answers must not keep the program from
// ending; whether the signal comes before or while it shows.
struct BlockingStart {
  const char* name;
  std::vector<Device> devices;
  bool hivesWritable;
  int resets;  // ResetDevice commands the end sends

  friend void PrintTo(const BlockingStart& b, std::ostream* os) { *os << b.name; }
};

class EndOnSignalWhileTheStartWaits : public E2ETest,
                                      public ::testing::WithParamInterface<BlockingStart> {};

TEST_P(EndOnSignalWhileTheStartWaits, EndsCleanly) {
  const BlockingStart& c = GetParam();
  TempDir::Write(bench, BenchText(c.devices));
  std::map<std::string, std::string> env;
  if (!c.hivesWritable) {
    // A regular file where the hives' folder would be: not even root can
    // create them, so the settings store cannot be opened at all.
    TempDir::Write(dir.File("blocker"), "");
    env["TOGGRA_HKCU"] = dir.File("blocker") + "/HKEY_CURRENT_USER.reg";
    env["TOGGRA_HKLM"] = dir.File("blocker") + "/HKEY_LOCAL_MACHINE.reg";
  }
  ChildProcess& toggra = Start({}, "toggra", env);
  ASSERT_TRUE(WaitUntil([&] { return Catches(toggra.Pid(), SIGTERM); }, 20s)) << Stderr();
  // Time for the dialog to open; the end must come whether it has or not.
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(toggra.Running()) << "the start should wait for an answer";
  toggra.Signal(SIGTERM);
  const auto status = toggra.WaitExit(10s);
  EXPECT_TRUE(CleanExit(status)) << DescribeStatus(status);
  const std::vector<std::string> log = Log();
  EXPECT_EQ(Count(log, "ResetDevice 0"), c.resets);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, EndOnSignalWhileTheStartWaits,
    ::testing::Values(
        // "Es wurde kein USB-Gerät gefunden." offers the simulation.
        BlockingStart{"NoDevice", {}, true, 0},
        // "Schalter nicht erreichbar", then the same offer.
        BlockingStart{"ChannelUnreachable", {{.switches = 1, .state = {-1}}}, true, 0},
        // "Registry open error" before the devices are looked at.
        BlockingStart{"RegistryOpenError", {{.switches = 2, .state = {0, 0}}}, false, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace toggra::e2e

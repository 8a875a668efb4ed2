// Faults of the hardware and of the shared files, injected while the real
// program runs: it must neither crash nor hang, and must carry on as soon as
// the fault is gone. The group layout with a state file makes the program's
// work visible from outside: on every tick it applies the file to the
// channels, and each command lands in its command log.
#include <fcntl.h>
#include <sys/file.h>

#include <array>
#include <filesystem>

#include "E2ESupport.h"

namespace toggra::e2e {
namespace {

namespace fs = std::filesystem;

// ---- devices whose channel configuration cannot be read at first ----

struct ConfigCase {
  int failures;  // GetSwitchConfig calls that fail before one succeeds
  bool used;
};

// The start-up asks twice; a device that answers neither time is passed over.
constexpr std::array<ConfigCase, 4> kConfigCases{{{0, true}, {1, true}, {2, false}, {5, false}}};

using FailingConfig = E2ETest;

TEST_F(FailingConfig, DeviceIsUsedWhenTheSecondReadSucceeds) {
  std::vector<Device> devices;
  for (const ConfigCase& c : kConfigCases)
    devices.push_back({.type = 8, .switches = 2, .configFailures = c.failures, .state = {1, 0}});
  TempDir::Write(bench, BenchText(devices));
  ChildProcess& toggra = Start({});
  ASSERT_TRUE(WaitUntil([&] { return SetSwitches().size() == 4; }, 20s)) << Stderr();
  std::this_thread::sleep_for(200ms);
  toggra.Signal(SIGTERM);
  const auto status = toggra.WaitExit(10s);
  EXPECT_TRUE(CleanExit(status)) << DescribeStatus(status);
  const std::vector<std::string> log = Log();
  for (size_t d = 0; d < kConfigCases.size(); ++d) {
    const std::string n = std::to_string(d);
    const long expected = kConfigCases[d].used ? 1 : 0;
    // Each used channel is sent its state at start and reset at the end.
    EXPECT_EQ(Count(log, "SetSwitch " + n + " 16 1"), expected)
        << "failures " << kConfigCases[d].failures;
    EXPECT_EQ(Count(log, "SetSwitch " + n + " 17 0"), expected)
        << "failures " << kConfigCases[d].failures;
    EXPECT_EQ(Count(log, "ResetDevice " + n), 2 * expected)
        << "failures " << kConfigCases[d].failures;
  }
}

// ---- group instances on a bench that goes wrong ----

class GroupInstance : public E2ETest {
 protected:
  static constexpr int kChannels = 8;

  void SetUp() override {
    TempDir::Write(bench, BenchText({{.type = 40,
                                      .serial = 77,
                                      .switches = kChannels,
                                      .state = std::vector<int>(kChannels, 0)}}));
    TempDir::Write(stateFile, "0 0 0 0 0 0 0 0");
    toggra = &Start({"-D", "-S", stateFile});
    // Start-up, then the file applied on a few ticks.
    ASSERT_TRUE(WaitUntil([&] { return SetSwitches().size() >= 4 * kChannels; }, 20s)) << Stderr();
  }

  std::vector<int> BenchStates() const {
    const auto set = Bench();
    return set ? set->devices[0].state : std::vector<int>{};
  }
  // The program is alive and applies the state file on its ticks.
  bool KeepsApplying(std::chrono::milliseconds within = 3s) {
    const size_t before = SetSwitches().size();
    return WaitUntil([&] { return SetSwitches().size() >= before + 2 * kChannels; }, within);
  }
  // Lines the program wrote to stderr about the bench file (Qt's own notes
  // about the missing tray are not the program's).
  std::vector<std::string> BenchComplaints() const {
    std::vector<std::string> out;
    for (const std::string& line : Lines(Stderr()))
      if (line.rfind(bench, 0) == 0) out.push_back(line);
    return out;
  }
  void EndCleanly() {
    toggra->Signal(SIGTERM);
    const auto status = toggra->WaitExit(10s);
    EXPECT_TRUE(CleanExit(status)) << DescribeStatus(status);
  }

  ChildProcess* toggra = nullptr;
};

struct BenchFault {
  const char* name;
  std::function<void(const std::string& bench)> inject;
  bool needsNonRoot;

  friend void PrintTo(const BenchFault& f, std::ostream* os) { *os << f.name; }
};

class BenchFileFault : public GroupInstance, public ::testing::WithParamInterface<BenchFault> {};

TEST_P(BenchFileFault, ProgramKeepsRunningComplainsOnceAndResumesWhenTheFileIsBack) {
  if (GetParam().needsNonRoot && ::geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string good = TempDir::Read(bench);
  GetParam().inject(bench);
  // Commands keep coming on every tick (the program neither hangs nor ends),
  // and the trouble is told once, not on every tick.
  ASSERT_TRUE(KeepsApplying());
  ASSERT_TRUE(KeepsApplying());
  EXPECT_TRUE(toggra->Running());
  EXPECT_EQ(BenchComplaints().size(), 1u) << Stderr();

  ASSERT_TRUE(WriteStateWhole(stateFile, "1 0 1 0 0 0 0 1"));
  std::error_code ec;
  fs::permissions(bench, fs::perms::owner_read | fs::perms::owner_write, ec);
  fs::remove_all(bench, ec);
  BenchFile restorer(bench, {});
  ASSERT_TRUE(restorer.Replace(good));
  EXPECT_TRUE(
      WaitUntil([&] { return BenchStates() == std::vector<int>{1, 0, 1, 0, 0, 0, 0, 1}; }, 5s))
      << "the file was applied to the bench once it was back";
  EndCleanly();
  const auto set = Bench();
  ASSERT_TRUE(set);
  EXPECT_EQ(set->devices[0].resets, kChannels);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BenchFileFault,
    ::testing::Values(
        BenchFault{"Deleted", [](const std::string& b) { fs::remove(b); }, false},
        BenchFault{"ReplacedByAFolder",
                   [](const std::string& b) {
                     fs::remove(b);
                     fs::create_directory(b);
                   },
                   false},
        BenchFault{"Garbled",
                   [](const std::string& b) { TempDir::Write(b, "[device]\ntype = acht\n"); },
                   false},
        BenchFault{"Unreadable", [](const std::string& b) { fs::permissions(b, fs::perms::none); },
                   true}),
    [](const auto& info) { return std::string(info.param.name); });

using StateFileHeld = GroupInstance;

TEST_F(StateFileHeld, NothingIsAppliedWhileAnotherProcessHoldsItAndTheNewStateAfterwards) {
  const int fd = ::open(stateFile.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  // A tick that had the file open before the lock may still finish.
  std::this_thread::sleep_for(300ms);
  const size_t during = SetSwitches().size();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(SetSwitches().size(), during) << "applied a file another process was writing";
  EXPECT_TRUE(toggra->Running());
  // The holder writes, then lets go.
  const std::string next = "1 1 0 0 0 0 1 1";
  ASSERT_EQ(::ftruncate(fd, 0), 0);
  ASSERT_EQ(::write(fd, next.data(), next.size()), static_cast<ssize_t>(next.size()));
  ::close(fd);
  EXPECT_TRUE(
      WaitUntil([&] { return BenchStates() == std::vector<int>{1, 1, 0, 0, 0, 0, 1, 1}; }, 5s));
  EXPECT_TRUE(KeepsApplying());
  EXPECT_TRUE(BenchComplaints().empty()) << Stderr();
  EndCleanly();
}

}  // namespace
}  // namespace toggra::e2e

// Three instances in the group layout share one state file and one bench of
// two 8-channel devices for a minute, while a driver writes random states
// into the file, valid and invalid, whole, under the same lock protocol as
// the program. Each instance keeps a command log of its own, so what each
// applied can be told apart.
#include <array>
#include <cstdio>
#include <random>
#include <set>

#include "E2ESupport.h"
#include "app/Ids.h"

namespace toggra::e2e {
namespace {

constexpr int kInstances = 3;
constexpr int kValues = 8;    // one group: two rows of four
constexpr int kColumns = 16;  // two devices of 8 channels
constexpr auto kDriveFor = std::chrono::seconds(60);

using State = std::array<int, kValues>;

std::string Text(const State& s) {
  std::string out;
  for (int v : s) out += (out.empty() ? "" : " ") + std::to_string(v);
  return out;
}

// What one instance's command log says it did after its start-up.
struct Applied {
  std::vector<State> states;      // one per tick that applied the file, in order
  std::vector<std::string> rest;  // everything after the last such tick
  std::string problem;            // a command that fits no tick's pattern
};

// Every tick that applies the file sends all 16 columns in order: device 0's
// ids 16..23, then device 1's, each column taking value[column mod 8].
Applied ParseApplied(const std::vector<std::string>& log) {
  Applied out;
  size_t k = kColumns;  // the start-up sends each channel its state once
  while (k < log.size() && log[k].rfind("SetSwitch ", 0) == 0) {
    if (k + kColumns > log.size()) {
      out.problem = "a tick's commands end early at line " + std::to_string(k);
      return out;
    }
    State s{};
    for (int j = 0; j < kColumns; ++j) {
      int dev = -1, id = -1, value = -1;
      if (std::sscanf(log[k + j].c_str(), "SetSwitch %d %d %d", &dev, &id, &value) != 3 ||
          dev != j / kValues || id != kFirstSwitchId + j % kValues ||
          (j >= kValues && value != s[j % kValues])) {
        out.problem = "unexpected command \"" + log[k + j] + "\" at line " + std::to_string(k + j);
        return out;
      }
      s[j % kValues] = value;
    }
    out.states.push_back(s);
    k += kColumns;
  }
  out.rest.assign(log.begin() + std::min(k, log.size()), log.end());
  return out;
}

// True when `seen` (with repeats) appears in `written` in the same order:
// an instance can miss states, never see them out of order.
bool InWrittenOrder(const std::vector<State>& seen, const std::vector<State>& written) {
  size_t w = 0;
  for (const State& s : seen) {
    while (w < written.size() && written[w] != s) ++w;
    if (w == written.size()) return false;
  }
  return true;
}

class ManyInstances : public E2ETest {
 protected:
  std::string Name(int n) const { return "toggra" + std::to_string(n + 1); }

  // Whole, but not eight numbers the program can read: it must ignore them.
  static std::string Invalid(std::mt19937& rng) {
    static const char* const kInvalid[] = {
        "",
        "1 0 1 1 0 0 1",              // seven numbers
        "1 0 1 x 0 0 1 1",            // a word among them
        "99999999999 0 0 0 0 0 0 0",  // does not fit 32 bits
        "Zustand: 1 1 1 1 1 1 1 1",
        "- 1 1 1 1 1 1 1 1",
        "\n\n\n",
    };
    return kInvalid[rng() % std::size(kInvalid)];
  }
  // Eight numbers, sometimes followed by text that the reader ignores.
  static std::string ValidText(const State& s, std::mt19937& rng) {
    static const char* const kTails[] = {"", "", "", "\n", " 1 1 1", " # Kommentar"};
    return Text(s) + kTails[rng() % std::size(kTails)];
  }
};

TEST_F(ManyInstances, ThreeGroupInstancesApplyOnlyWholeStatesForAMinute) {
  const State s0{};
  TempDir::Write(
      bench,
      BenchText({{.type = 40, .serial = 501, .switches = 8, .state = std::vector<int>(8, 0)},
                 {.type = 40, .serial = 502, .switches = 8, .state = std::vector<int>(8, 0)}}));
  TempDir::Write(stateFile, Text(s0));
  std::vector<ChildProcess*> instances;
  for (int n = 0; n < kInstances; ++n)
    instances.push_back(&Start({"-D", "-S", stateFile}, Name(n)));
  // Each instance writes the file once at the end of its start-up, with the
  // states it read from the bench (all s0): only then does the driver begin.
  for (int n = 0; n < kInstances; ++n)
    ASSERT_TRUE(WaitUntil([&] { return SetSwitches(Name(n)).size() >= 3 * kColumns; }, 30s))
        << Name(n) << ": " << Stderr(Name(n));

  const unsigned seed = std::random_device{}();
  RecordProperty("seed", static_cast<int>(seed));
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  std::vector<State> written{s0};
  int invalidWrites = 0;
  const auto end = std::chrono::steady_clock::now() + kDriveFor;
  auto nextLivenessCheck = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < end) {
    if (rng() % 4 == 0) {
      ASSERT_TRUE(WriteStateWhole(stateFile, Invalid(rng)));
      ++invalidWrites;
    } else {
      State s;
      for (int& v : s) v = static_cast<int>(rng() % 2);
      ASSERT_TRUE(WriteStateWhole(stateFile, ValidText(s, rng)));
      written.push_back(s);
    }
    if (std::chrono::steady_clock::now() >= nextLivenessCheck) {
      for (int n = 0; n < kInstances; ++n)
        ASSERT_TRUE(instances[n]->Running()) << Name(n) << " ended: " << Stderr(Name(n));
      nextLivenessCheck += 1s;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 145));
  }
  const State last{1, 0, 0, 1, 1, 0, 1, 0};
  ASSERT_TRUE(WriteStateWhole(stateFile, Text(last)));
  written.push_back(last);
  // Responsive to the end: each instance takes up the last state.
  for (int n = 0; n < kInstances; ++n) {
    EXPECT_TRUE(WaitUntil(
        [&] {
          const Applied a = ParseApplied(SetSwitches(Name(n)));
          return !a.states.empty() && a.states.back() == last;
        },
        5s))
        << Name(n);
  }
  for (ChildProcess* p : instances) p->Signal(SIGTERM);
  for (int n = 0; n < kInstances; ++n) {
    const auto status = instances[n]->WaitExit(15s);
    EXPECT_TRUE(CleanExit(status)) << Name(n) << ": " << DescribeStatus(status);
  }

  const std::set<State> whole(written.begin(), written.end());
  for (int n = 0; n < kInstances; ++n) {
    SCOPED_TRACE(Name(n));
    const std::vector<std::string> log = Log(Name(n));
    ASSERT_GE(log.size(), static_cast<size_t>(kColumns));
    for (int j = 0; j < kColumns; ++j)
      EXPECT_EQ(log[j], "SetSwitch " + std::to_string(j / kValues) + " " +
                            std::to_string(kFirstSwitchId + j % kValues) + " 0");
    const Applied a = ParseApplied(log);
    EXPECT_EQ(a.problem, "");
    EXPECT_GT(a.states.size(), 100u) << "ticks that applied the file";
    RecordProperty(Name(n) + "_applying_ticks", static_cast<int>(a.states.size()));
    for (const State& s : a.states) EXPECT_TRUE(whole.count(s)) << "never written: " << Text(s);
    EXPECT_TRUE(InWrittenOrder(a.states, written));
    // The end resets every column once: 8 per device.
    EXPECT_EQ(Count(a.rest, "ResetDevice 0"), kValues);
    EXPECT_EQ(Count(a.rest, "ResetDevice 1"), kValues);
    EXPECT_EQ(a.rest.size(), static_cast<size_t>(kColumns));
    for (const std::string& line : Lines(Stderr(Name(n))))
      EXPECT_NE(line.rfind(bench, 0), 0u) << line;
  }
  const auto set = Bench();
  ASSERT_TRUE(set);
  for (int d = 0; d < 2; ++d) {
    EXPECT_EQ(set->devices[d].state, std::vector<int>(last.begin(), last.end())) << "device " << d;
    EXPECT_EQ(set->devices[d].resets, kInstances * kValues) << "device " << d;
  }
  EXPECT_EQ(TempDir::Read(stateFile), Text(last));
  RecordProperty("valid_writes", static_cast<int>(written.size() - 2));
  RecordProperty("invalid_writes", invalidWrites);
}

}  // namespace
}  // namespace toggra::e2e

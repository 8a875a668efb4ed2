#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "device/BenchSupport.h"

namespace toggra::test {
namespace {

constexpr int kRounds = 200;

using SharedBench = BenchTest;

// Two processes switch their own channel and reset the device many times at
// once, as two programs sharing the hardware would; the parent reads along.
TEST_F(SharedBench, TwoWritersLoseNothingAndReadersNeverSeeHalfAFile) {
  TempDir::Write(path, "# shared\n[device]\nswitches = 2\nstate = 0 0\nresets = 0\n");
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      CBenchPivlink lib(path, logPath, [](const std::string&) {});
      int failed = lib.OpenArvendal() == 1 ? 0 : 1;
      for (int i = 1; i <= kRounds; ++i) {
        if (lib.SetSwitch(0, 16 + c, i) != 1) ++failed;
        if (lib.ResetDevice(0) != 1) ++failed;
      }
      _exit(failed == 0 ? 0 : 1);
    }
  }
  int halfFiles = 0, reads = 0;
  for (int running = 2; running > 0;) {
    const BenchParse parse = ParseBench(File(), path);
    ++reads;
    if (!parse.ok || parse.set.devices.size() != 1) ++halfFiles;
    int status = 0;
    for (pid_t& pid : children)
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pid = 0;
        --running;
      }
  }
  EXPECT_EQ(halfFiles, 0) << "of " << reads << " reads";

  auto lib = Make();
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(lib->GetSwitch(0, 16), kRounds);
  EXPECT_EQ(lib->GetSwitch(0, 17), kRounds);
  const BenchParse parse = ParseBench(File(), path);
  ASSERT_TRUE(parse.ok);
  EXPECT_EQ(parse.set.devices[0].resets, 2 * kRounds);
  EXPECT_EQ(File().rfind("# shared\n", 0), 0u);

  // Every command is one whole line of the shared trace.
  std::istringstream trace(TempDir::Read(logPath));
  int sets[2] = {0, 0}, resets = 0, other = 0;
  for (std::string line; std::getline(trace, line);) {
    if (line == "ResetDevice 0")
      ++resets;
    else if (line.rfind("SetSwitch 0 16 ", 0) == 0)
      ++sets[0];
    else if (line.rfind("SetSwitch 0 17 ", 0) == 0)
      ++sets[1];
    else
      ++other;
  }
  EXPECT_EQ(sets[0], kRounds);
  EXPECT_EQ(sets[1], kRounds);
  EXPECT_EQ(resets, 2 * kRounds);
  EXPECT_EQ(other, 0);
}

}  // namespace
}  // namespace toggra::test

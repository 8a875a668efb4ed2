// toggra --headless on an entry whose board is not plugged in: it waits, and
// a board plugged in while it runs is taken up (state file, switching).
#include <gtest/gtest.h>

#ifndef TOGGRA_EXECUTABLE
#define TOGGRA_EXECUTABLE "toggra"
#endif
#include "e2e/E2ESupport.h"
#include "hidrelay/RelayBoardEmulator.h"
#include "support/umockdev/Preload.h"

#ifdef TOGGRA_HEADLESS_EXECUTABLE
namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using e2e::WaitUntil;

class HidRelayHotplug : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Environment(const std::string& entries) {
    std::map<std::string, std::string> env = UmockdevChildEnvironment(bed.RootDir());
    env["TOGGRA_DEVICES"] = entries;
    env["TOGGRA_BENCH"] = "";
    env["TOGGRA_MQTT"] = "";
    env["TOGGRA_HKCU"] = dir.File("HKEY_CURRENT_USER.reg");
    env["TOGGRA_HKLM"] = dir.File("HKEY_LOCAL_MACHINE.reg");
    env["TOGGRA_SYSTEM_CONF"] = dir.File("system.conf");
    env["XDG_CONFIG_HOME"] = dir.Path().string();
    env["HOME"] = dir.Path().string();
    return env;
  }
  std::string Err() { return TempDir::Read(dir.File("headless.err")); }
  std::string State() { return TempDir::Read(dir.File("state.txt")); }

  UmockdevTestbed bed;
  TempDir dir;
};

TEST_F(HidRelayHotplug, HeadlessWaitsForTheBoardAndTakesItUpWhenItIsPluggedIn) {
  ChildProcess headless({TOGGRA_HEADLESS_EXECUTABLE, "-L", "-S", dir.File("state.txt")},
                        Environment("hidrelay:ABCDE"), dir.File("headless.out"),
                        dir.File("headless.err"));
  ASSERT_TRUE(WaitUntil([&] { return Err().find("warte auf Geräte") != std::string::npos; }, 10s))
      << Err();
  EXPECT_NE(Err().find("warte auf Geräte (hidrelay:ABCDE)"), std::string::npos) << Err();
  EXPECT_TRUE(headless.Running()) << Err();
  EXPECT_EQ(Err().find("Simulation"), std::string::npos) << "no simulation while waiting";

  // Another board's id does not end the wait.
  RelayBoardEmulator other(bed, {.id = "OTHER", .hidraw = 1, .port = "2"});
  std::string error;
  ASSERT_TRUE(other.Plug(&error)) << error;
  RelayBoardEmulator board(bed, {});
  board.SetMask(0b10);
  ASSERT_TRUE(board.Plug(&error)) << error;
  const auto plugged = std::chrono::steady_clock::now();
  // Within 5 s; a sanitizer build on a loaded machine runs several times slower.
#if defined(__SANITIZE_ADDRESS__)
  const auto takeUp = 20s;
#else
  const auto takeUp = 5s;
#endif
  ASSERT_TRUE(WaitUntil([&] { return State().rfind("0 1 ", 0) == 0; }, takeUp))
      << "state file: '" << State() << "'\n" << Err();
  EXPECT_LT(std::chrono::steady_clock::now() - plugged, takeUp);
  EXPECT_TRUE(headless.Running());
  EXPECT_EQ(other.Mask(), 0u);
  EXPECT_EQ(board.Mask(), 0b10u) << "taking the board up switched a relay";

  // The board works from then on: a change by hand reaches the state file.
  board.SetMask(0b01);
  EXPECT_TRUE(WaitUntil([&] { return State().rfind("1 0 ", 0) == 0; }, 10s)) << State();

  headless.Signal(SIGTERM);
  const auto status = headless.WaitExit(10s);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << Err();
}

// The default entry with one board: a second board gets columns after the
// first's; the first, re-plugged, stays the first.
TEST_F(HidRelayHotplug, ASecondBoardOfTheEntryGetsColumnsAfterTheFirst) {
  RelayBoardEmulator first(bed, {.id = "BBBBB"});
  first.SetMask(0b01);
  std::string error;
  ASSERT_TRUE(first.Plug(&error)) << error;
  ChildProcess headless({TOGGRA_HEADLESS_EXECUTABLE, "-S", dir.File("state.txt")},
                        Environment("hidrelay:*"), dir.File("headless.out"),
                        dir.File("headless.err"));
  ASSERT_TRUE(WaitUntil([&] { return State().rfind("1 0 0 0 ", 0) == 0; }, 10s)) << State() << Err();

  // Its id sorts before the first's: still its columns come after.
  RelayBoardEmulator second(bed, {.id = "AAAAA", .hidraw = 1, .port = "2"});
  second.SetMask(0b11);
  ASSERT_TRUE(second.Plug(&error)) << error;
  EXPECT_TRUE(WaitUntil([&] { return State().rfind("1 0 1 1 ", 0) == 0; }, 5s))
      << "state file: '" << State() << "'\n" << Err();

  first.Unplug();
  ASSERT_TRUE(first.Plug(&error)) << error;
  first.SetMask(0b10);
  EXPECT_TRUE(WaitUntil([&] { return State() == "0 1 1 1 0 0 0 0"; }, 5s))
      << "state file: '" << State() << "'\n" << Err();
  EXPECT_EQ(second.Mask(), 0b11u);
  headless.Signal(SIGTERM);
  EXPECT_TRUE(headless.WaitExit(10s));
}

#ifdef TOGGRA_GUI_EXECUTABLE
// The window started on a simulation (-S, no device) gives it up for the
// board: the state file, which a simulation does not write, follows the board.
TEST_F(HidRelayHotplug, WindowReplacesItsSimulationByABoardPluggedInLater) {
  std::map<std::string, std::string> env = Environment("hidrelay:ABCDE");
  env["QT_QPA_PLATFORM"] = "offscreen";
  env["TOGGRA_REPORT_SHOWN"] = "1";
  ChildProcess window({TOGGRA_GUI_EXECUTABLE, "-F", "-S", dir.File("state.txt")}, env,
                      dir.File("headless.out"), dir.File("headless.err"));
  ASSERT_TRUE(WaitUntil([&] { return Err().find("shown ") != std::string::npos; }, 10s)) << Err();
  EXPECT_TRUE(State().empty()) << "a simulation wrote the state file: " << State();
  RelayBoardEmulator board(bed, {});
  board.SetMask(0b11);
  std::string error;
  ASSERT_TRUE(board.Plug(&error)) << error;
  EXPECT_TRUE(WaitUntil([&] { return State().rfind("1 1 ", 0) == 0; }, 5s))
      << "state file: '" << State() << "'\n" << Err();
  EXPECT_EQ(board.Mask(), 0b11u);
  window.Signal(SIGTERM);
  const auto status = window.WaitExit(10s);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << Err();
}
#endif

}  // namespace
}  // namespace toggra::test
#endif

// toggra-ctl on an emulated 2-relay board, with no device configuration: the
// default entry finds the board; the child process reaches the emulator
// through the preload library.
#include <gtest/gtest.h>

// E2ESupport.h's bench fixture names the GUI program; only its ChildProcess is
// used here, so a build without the GUI gives it a placeholder.
#ifndef TOGGRA_EXECUTABLE
#define TOGGRA_EXECUTABLE "toggra"
#endif
#include "e2e/E2ESupport.h"
#include "hidrelay/RelayBoardEmulator.h"
#include "support/umockdev/Preload.h"

#ifdef TOGGRA_CTL_EXECUTABLE
namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;

class HidRelayPrograms : public ::testing::Test {
 protected:
  int Ctl(const std::vector<std::string>& args) {
    std::map<std::string, std::string> env = UmockdevChildEnvironment(bed.RootDir());
    env["TOGGRA_DEVICES"] = "";
    env["TOGGRA_BENCH"] = "";
    env["TOGGRA_HKCU"] = dir.File("HKEY_CURRENT_USER.reg");
    env["TOGGRA_HKLM"] = dir.File("HKEY_LOCAL_MACHINE.reg");
    env["HOME"] = dir.Path().string();
    std::vector<std::string> argv{TOGGRA_CTL_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess ctl(argv, env, dir.File("ctl.out"), dir.File("ctl.err"));
    const auto status = ctl.WaitExit(20s);
    out = TempDir::Read(dir.File("ctl.out"));
    err = TempDir::Read(dir.File("ctl.err"));
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }

  UmockdevTestbed bed;
  TempDir dir;
  std::string out, err;
};

TEST_F(HidRelayPrograms, CtlListsSwitchesAndReadsBackTheBoard) {
  RelayBoardEmulator board(bed, {});
  std::string error;
  ASSERT_TRUE(board.Plug(&error)) << error;
  board.SetMask(0b01);

  ASSERT_EQ(Ctl({"list", "--json"}), 0) << err;
  EXPECT_NE(out.find("{\"id\": \"hidrelay:ABCDE:1\", \"backend\": \"hidrelay\", \"state\": \"on\", "
                     "\"type\": 8"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("{\"id\": \"hidrelay:ABCDE:2\", \"backend\": \"hidrelay\", \"state\": "
                     "\"off\""),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("hidrelay:ABCDE:3"), std::string::npos) << out;
  EXPECT_EQ(board.Mask(), 0b01u) << "listing switched a relay";

  EXPECT_EQ(Ctl({"on", "hidrelay:ABCDE:2"}), 0) << err;
  EXPECT_EQ(board.Mask(), 0b11u);
  EXPECT_EQ(Ctl({"off", "hidrelay:ABCDE:1"}), 0) << err;
  EXPECT_EQ(board.Mask(), 0b10u);
  ASSERT_EQ(Ctl({"status", "hidrelay:ABCDE:1"}), 0) << err;
  EXPECT_EQ(out.rfind("hidrelay:ABCDE:1\toff\t", 0), 0u) << out;
  ASSERT_EQ(Ctl({"status", "--json", "hidrelay:ABCDE:2"}), 0) << err;
  EXPECT_NE(out.find("\"state\": \"on\""), std::string::npos) << out;

  board.Unplug();
  EXPECT_EQ(Ctl({"on", "hidrelay:ABCDE:1"}), 1);
  EXPECT_NE(err.find("hidrelay:ABCDE:1"), std::string::npos) << err;
}

// A board present but not openable is named on stderr and in list --all.
TEST_F(HidRelayPrograms, BoardWithoutPermissionIsNamedWithTheFix) {
  RelayBoardEmulator locked(bed, {.id = "LOCKD", .hidraw = 3, .port = "3", .noPermission = true});
  RelayBoardEmulator board(bed, {});
  RelayBoardEmulator clone(bed, {.product = "HIDRelay", .hidraw = 4, .port = "4",
                                 .noPermission = true, .vendor = 0x0519, .productId = 0x2018});
  std::string error;
  ASSERT_TRUE(locked.Plug(&error) && board.Plug(&error) && clone.Plug(&error)) << error;
  ASSERT_EQ(Ctl({"list", "--all"}), 0) << err;
  EXPECT_NE(out.find("available\thidrelay:/dev/hidraw4\tUSB relay board HIDRelay, id unreadable: "
                     "/dev/hidraw4: no permission (Permission denied); fix: install the udev "
                     "rule 70-toggra-hidrelay.rules"),
            std::string::npos) << out;
  EXPECT_NE(out.find("hidrelay:ABCDE:1"), std::string::npos) << out;
  EXPECT_NE(out.find("available\thidrelay:/dev/hidraw3\tUSB relay board USBRelay2, id "
                     "unreadable: /dev/hidraw3: no permission (Permission denied); fix: "
                     "install the udev rule "
                     "70-toggra-hidrelay.rules and join the group toggra"),
            std::string::npos) << out;
  EXPECT_NE(err.find("hidrelay: /dev/hidraw3: no permission (Permission denied); fix: "),
            std::string::npos) << err;
}

}  // namespace
}  // namespace toggra::test
#endif

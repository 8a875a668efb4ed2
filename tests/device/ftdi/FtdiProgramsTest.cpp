// toggra-ctl on emulated FT245R boards: never opened without an entry,
// offered by list --all, switched and read back when named.
#include <gtest/gtest.h>

#ifndef TOGGRA_EXECUTABLE
#define TOGGRA_EXECUTABLE "toggra"
#endif
#include "e2e/E2ESupport.h"
#include "ftdi/FtdiEmulator.h"
#include "support/umockdev/Preload.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;

class FtdiPrograms : public ::testing::Test {
 protected:
  int Ctl(const std::vector<std::string>& args, const std::string& devices = "") {
    std::map<std::string, std::string> env = UmockdevChildEnvironment(bed.RootDir());
    env["TOGGRA_DEVICES"] = devices;
    env["TOGGRA_BENCH"] = "";
    env["TOGGRA_HKCU"] = dir.File("HKEY_CURRENT_USER.reg");
    env["TOGGRA_HKLM"] = dir.File("HKEY_LOCAL_MACHINE.reg");
    env["HOME"] = dir.Path().string();
    env["XDG_CONFIG_HOME"] = dir.File("config");
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

TEST_F(FtdiPrograms, OfferedUntouchedThenSwitchedAndReadBackWhenNamed) {
  FtdiEmulator board(bed, {.pins = 0b0001});
  FtdiEmulator locked(bed, {.serial = "LOCKED", .devnum = 9, .port = 5});
  std::string error;
  ASSERT_TRUE(board.Plug(&error) && locked.Plug(&error)) << error;
  locked.RefuseOpen();

  ASSERT_EQ(Ctl({"list", "--all"}), 0) << err;
  EXPECT_FALSE(board.BitBang()) << "a 0403:6001 device was taken without an entry";
  EXPECT_NE(out.find("available\tftdi:A50285BI\tFTDI 0403:6001 \"FT245R USB FIFO\" at 1-3, "
                     "possibly a bit-bang relay board (ftdi:A50285BI:4 for 4 relays); opened "
                     "only when named"),
            std::string::npos) << out;
  EXPECT_NE(out.find("available\tftdi:/dev/bus/usb/001/009\tFTDI 0403:6001, serial unreadable: "
                     "/dev/bus/usb/001/009: cannot be opened (Is a directory); fix: install the "
                     "udev rule 70-toggra-ftdi.rules and join the group toggra"),
            std::string::npos) << out;

  const std::string entry = "ftdi:A50285BI:4";
  ASSERT_EQ(Ctl({"on", "ftdi:A50285BI:3"}, entry), 0) << err;
  EXPECT_EQ(board.Pins(), 0b0101);
  EXPECT_NE(err.find("ftdi: /dev/bus/usb/001/009 (0403:6001): cannot be opened (Is a directory); "
                     "its serial cannot be read, so it may be ftdi:A50285BI; fix: "),
            std::string::npos) << err;
  ASSERT_EQ(Ctl({"status", "ftdi:A50285BI:1"}, entry), 0) << err;
  EXPECT_EQ(out.rfind("ftdi:A50285BI:1\ton\t", 0), 0u) << out;
  EXPECT_EQ(board.Pins(), 0b0101) << "a second program's start switched the relays";

  board.Unplug();
  EXPECT_NE(Ctl({"off", "ftdi:A50285BI:1"}, entry), 0);
}

}  // namespace
}  // namespace toggra::test

// toggra-ctl on emulated power strips with no device configuration: the
// default entry sispm:* finds them through the preload library.
#include <gtest/gtest.h>

#ifdef TOGGRA_EXECUTABLE
#define TOGGRA_SISPM_WINDOW_TEST 1
#else
#define TOGGRA_EXECUTABLE "toggra"
#endif
#include "e2e/E2ESupport.h"
#include "sispm/StripEmulator.h"
#include "support/umockdev/Preload.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using e2e::WaitUntil;

class SispmPrograms : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Env() {
    std::map<std::string, std::string> env = UmockdevChildEnvironment(bed.RootDir());
    env["TOGGRA_DEVICES"] = "";
    env["TOGGRA_BENCH"] = "";
    env["TOGGRA_HKCU"] = dir.File("HKEY_CURRENT_USER.reg");
    env["TOGGRA_HKLM"] = dir.File("HKEY_LOCAL_MACHINE.reg");
    env["HOME"] = dir.Path().string();
    env["XDG_CONFIG_HOME"] = dir.File("config");
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["XDG_RUNTIME_DIR"] = dir.Path().string();
    return env;
  }
  int Ctl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{TOGGRA_CTL_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess ctl(argv, Env(), dir.File("ctl.out"), dir.File("ctl.err"));
    const auto status = ctl.WaitExit(20s);
    out = TempDir::Read(dir.File("ctl.out"));
    err = TempDir::Read(dir.File("ctl.err"));
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }

  UmockdevTestbed bed;
  TempDir dir;
  std::string out, err;
};

TEST_F(SispmPrograms, CtlListsSwitchesAndReadsBackAFourOutletStrip) {
  StripEmulator strip(bed, {});
  std::string error;
  ASSERT_TRUE(strip.Plug(&error)) << error;

  ASSERT_EQ(Ctl({"list", "--json"}), 0) << err;
  for (int outlet = 1; outlet <= 4; ++outlet)
    EXPECT_NE(out.find("{\"id\": \"sispm:01a2b3c4d5:" + std::to_string(outlet) +
                       "\", \"backend\": \"sispm\", \"state\": \"off\""),
              std::string::npos)
        << out;
  EXPECT_EQ(out.find("sispm:01a2b3c4d5:5"), std::string::npos) << out;

  ASSERT_EQ(Ctl({"on", "sispm:01a2b3c4d5:3"}), 0) << err;
  EXPECT_EQ(strip.Mask(), 0b0100u);
  ASSERT_EQ(Ctl({"status", "sispm:01a2b3c4d5:3"}), 0) << err;
  EXPECT_EQ(out.rfind("sispm:01a2b3c4d5:3\ton\t", 0), 0u) << out;
  strip.SetMask(0b0000);  // switched off elsewhere: status reads the strip, not a memory
  ASSERT_EQ(Ctl({"status", "sispm:01a2b3c4d5:3"}), 0) << err;
  EXPECT_EQ(out.rfind("sispm:01a2b3c4d5:3\toff\t", 0), 0u) << out;

  strip.SetFault(StripFault::kGarbage);
  EXPECT_EQ(Ctl({"status", "sispm:01a2b3c4d5:3"}), 1);
  EXPECT_NE(err.find("outlet 1: an answer for report 66 instead of 3 (42 02) not understood"),
            std::string::npos) << err;
}

TEST_F(SispmPrograms, StripWithoutPermissionIsNamedWithTheFix) {
  StripEmulator locked(bed, {.hidraw = 3, .port = "3", .noPermission = true});
  StripEmulator strip(bed, {.serial = {0x01, 0, 0, 0, 0x09}});
  std::string error;
  ASSERT_TRUE(locked.Plug(&error) && strip.Plug(&error)) << error;
  ASSERT_EQ(Ctl({"list", "--all"}), 0) << err;
  EXPECT_NE(out.find("sispm:0100000009:4"), std::string::npos) << out;
  EXPECT_NE(out.find("available\tsispm:/dev/hidraw3\tUSB power strip 04b4:fd13, serial "
                     "unreadable: /dev/hidraw3: no permission (Permission denied); fix: install "
                     "the udev rule 70-toggra-sispm.rules and join the group toggra"),
            std::string::npos) << out;
  EXPECT_NE(err.find("sispm: /dev/hidraw3: no permission"), std::string::npos) << err;
}

#ifdef TOGGRA_SISPM_WINDOW_TEST
// The window program with no configuration: its columns are the strip's
// outlets as read (the state file it writes shows them), a switch made
// elsewhere is read back, and its end leaves the outlets as they are.
TEST_F(SispmPrograms, TheWindowProgramShowsAndReadsBackTheStrip) {
  StripEmulator strip(bed, {});
  std::string error;
  ASSERT_TRUE(strip.Plug(&error)) << error;
  strip.SetMask(0b0001);
  const std::string state = dir.File("state.txt");
  ChildProcess toggra({TOGGRA_EXECUTABLE, "-S", state}, Env(), dir.File("toggra.out"),
                      dir.File("toggra.err"));
  const auto stderrText = [&] { return TempDir::Read(dir.File("toggra.err")); };
  ASSERT_TRUE(WaitUntil([&] { return TempDir::Read(state) == "1 0 0 0 0 0 0 0"; }, 30s))
      << TempDir::Read(state) << stderrText();
  // Start-up sends each outlet its state; a switch by hand comes after those.
  ASSERT_TRUE(WaitUntil([&] { return strip.Sent().size() >= 4; }, 10s)) << strip.Sent().size();
  strip.SetMask(0b1000);  // by hand
  EXPECT_TRUE(WaitUntil([&] { return TempDir::Read(state) == "0 0 0 1 0 0 0 0"; }, 10s))
      << TempDir::Read(state) << stderrText();
  toggra.Signal(SIGTERM);
  EXPECT_TRUE(e2e::CleanExit(toggra.WaitExit(10s))) << stderrText();
  EXPECT_EQ(strip.Mask(), 0b1000u) << "the end switched an outlet";
}
#endif

}  // namespace
}  // namespace toggra::test

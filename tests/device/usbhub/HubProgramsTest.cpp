// The programs on an emulated hub, started as child processes that see the
// test bed through the preload library: toggra-ctl's outputs and exit codes,
// and the real toggra keeping four columns through an unplug.
#include <gtest/gtest.h>

// E2ESupport.h's bench fixture names the GUI program; a build without the
// GUI gives it a placeholder and leaves out the test of toggra itself.
#ifdef TOGGRA_EXECUTABLE
#define TOGGRA_HUB_TEST_PROGRAM 1
#else
#define TOGGRA_EXECUTABLE "toggra"
#endif
#include "device/usbhub/HubEmulator.h"
#include "e2e/E2ESupport.h"
#include "support/umockdev/Preload.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using e2e::WaitUntil;

class HubPrograms : public ::testing::Test {
 protected:
  UmockdevTestbed bed;
  TempDir dir;
  std::string out, err;

  std::map<std::string, std::string> Env(const std::string& devices) {
    std::map<std::string, std::string> env = UmockdevChildEnvironment(bed.RootDir());
    env["TOGGRA_DEVICES"] = devices;
    env["TOGGRA_BENCH"] = "";
    env["TOGGRA_HKCU"] = dir.File("HKEY_CURRENT_USER.reg");
    env["TOGGRA_HKLM"] = dir.File("HKEY_LOCAL_MACHINE.reg");
    env["HOME"] = dir.Path().string();
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["XDG_RUNTIME_DIR"] = dir.Path().string();
    return env;
  }
  int Ctl(const std::vector<std::string>& args, const std::string& devices = "usbhub:1-1") {
    std::vector<std::string> argv{TOGGRA_CTL_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess ctl(argv, Env(devices), dir.File("ctl.out"), dir.File("ctl.err"));
    const auto status = ctl.WaitExit(20s);
    out = TempDir::Read(dir.File("ctl.out"));
    err = TempDir::Read(dir.File("ctl.err"));
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }
};

TEST_F(HubPrograms, CtlListsSwitchesAndReadsBackTheEmulatedPorts) {
  HubEmulator hub(bed, {});
  HubEmulator ganged(bed, {.location = "1-2", .devnum = 3, .perPortPower = false});
  ASSERT_TRUE(hub.Ok() && ganged.Ok()) << hub.Error() << ganged.Error();

  ASSERT_EQ(Ctl({"list", "--json"}), 0) << err;
  for (int port = 1; port <= 4; ++port)
    EXPECT_NE(out.find("{\"id\": \"usbhub:1-1:" + std::to_string(port) +
                       "\", \"backend\": \"usbhub\", \"state\": \"on\", \"type\": 8"),
              std::string::npos)
        << out;
  EXPECT_EQ(out.find("usbhub:1-1:5"), std::string::npos);

  EXPECT_EQ(Ctl({"off", "usbhub:1-1:2"}), 0) << err;
  EXPECT_FALSE(hub.PortPower(2));
  EXPECT_TRUE(hub.PortPower(1));
  EXPECT_EQ(Ctl({"status", "usbhub:1-1:2"}), 0) << err;
  EXPECT_EQ(out.rfind("usbhub:1-1:2\toff\t", 0), 0u) << out;

  hub.InjectFault(HubFault::kGone);
  EXPECT_EQ(Ctl({"on", "usbhub:1-1:2"}), 1);
  // Gone before the start: the hub is not found and the channel not there.
  EXPECT_NE(err.find("toggra-ctl: usbhub:1-1:2: "), std::string::npos) << err;
  EXPECT_FALSE(hub.PortPower(2));
  hub.InjectFault(HubFault::kNone);
  EXPECT_EQ(Ctl({"on"}), 2);
}

TEST_F(HubPrograms, WithoutTheEntryNothingIsListedButAllNamesTheSwitchingHub) {
  HubEmulator hub(bed, {});
  HubEmulator ganged(bed, {.location = "1-2", .devnum = 3, .perPortPower = false});
  // Nothing found is an error that says where it looked.
  ASSERT_EQ(Ctl({"list"}, ""), 1) << err;
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("no device found; searched "), std::string::npos) << err;
  ASSERT_EQ(Ctl({"list", "--all"}, ""), 0) << err;
  EXPECT_NE(out.find("available\tusbhub:1-1\t4-port hub"), std::string::npos) << out;
  EXPECT_EQ(out.find("1-2"), std::string::npos) << out;
  ASSERT_EQ(Ctl({"list", "--all"}, "usbhub:1-1:3"), 0) << err;
  EXPECT_EQ(out.find("available"), std::string::npos) << out;
  EXPECT_EQ(hub.PowerRequests(), 0);
}

// Two cascaded chips per speed, all four with one Container ID: the pair is
// the one with the same port path, for listing and switching alike.
TEST_F(HubPrograms, CtlSwitchesTheHubAndItsOwnUsbThreeHalfOnly) {
  constexpr std::array<uint8_t, 16> kId{7, 7, 7};
  HubEmulator up2(bed, {.containerId = kId});
  HubEmulator up3(bed, {.bus = 2, .location = "2-1", .superSpeed = true, .containerId = kId});
  HubEmulator down2(bed, {.location = "1-1.4", .devnum = 3, .containerId = kId});
  HubEmulator down3(bed, {.bus = 2, .location = "2-1.4", .devnum = 3, .superSpeed = true,
                          .containerId = kId});
  ASSERT_TRUE(up2.Ok() && up3.Ok() && down2.Ok() && down3.Ok());
  ASSERT_EQ(Ctl({"off", "usbhub:1-1:2"}), 0) << err;
  EXPECT_FALSE(up2.PortPower(2));
  EXPECT_FALSE(up3.PortPower(2));
  EXPECT_TRUE(down2.PortPower(2));
  EXPECT_TRUE(down3.PortPower(2));
  EXPECT_TRUE(up2.PortPower(1));
  ASSERT_EQ(Ctl({"list", "--all"}, ""), 0) << err;
  EXPECT_NE(out.find("usbhub:1-1\t4-port hub 1234:5610 with per-port power switching, "
                     "paired with its USB 3 half 2-1 "),
            std::string::npos) << out;
  EXPECT_NE(out.find("usbhub:1-1.4\t4-port hub 1234:5610 with per-port power switching, "
                     "paired with its USB 3 half 2-1.4 "),
            std::string::npos) << out;
  EXPECT_EQ(out.find("usbhub:2-1"), std::string::npos) << out;
}

TEST_F(HubPrograms, CtlSwitchesAGangedHubAsOneChannel) {
  HubEmulator ganged(bed, {.perPortPower = false});
  ASSERT_TRUE(ganged.Ok());
  EXPECT_EQ(Ctl({"off", "usbhub:1-1:ganged"}, "usbhub:1-1:ganged"), 0) << err;
  for (int port = 1; port <= 4; ++port) EXPECT_FALSE(ganged.PortPower(port)) << port;
  EXPECT_EQ(Ctl({"off", "usbhub:1-1:1"}), 1);  // not named ganged: refused
}

#ifdef TOGGRA_HUB_TEST_PROGRAM
// Four columns: the start-up reads each port and sends it its state once;
// the per-tick read-back goes on through an unplug and after the return.
TEST_F(HubPrograms, ToggraKeepsFourColumnsThroughAnUnplug) {
  HubEmulator hub(bed, {});
  ASSERT_TRUE(hub.Ok());
  hub.SetPortPower(3, false);
  ChildProcess toggra({TOGGRA_EXECUTABLE}, Env("usbhub:1-1"), dir.File("toggra.out"),
                      dir.File("toggra.err"));
  const std::string stderrPath = dir.File("toggra.err");
  ASSERT_TRUE(WaitUntil([&] { return hub.PowerRequests() == 4; }, 30s))
      << TempDir::Read(stderrPath);
  EXPECT_FALSE(hub.PortPower(3));  // the re-send keeps what the port had
  auto polled = [&](int port, int more) {
    const int before = hub.StatusRequests(port);
    return WaitUntil([&] { return hub.StatusRequests(port) >= before + more; }, 10s);
  };
  for (int port = 1; port <= 4; ++port) EXPECT_TRUE(polled(port, 3)) << port;
  hub.InjectFault(HubFault::kGone);
  std::this_thread::sleep_for(300ms);  // several ticks while unplugged
  EXPECT_TRUE(toggra.Running()) << TempDir::Read(stderrPath);
  hub.InjectFault(HubFault::kNone);
  for (int port = 1; port <= 4; ++port) EXPECT_TRUE(polled(port, 3)) << port;
  hub.SetPortPower(1, false);  // by hand: the program only reads it
  EXPECT_TRUE(polled(1, 2));
  const int requests = hub.PowerRequests();
  toggra.Signal(SIGTERM);
  const auto status = toggra.WaitExit(10s);
  EXPECT_TRUE(e2e::CleanExit(status)) << e2e::DescribeStatus(status) << TempDir::Read(stderrPath);
  EXPECT_EQ(hub.PowerRequests(), requests);  // the end leaves the ports as they are
  EXPECT_FALSE(hub.PortPower(1));
  EXPECT_TRUE(hub.PortPower(2));
}
#endif

}  // namespace
}  // namespace toggra::test

// toggra-ctl list --all offers the CH340/CH341 ttys that umockdev's emulated
// sysfs shows, by their by-path name where udev made one, and nothing else.
#include <gtest/gtest.h>

#include <filesystem>

#include "serial/CtlRun.h"
#include "support/umockdev/Preload.h"
#include "support/umockdev/Testbed.h"

namespace toggra::test {
namespace {

// A USB serial adapter with the id `ids` ("1a86:7523") at USB port `port`
// whose tty is ttyUSB`n`, as the kernel's ch341 or ftdi_sio driver shows it.
std::string SerialAdapter(int n, const std::string& port, const std::string& vendor,
                          const std::string& product) {
  const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + port;
  const std::string iface = usb + "/1-" + port + ":1.0";
  const std::string tty = "ttyUSB" + std::to_string(n);
  return "P: " + iface + "/" + tty + "/tty/" + tty + "\nN: " + tty + "\nE: DEVNAME=/dev/" + tty +
         "\nE: SUBSYSTEM=tty\nE: MAJOR=188\nE: MINOR=" + std::to_string(n) + "\nA: dev=188:" +
         std::to_string(n) + "\\n\nL: device=../../../" + tty + "\n\n" +
         "P: " + iface + "/" + tty + "\nE: SUBSYSTEM=usb-serial\n\n" +
         "P: " + iface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\\n\n\n" +
         "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\nE: DEVNUM=00" +
         port + "\nA: idVendor=" + vendor + "\\n\nA: idProduct=" + product + "\\n\n\n";
}

TEST(SerialScanPrograms, ListAllOffersTheChipsTtysAsPossibleRelayModules) {
  UmockdevTestbed bed;
  std::string error;
  ASSERT_TRUE(bed.AddFromString(SerialAdapter(0, "2", "1a86", "7523"), &error)) << error;
  ASSERT_TRUE(bed.AddFromString(SerialAdapter(1, "3", "0403", "6001"), &error)) << error;
  ASSERT_TRUE(bed.AddFromString(SerialAdapter(2, "4", "1a86", "5523"), &error)) << error;
  const std::string byPath = "pci-0000:00:14.0-usb-0:2:1.0-port0";
  const std::filesystem::path links = bed.RootDir() + "/dev/serial/by-path";
  std::filesystem::create_directories(links);
  std::filesystem::create_symlink("../../ttyUSB0", links / byPath);

  TempDir dir;
  const CtlRun run = RunCtl(dir, "", {"list", "--all"}, UmockdevChildEnvironment(bed.RootDir()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("available\tlcus:/dev/serial/by-path/" + byPath +
                         "\tCH340/CH341 serial port ttyUSB0 (1a86:7523), possibly a relay module: "
                         "add :N for N relays (lcus:/dev/serial/by-path/" + byPath + ":4)"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("available\tlcus:/dev/ttyUSB2\tCH340/CH341 serial port ttyUSB2 (1a86:5523)"),
            std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("ttyUSB1"), std::string::npos) << "another chip was offered: " << run.out;
}

}  // namespace
}  // namespace toggra::test

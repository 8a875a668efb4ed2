// The usbhub back-end through real libusb against emulated hubs.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/usbhub/HubEmulator.h"
#include "device/usbhub/UsbHubDriver.h"

namespace toggra::test {
namespace {

constexpr int kFirst = 16;  // switch id of channel 1
constexpr std::array<uint8_t, 16> kPairId{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

class UsbHubBackend : public ::testing::Test {
 protected:
  UmockdevTestbed bed;
  std::vector<std::string> errors;

  HubEmulator& AddHub(HubLayout layout) {
    hubs.push_back(std::make_unique<HubEmulator>(bed, std::move(layout)));
    EXPECT_TRUE(hubs.back()->Ok()) << hubs.back()->Error();
    return *hubs.back();
  }
  // Served on the caller's thread, so that each call reaches the hub at once.
  std::unique_ptr<CDriverPivlink> Open(const std::string& argument, unsigned timeoutMs = 250) {
    HubEntry entry;
    std::string reason;
    EXPECT_TRUE(ParseHubEntry(argument, &entry, &reason)) << reason;
    CUsbHubDriver::Options options;
    options.timeoutMs = timeoutMs;
    CDriverPivlink::Options serving;
    serving.serving = DriverServing::kCaller;
    return std::make_unique<CDriverPivlink>(
        std::make_unique<CUsbHubDriver>(
            entry, [this](const std::string& m) { errors.push_back(m); }, options),
        serving);
  }
  static std::string PartnerOf(CDriverPivlink& lib) {
    return static_cast<CUsbHubDriver&>(lib.Driver()).PartnerLocation();
  }

  std::vector<std::unique_ptr<HubEmulator>> hubs;
};

TEST_F(UsbHubBackend, ConfiguredSwitchingHubIsOneEightTypeDeviceWithItsPorts) {
  HubEmulator& hub = AddHub({});
  AddHub({.location = "1-2", .devnum = 3, .ports = 7});
  auto lib = Open("1-1");
  ASSERT_EQ(lib->OpenArvendal(), 1) << (errors.empty() ? "" : errors.front());
  EXPECT_EQ(lib->GetUSBType(0), kTypeSwitch8);
  int count = 0, button = 1;
  ASSERT_TRUE(lib->GetSwitchConfig(0, &count, &button));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(button, 0);
  EXPECT_EQ(lib->GetVersion(0), 0x0123);
  EXPECT_EQ(lib->GetSerialNumber(0), HubSerial("1-1"));
  EXPECT_NE(HubSerial("1-1"), HubSerial("1-2"));
  EXPECT_EQ(lib->DeviceName(0), "1-1");
  EXPECT_EQ(lib->ChannelName(0, 3), "4");
  EXPECT_EQ(lib->GetUSBType(1), 0);  // one device per entry
  EXPECT_EQ(hub.PowerRequests(), 0);  // opening switches nothing
}

TEST_F(UsbHubBackend, HubsWithoutPerPortSwitchingOrElsewhereAreNotOffered) {
  AddHub({.perPortPower = false});
  auto ganged = Open("1-1");
  EXPECT_EQ(ganged->OpenArvendal(), 0);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("per-port"), std::string::npos) << errors[0];
  auto missing = Open("3-1");
  EXPECT_EQ(missing->OpenArvendal(), 0);
  EXPECT_EQ(missing->OpenArvendal(), 0);
  EXPECT_EQ(errors.size(), 2u);  // reported once
  EXPECT_EQ(missing->GetSwitch(0, kFirst), -1);
  EXPECT_EQ(missing->SetSwitch(0, kFirst, 1), 0);
}

TEST_F(UsbHubBackend, SwitchingAndReadBackOfTheNamedPorts) {
  HubEmulator& hub = AddHub({});
  auto lib = Open("1-1:2,4");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  int count = 0, button = 0;
  lib->GetSwitchConfig(0, &count, &button);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(lib->ChannelName(0, 0), "2");
  EXPECT_EQ(lib->GetSwitch(0, kFirst), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 1);
  EXPECT_FALSE(hub.PortPower(2));
  EXPECT_TRUE(hub.PortPower(1));
  EXPECT_EQ(hub.DisableAttribute(2), "1");
  EXPECT_EQ(lib->GetSwitch(0, kFirst), 0);
  EXPECT_EQ(lib->SetSwitch(0, kFirst + 1, 0), 1);
  EXPECT_FALSE(hub.PortPower(4));
  // The attribute is written before the hub request, so the kernel keeps it off.
  EXPECT_EQ(hub.DisableAtPowerOff(), (std::vector<std::string>{"1", "1"}));
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 1), 1);
  EXPECT_TRUE(hub.PortPower(2));
  EXPECT_EQ(hub.DisableAttribute(2), "0");
  hub.SetPortPower(2, false);  // the kernel or a person
  EXPECT_EQ(lib->GetSwitch(0, kFirst), 0);
  EXPECT_EQ(lib->GetSwitch(0, kFirst + 2), -1);  // no third channel
  const int before = hub.PowerRequests();
  EXPECT_EQ(lib->ResetDevice(0), 1);
  EXPECT_EQ(hub.PowerRequests(), before);  // the end switches nothing
  EXPECT_FALSE(hub.PortPower(4));
}

TEST_F(UsbHubBackend, RefusedDisableAttributeIsReportedOnceAndTheRequestStillGoes) {
  HubEmulator& hub = AddHub({});
  hub.RefuseDisable(1);
  hub.RefuseDisable(2);
  auto lib = Open("1-1");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst + 1, 0), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 1), 1);
  EXPECT_FALSE(hub.PortPower(2));
  EXPECT_TRUE(hub.PortPower(1));
  ASSERT_EQ(errors.size(), 1u);
  for (const char* part : {"usbhub:1-1: cannot write /sys/bus/usb/devices/1-1/1-1:1.0/1-1-port1/disable",
                           "udev rule", "group toggra"})
    EXPECT_NE(errors[0].find(part), std::string::npos) << errors[0];
}

TEST_F(UsbHubBackend, HubThatCannotBeOpenedIsNamedWithItsNodeAndTheFix) {
  AddHub({}).RefuseOpen();
  auto lib = Open("1-1");
  EXPECT_EQ(lib->OpenArvendal(), 0);
  ASSERT_EQ(errors.size(), 1u);
  for (const char* part : {"usbhub:1-1: /dev/bus/usb/001/002: cannot be opened (", "fix: install "
                           "the udev rule 70-toggra-usbhub.rules and join the group toggra"})
    EXPECT_NE(errors[0].find(part), std::string::npos) << errors[0];
  const auto entries = AvailableHubEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, "usbhub:1-1");
  EXPECT_EQ(entries[0].second.rfind("hub, not usable: /dev/bus/usb/001/002: cannot be opened", 0),
            0u) << entries[0].second;
}

TEST_F(UsbHubBackend, PortsBeyondTheHubAreLeftOutAndSaidSo) {
  AddHub({});
  auto lib = Open("1-1:3,9");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  int count = 0, button = 0;
  lib->GetSwitchConfig(0, &count, &button);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("port 9"), std::string::npos) << errors[0];
}

TEST_F(UsbHubBackend, UsbThreePairSwitchesBothHalvesAsOneChannel) {
  HubEmulator& usb2 = AddHub({.containerId = kPairId});
  HubEmulator& usb3 = AddHub({.bus = 2, .location = "2-1", .superSpeed = true, .containerId = kPairId});
  HubEmulator& other = AddHub({.location = "1-3", .devnum = 4,
                               .containerId = std::array<uint8_t, 16>{9}});
  auto lib = Open("1-1");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(PartnerOf(*lib), "2-1");
  int count = 0, button = 0;
  lib->GetSwitchConfig(0, &count, &button);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(lib->SetSwitch(0, kFirst + 2, 0), 1);
  EXPECT_FALSE(usb2.PortPower(3));
  EXPECT_FALSE(usb3.PortPower(3));
  EXPECT_TRUE(other.PortPower(3));
  EXPECT_EQ(lib->GetSwitch(0, kFirst + 2), 0);
  // The USB 3 half reads its own power bit (bit 9).
  auto half = Open("2-1");
  ASSERT_EQ(half->OpenArvendal(), 1);
  EXPECT_EQ(half->GetSwitch(0, kFirst + 2), 0);
  EXPECT_EQ(half->GetSwitch(0, kFirst), 1);
  EXPECT_EQ(half->SetSwitch(0, kFirst + 2, 1), 1);
  EXPECT_TRUE(usb2.PortPower(3));
  EXPECT_TRUE(usb3.PortPower(3));
}

// A hub of two cascaded chips: every chip, of both speeds, has the same
// Container ID and the same number of ports.
TEST_F(UsbHubBackend, CascadedChipsPairOnlyByPortPathAndAmbiguityPairsNone) {
  HubEmulator& up2 = AddHub({.containerId = kPairId});
  HubEmulator& up3 = AddHub({.bus = 2, .location = "2-1", .superSpeed = true, .containerId = kPairId});
  HubEmulator& down2 = AddHub({.location = "1-1.4", .devnum = 3, .containerId = kPairId});
  HubEmulator& down3 = AddHub({.bus = 2, .location = "2-1.4", .devnum = 3, .superSpeed = true,
                               .containerId = kPairId});
  AddHub({.bus = 2, .location = "2-2", .devnum = 4, .ports = 7, .superSpeed = true,
          .containerId = kPairId});  // other port count: never a candidate
  auto lib = Open("1-1");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(PartnerOf(*lib), "2-1");
  EXPECT_EQ(lib->SetSwitch(0, kFirst + 1, 0), 1);
  EXPECT_FALSE(up2.PortPower(2));
  EXPECT_FALSE(up3.PortPower(2));
  EXPECT_TRUE(down2.PortPower(2));
  EXPECT_TRUE(down3.PortPower(2));
  // Either half with power is "on": a device powered again through USB 3.
  up3.SetPortPower(2, true);
  EXPECT_EQ(lib->GetSwitch(0, kFirst + 1), 1);
  auto inner = Open("2-1.4");
  ASSERT_EQ(inner->OpenArvendal(), 1);
  EXPECT_EQ(PartnerOf(*inner), "1-1.4");
  EXPECT_TRUE(errors.empty()) << errors.front();

  // A third chip with the same path on another bus leaves two candidates.
  AddHub({.bus = 3, .location = "3-1", .superSpeed = true, .containerId = kPairId});
  auto unsure = Open("1-1");
  ASSERT_EQ(unsure->OpenArvendal(), 1);
  EXPECT_EQ(PartnerOf(*unsure), "");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("usbhub:1-1: other half not paired: 2 hubs could be it (2-1, 3-1)"),
            std::string::npos) << errors[0];
  EXPECT_EQ(unsure->SetSwitch(0, kFirst + 2, 0), 1);
  EXPECT_FALSE(up2.PortPower(3));
  EXPECT_TRUE(up3.PortPower(3));
}

// Its Container ID cannot be read, so it cannot be paired; said, not silent.
TEST_F(UsbHubBackend, UsbThreeHalfThatCannotBeOpenedIsNamedWithItsNodeAndTheFix) {
  HubEmulator& usb2 = AddHub({.containerId = kPairId});
  AddHub({.bus = 2, .location = "2-1", .superSpeed = true, .containerId = kPairId}).RefuseOpen();
  AddHub({.bus = 2, .location = "2-3", .devnum = 3, .superSpeed = true}).RefuseOpen();
  auto lib = Open("1-1");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(PartnerOf(*lib), "");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("usbhub:1-1: other half not paired: the USB 3 hub 2-1 at the same "
                            "port path may be it but cannot be opened: /dev/bus/usb/002/002: "
                            "cannot be opened (", 0), 0u) << errors[0];
  EXPECT_NE(errors[0].find("fix: install the udev rule 70-toggra-usbhub.rules"),
            std::string::npos) << errors[0];
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 1);
  EXPECT_FALSE(usb2.PortPower(1));
  bool listed = false;
  for (const auto& [entry, text] : AvailableHubEntries())
    listed |= entry == "usbhub:1-1" && text.find("the USB 3 hub 2-1 at the same port path may "
                                                 "be it but cannot be opened") != std::string::npos;
  EXPECT_TRUE(listed);
}

TEST_F(UsbHubBackend, RootHubAndGangedHubOnlyWhenNamedSo) {
  HubEmulator& root = AddHub({.location = "usb1", .devnum = 1});
  HubEmulator& ganged = AddHub({.perPortPower = false});
  const auto offered = AvailableHubEntries();
  EXPECT_TRUE(offered.empty()) << offered.front().first;
  auto onboard = Open("usb1");
  ASSERT_EQ(onboard->OpenArvendal(), 1) << (errors.empty() ? "" : errors.front());
  EXPECT_EQ(onboard->DeviceName(0), "usb1");
  EXPECT_EQ(onboard->SetSwitch(0, kFirst + 1, 0), 1);
  EXPECT_FALSE(root.PortPower(2));
  EXPECT_EQ(root.DisableAttribute(2), "1");  // 1-0:1.0/usb1-port2/disable
  EXPECT_TRUE(ganged.PortPower(2));

  auto whole = Open("1-1:ganged");
  ASSERT_EQ(whole->OpenArvendal(), 1);
  int count = 0, button = 0;
  whole->GetSwitchConfig(0, &count, &button);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(whole->ChannelName(0, 0), "ganged");
  EXPECT_EQ(whole->SetSwitch(0, kFirst, 0), 1);
  for (int port = 1; port <= 4; ++port) EXPECT_FALSE(ganged.PortPower(port)) << port;
  EXPECT_EQ(whole->GetSwitch(0, kFirst), 0);
  ganged.SetPortPower(3, true);
  EXPECT_EQ(whole->GetSwitch(0, kFirst), 1);
  EXPECT_TRUE(root.PortPower(1));
}

TEST_F(UsbHubBackend, FaultsReadUnreachableAndTheHubComesBack) {
  HubEmulator& hub = AddHub({});
  auto lib = Open("1-1", 50);
  ASSERT_EQ(lib->OpenArvendal(), 1);
  hub.InjectFault(HubFault::kStall);
  EXPECT_EQ(lib->GetSwitch(0, kFirst), -1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 0);
  hub.InjectFault(HubFault::kGone);
  EXPECT_EQ(lib->GetSwitch(0, kFirst), -1);
  EXPECT_EQ(lib->GetSwitch(0, kFirst), -1);  // looked for again, still gone
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 0);
  hub.InjectFault(HubFault::kTimeout);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(lib->GetSwitch(0, kFirst), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  hub.InjectFault(HubFault::kNone);
  EXPECT_EQ(lib->GetSwitch(0, kFirst), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 1);
  EXPECT_FALSE(hub.PortPower(1));
}

TEST_F(UsbHubBackend, HubThatDoesNotCutPowerReadsWhatItReports) {
  HubEmulator& hub = AddHub({.ignoresPowerOff = true});
  auto lib = Open("1-1");
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(lib->SetSwitch(0, kFirst, 0), 1);
  EXPECT_EQ(lib->GetSwitch(0, kFirst), 1);
  EXPECT_TRUE(hub.PortPower(1));
}

TEST(UsbHubEntry, ParsesLocationsAndPortLists) {
  HubEntry e;
  std::string reason;
  ASSERT_TRUE(ParseHubEntry("1-1.4:2,3", &e, &reason));
  EXPECT_EQ(e.location, "1-1.4");
  EXPECT_EQ(e.ports, (std::vector<int>{2, 3}));
  ASSERT_TRUE(ParseHubEntry("3-2", &e, &reason));
  EXPECT_TRUE(e.ports.empty());
  EXPECT_FALSE(e.ganged);
  ASSERT_TRUE(ParseHubEntry("usb2:1,3", &e, &reason));
  EXPECT_EQ(e.location, "usb2");
  ASSERT_TRUE(ParseHubEntry("1-1:ganged", &e, &reason));
  EXPECT_TRUE(e.ganged);
  EXPECT_TRUE(e.ports.empty());
  for (const char* bad : {"", "1", "1-", "x-1", "1-1..2", "1-0", "1-1:", "1-1:0", "1-1:2,2",
                          "1-1:2;3", "1-1:256", "1-1.4:a", "usb", "usb0", "usbx", "usb1-1",
                          "1-1:2,ganged"})
    EXPECT_FALSE(ParseHubEntry(bad, &e, &reason)) << bad;
  EXPECT_EQ(HubSerial("1-1.4"), HubSerial("1-1.4"));
  EXPECT_GE(HubSerial("255-255.255.255.255.255.255.255"), 0);
}

}  // namespace
}  // namespace toggra::test

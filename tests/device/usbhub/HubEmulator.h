// An emulated USB hub for the tests: a umockdev device answering the hub
// class requests that libusb submits (USBDEVFS_SUBMITURB, then
// USBDEVFS_REAPURB(NDELAY)), with port power kept per port and faults to
// inject. Lives on the test bed's handler thread; all state is locked.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/umockdev/Testbed.h"

namespace toggra::test {

struct HubLayout {
  int bus = 1;
  // "1-1.4": behind port 4 of the emulated hub 1-1; "usb1": the root hub
  // (devnum 1).
  std::string location = "1-1";
  int devnum = 2;
  int ports = 4;
  bool superSpeed = false;  // the USB 3 half of a hub
  bool perPortPower = true;
  // Claims per-port switching but leaves the power on (a known cheat).
  bool ignoresPowerOff = false;
  std::optional<std::array<uint8_t, 16>> containerId = std::nullopt;
  int version = 0x0123;  // bcdDevice
};

enum class HubFault {
  kNone,
  kStall,    // every request ends with a STALL (-EPIPE)
  kGone,     // the device is unplugged: every ioctl ends with ENODEV
  kTimeout,  // requests are never completed; libusb gives up and discards them
};

class HubEmulator {
 public:
  HubEmulator(UmockdevTestbed& bed, HubLayout layout);
  ~HubEmulator();
  HubEmulator(const HubEmulator&) = delete;
  HubEmulator& operator=(const HubEmulator&) = delete;

  bool Ok() const { return m_ok; }
  const std::string& Error() const { return m_error; }
  std::string SysPath() const;
  std::string DevNode() const;

  bool PortPower(int port) const;
  // As if the kernel or a person changed it.
  void SetPortPower(int port, bool on);
  void InjectFault(HubFault fault);
  // SET_FEATURE / CLEAR_FEATURE PORT_POWER requests received so far.
  int PowerRequests() const;
  // GET_STATUS requests of `port` answered so far (faults not counted).
  int StatusRequests(int port) const;
  // The port's sysfs `disable` attribute as it is now ("" when absent).
  std::string DisableAttribute(int port) const;
  // Makes opening the hub's usbfs node fail.
  void RefuseOpen();
  // Makes every write of the port's `disable` attribute fail.
  void RefuseDisable(int port);
  // The port's `disable` attribute as each power-off request found it.
  std::vector<std::string> DisableAtPowerOff() const;

 private:
  struct Reply {
    bool stall = false;
    std::vector<uint8_t> data;
  };
  bool Serve(IoctlCall& call);
  Reply Answer(const uint8_t* setup);
  std::vector<uint8_t> DeviceDescriptor() const;
  std::vector<uint8_t> ConfigDescriptor() const;
  std::vector<uint8_t> HubDescriptor() const;
  std::vector<uint8_t> Bos() const;
  std::string Record() const;
  bool Root() const;
  // The port's folder below the hub's sysfs folder.
  std::string PortDir(int port) const;

  UmockdevTestbed& m_bed;
  HubLayout m_layout;
  bool m_ok = false;
  std::string m_error;
  mutable std::mutex m_mutex;
  std::vector<bool> m_power;  // by port - 1
  HubFault m_fault = HubFault::kNone;
  int m_powerRequests = 0;
  std::vector<int> m_statusRequests;  // by port - 1
  std::vector<std::string> m_disableAtPowerOff;
  std::deque<uint64_t> m_done;        // urbs to reap (addresses in the caller)
  std::vector<uint64_t> m_pending;    // urbs held back by a timeout fault
};

}  // namespace toggra::test

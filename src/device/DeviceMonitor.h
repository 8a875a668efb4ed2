// Tells when a device of a back-end comes or goes: a udev monitor (libudev)
// on a thread of its own, so that the event thread never waits for it.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace toggra {

// The udev subsystems of the back-ends' device nodes: relay boards (hidraw),
// hubs (usb), GPIO chips (gpio), serial adapters (tty).
inline constexpr std::array<const char*, 4> kWatchedSubsystems{"hidraw", "usb", "gpio", "tty"};

class CDeviceMonitor {
 public:
  // `changed` is called on the monitor's thread, once per burst of events
  // read together (a USB device brings several).
  explicit CDeviceMonitor(std::function<void()> changed);
  ~CDeviceMonitor();
  CDeviceMonitor(const CDeviceMonitor&) = delete;
  CDeviceMonitor& operator=(const CDeviceMonitor&) = delete;

  // Starts watching; false and *reason when udev cannot be watched (no
  // libudev in this build, no netlink socket).
  bool Start(std::string* reason);

 private:
  struct State;
  std::function<void()> m_changed;
  std::unique_ptr<State> m_state;
};

}  // namespace toggra

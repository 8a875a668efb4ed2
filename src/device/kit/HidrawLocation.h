// Where a hidraw node's USB device sits, for the HID back-ends that must tell
// apart devices reporting the same identity.
#pragma once

#include <string>

namespace toggra {

// The physical location (the USB device's sysfs name, "1-1.4") of the hidraw
// node `devnode` ("/dev/hidraw3"), or "" when sysfs does not show it.
std::string HidrawUsbLocation(const std::string& devnode);

}  // namespace toggra

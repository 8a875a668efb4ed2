// The configuration entry of a hub (`usbhub:LOCATION` or
// `usbhub:LOCATION:PORTS`) and the identity derived from its location.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace toggra {

struct HubEntry {
  // "1-1.4": bus, then the port path from the root hub; "usb1": the root hub
  // of bus 1 (the onboard ports), used only when named so.
  std::string location;
  std::vector<int> ports;  // the ports to offer, in order; empty: all of them
  // All ports as one channel, for hubs that switch them together.
  bool ganged = false;
};

// Parses the argument after "usbhub:"; false and *reason when it is not
// LOCATION, LOCATION:PORTS (ports 1..255, comma-separated, each once) or
// LOCATION:ganged.
bool ParseHubEntry(const std::string& argument, HubEntry* entry, std::string* reason);

// The serial number a hub reports to the program: the 32-bit FNV-1a hash of
// its location text with the top bit cleared, so that it stays positive in
// "%d" captions. The same socket gives the same number across restarts and
// re-plugging, which keeps the per-channel settings with the physical port.
int HubSerial(const std::string& location);

}  // namespace toggra

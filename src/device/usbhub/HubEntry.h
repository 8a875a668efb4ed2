// The configuration entry of a hub (`usbhub:LOCATION` or
// `usbhub:LOCATION:PORTS`) and the identity derived from its location.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace toggra {

struct HubEntry {
  std::string location;    // "1-1.4": bus, then the port path from the root hub
  std::vector<int> ports;  // the ports to offer, in order; empty: all of them
};

// Parses the argument after "usbhub:"; false and *reason when it is not
// LOCATION or LOCATION:PORTS (ports 1..255, comma-separated, each once).
bool ParseHubEntry(const std::string& argument, HubEntry* entry, std::string* reason);

// The serial number a hub reports to the program: the 32-bit FNV-1a hash of
// its location text with the top bit cleared, so that it stays positive in
// "%d" captions. The same socket gives the same number across restarts and
// re-plugging, which keeps the per-channel settings with the physical port.
int HubSerial(const std::string& location);

}  // namespace toggra

// The entries of the FTDI bit-bang relay boards: `ftdi:SERIAL[:RELAYS]` and
// `ftdi:*[:RELAYS]`, where RELAYS is a count (1 to 8: relay k on pin k-1) or
// a list of pins ("0,2,4,6": relay k on the k-th pin named) for boards wired
// otherwise.
#pragma once

#include <string>
#include <vector>

namespace toggra::ftdi {

inline constexpr unsigned short kVendorId = 0x0403;
inline constexpr unsigned short kProductId = 0x6001;
inline constexpr int kDefaultRelays = 8;

struct FtdiEntry {
  std::string serial;     // "*": every FT245R present
  std::vector<int> pins;  // the pin (0-7) of each relay, in channel order
};

// False with *reason when `argument` is not SERIAL[:RELAYS] or *[:RELAYS].
bool ParseFtdiEntry(const std::string& argument, FtdiEntry* entry, std::string* reason);

// The pins' byte with the relays in `on` (bit n: relay n+1) set and the other
// relay pins cleared; pins that are no relay's keep their level from `pins`.
unsigned char PinsFor(const std::vector<int>& relayPins, unsigned char pins, unsigned on);
// The relays (bit n: relay n+1) that are on in the pins' byte.
unsigned RelaysOf(const std::vector<int>& relayPins, unsigned char pins);

}  // namespace toggra::ftdi

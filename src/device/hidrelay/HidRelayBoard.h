// The wire facts of the USB HID relay boards (USB id 16c0:05df, product
// string "USBRelayN"), kept apart from hidapi so that they can be checked on
// their own: which devices are boards, what a feature report holds, which
// bytes switch a relay, and how a board's id becomes a serial number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace toggra::hidrelay {

inline constexpr unsigned short kVendorId = 0x16c0;
inline constexpr unsigned short kProductId = 0x05df;
// A feature report with its report id in byte 0.
inline constexpr size_t kReportSize = 9;
inline constexpr size_t kIdOffset = 1;
inline constexpr size_t kIdLength = 5;
inline constexpr size_t kMaskOffset = 8;
inline constexpr int kMaxRelays = 8;

using Report = std::array<unsigned char, kReportSize>;

// The number of relays a board with this product string has (1, 2, 4 or 8),
// or 0 when the string is not a relay board's. The USB id alone does not say:
// the id is a shared one that other HID devices carry too.
int RelayCountOf(const std::wstring& product);

// What a board's feature report says.
struct BoardState {
  std::string id;     // the 5-character id, made printable (see BoardName)
  unsigned mask = 0;  // bit n-1 = relay n
};
// False when fewer than kReportSize bytes arrived.
bool ParseReport(const unsigned char* data, int length, BoardState* state);

// The id as a name: bytes outside printable ASCII, and the separators of ids
// and device lists (':' and ';'), become '_', so that `hidrelay:ID` and the
// channel id `hidrelay:ID:N` stay parseable whatever a board reports.
std::string BoardName(const unsigned char* id, size_t length);

// The feature report that switches relay `relay` (from 1) on or off.
Report SwitchCommand(int relay, bool on);

// The serial number for the boundary: a 31-bit FNV-1a hash of the id, so that
// settings stored per channel stay with the board wherever it is plugged in.
// Two boards with the same id hash their id and their physical location
// ("ID@1-1.4") instead, which keeps them apart for as long as they stay in
// their sockets.
int SerialOf(const std::string& id, const std::string& location = {});

// --- the clones with other USB ids -------------------------------------------
// Two kinds of boards sold as HID relays speak other protocols, through
// output reports and without a known way to read the relays back:
//   0519:2018  one byte per command: 0xF0+n switches relay n on, n off;
//   5131:2007  the serial relay modules' frame A0 CH OP SUM (SUM = A0+CH+OP).
// Both are taken from what sellers and users document, not from a datasheet.
enum class Protocol { kFeature, kSingleByte, kFrame };
inline constexpr unsigned short kSingleByteVendor = 0x0519, kSingleByteProduct = 0x2018;
inline constexpr unsigned short kFrameVendor = 0x5131, kFrameProduct = 0x2007;

// The protocol of a board with this USB id; kFeature for 16c0:05df, and
// false for an id that is no relay board's.
bool ProtocolOf(unsigned short vendor, unsigned short product, Protocol* protocol);

// The output report (report id 0 first) that switches relay `relay` (from 1)
// of a clone.
std::vector<unsigned char> CloneCommand(Protocol protocol, int relay, bool on);

// A clone's relay count from the last character of its product string (1, 2,
// 4 or 8), or 0 when the string does not say.
int CloneRelayCount(const std::wstring& product);

// A clone's device name: "VVVV-PPPP-SERIAL" from its USB serial string (made
// printable as BoardName does), or "VVVV-PPPP@LOCATION" when it has none.
std::string CloneName(unsigned short vendor, unsigned short product, const std::string& serial,
                      const std::string& location);

// The physical location (the USB device's sysfs name, "1-1.4") of the hidraw
// node `devnode` ("/dev/hidraw3"), or "" when sysfs does not show it.
std::string LocationOf(const std::string& devnode);

}  // namespace toggra::hidrelay

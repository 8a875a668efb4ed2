// The wire facts of the USB power strips (USB ids 04b4:fd10 … fd15), kept
// apart from hidapi so that they can be checked on their own. Everything goes
// through HID feature reports: outlet n has report id 3n, whose two bytes are
// [3n, state] (bit 0 of state: the outlet is on; bit 1: it has supply power),
// and report 1 holds the strip's serial number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace toggra::sispm {

inline constexpr unsigned short kVendorId = 0x04b4;
inline constexpr unsigned char kSerialReport = 1;
inline constexpr size_t kSerialLength = 5;   // the report id 01 and four bytes
inline constexpr size_t kOutletReportLength = 2;
inline constexpr int kMaxOutlets = 4;
// A transfer that comes back short is tried this often in all.
inline constexpr int kAttempts = 5;

// The number of outlets of the strip model with this product id (4 for fd11,
// fd13 and fd15; 1 for fd10 and fd12), or 0 when it is none of them.
int OutletsOf(unsigned short productId);

// The report id of outlet `outlet` (from 1). For the 1-outlet models this is
// the likely one (3), not a confirmed one.
unsigned char ReportIdOf(int outlet);

using OutletReport = std::array<unsigned char, kOutletReportLength>;
OutletReport SwitchReport(int outlet, bool on);

// Reads outlet `outlet`'s state from an answer of `length` bytes (a negative
// length: the transfer failed). False, with what was not understood in *why,
// when the answer is short or belongs to another report.
bool ParseOutlet(const unsigned char* data, int length, int outlet, bool* on, std::string* why);

// The serial number as 10 lower-case hex digits ("01a2b3c4d5"); "" when
// fewer than kSerialLength bytes arrived.
std::string SerialName(const unsigned char* data, int length);

// An entry's serial in any of the usual spellings ("01A2B3C4D5",
// "01:a2:b3:c4:d5") as 10 lower-case hex digits; "" when it is none.
std::string NormalizeSerial(const std::string& text);

// Bytes as "03 01 ff" for messages.
std::string HexBytes(const unsigned char* data, size_t length);

}  // namespace toggra::sispm

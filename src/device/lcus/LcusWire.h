// The wire of the CH340/CH341 serial relay modules: 9600 baud 8N1, one
// 4-byte frame per switch, and the status query that some modules answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace toggra::lcus {

inline constexpr unsigned kBaud = 9600;
inline constexpr int kMaxRelays = 8;

// The USB ids of the serial chip (vendor << 16 | product).
inline constexpr uint32_t kChipIds[] = {0x1a867523, 0x1a865523};

// `A0 CH OP SUM`: relay CH (from 1), OP 1 on / 0 off, SUM the low byte of
// the sum of the three bytes before it.
inline constexpr uint8_t kFrameStart = 0xA0;
inline constexpr uint8_t kOpOn = 0x01;
inline constexpr uint8_t kOpOff = 0x00;
using Frame = std::array<uint8_t, 4>;
Frame SwitchFrame(int relay, bool on);

// The one byte that asks a module for its relays. Modules that answer send
// text lines, one per relay ("CH1: ON"); most answer nothing.
inline constexpr uint8_t kStatusQuery = 0xFF;
// The longest answer taken (8 lines with room to spare).
inline constexpr size_t kMaxAnswer = 256;

// Reads an answer to the status query: true when it gives the state of each
// of relays 1..`relays` ("CH<n>" and "ON" or "OFF", colon between, any case
// and spacing); bit n-1 of *on is relay n.
bool ParseStatus(const std::vector<uint8_t>& answer, int relays, uint32_t* on);

// The answer as text for a message: printable ASCII as it is, the rest as
// \xNN, line ends as \r and \n; at most 64 bytes.
std::string Printable(const std::vector<uint8_t>& answer);

}  // namespace toggra::lcus

// Modbus RTU relay boards on one RS-485 bus, played on a pseudo-terminal:
// each board answers function 1 (read coils) and 5 (write one coil) at its
// address and keeps silent for the others, as on a real bus. A board can
// misbehave: stay silent, answer with a wrong CRC, or refuse with an
// exception code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "serial/PtyPeer.h"

namespace toggra::test {

// CRC-16/MODBUS: init FFFF, reflected polynomial A001, sent low byte first.
inline uint16_t ModbusCrc(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = ModbusCrc(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

class ModbusBoardEmulator {
 public:
  enum class Mode { kNormal, kSilent, kBadCrc, kIllegalFunction };

  // Boards at `addresses`, each with 16 coils, all off.
  ModbusBoardEmulator(const std::string& link, std::vector<int> addresses)
      : m_peer(link, [this](std::vector<uint8_t>& pending) { return Serve(pending); }) {
    m_peer.Locked([&] {
      for (int a : addresses) m_coils[a] = 0;
      return 0;
    });
  }

  PtyPeer& Peer() { return m_peer; }
  uint16_t Coils(int address) {
    return m_peer.Locked([&] { return m_coils[address]; });
  }
  void SetCoils(int address, uint16_t coils) {
    m_peer.Locked([&] { m_coils[address] = coils; });
  }
  void SetMode(Mode mode) {
    m_peer.Locked([&] { m_mode = mode; });
  }
  // Every request seen, whole frames with their CRC.
  std::vector<std::vector<uint8_t>> Requests() {
    return m_peer.Locked([&] { return m_requests; });
  }
  int BadRequests() {
    return m_peer.Locked([&] { return m_bad; });
  }

 private:
  std::vector<uint8_t> Serve(std::vector<uint8_t>& pending) {
    std::vector<uint8_t> answer;
    // Requests of functions 1 and 5 are 8 bytes long.
    while (pending.size() >= 8) {
      std::vector<uint8_t> req(pending.begin(), pending.begin() + 8);
      pending.erase(pending.begin(), pending.begin() + 8);
      m_requests.push_back(req);
      if (ModbusCrc(req.data(), 6) != (req[6] | req[7] << 8)) {
        ++m_bad;
        continue;
      }
      auto board = m_coils.find(req[0]);
      if (board == m_coils.end() || m_mode == Mode::kSilent) continue;
      std::vector<uint8_t> reply = Reply(req, board->second);
      if (m_mode == Mode::kBadCrc) reply.back() ^= 0x5A;
      answer.insert(answer.end(), reply.begin(), reply.end());
    }
    return answer;
  }

  std::vector<uint8_t> Reply(const std::vector<uint8_t>& req, uint16_t& coils) {
    const int first = req[2] << 8 | req[3];
    const int value = req[4] << 8 | req[5];
    if (m_mode == Mode::kIllegalFunction || (req[1] != 1 && req[1] != 5))
      return WithCrc({req[0], static_cast<uint8_t>(req[1] | 0x80), 0x01});
    if (req[1] == 5) {
      if (first >= 16 || (value != 0xFF00 && value != 0x0000))
        return WithCrc({req[0], 0x85, 0x02});
      coils = value ? coils | 1u << first : coils & ~(1u << first);
      return WithCrc(std::vector<uint8_t>(req.begin(), req.begin() + 6));  // the echo
    }
    if (first + value > 16 || value < 1) return WithCrc({req[0], 0x81, 0x02});
    std::vector<uint8_t> reply{req[0], 0x01, static_cast<uint8_t>((value + 7) / 8)};
    for (int k = 0; k < value; k += 8) reply.push_back(0);
    for (int k = 0; k < value; ++k)
      if ((coils >> (first + k)) & 1u) reply[3 + k / 8] |= static_cast<uint8_t>(1u << (k % 8));
    return WithCrc(reply);
  }

  std::map<int, uint16_t> m_coils;
  Mode m_mode = Mode::kNormal;
  std::vector<std::vector<uint8_t>> m_requests;
  int m_bad = 0;
  PtyPeer m_peer;  // last: its thread serves the members above
};

}  // namespace toggra::test

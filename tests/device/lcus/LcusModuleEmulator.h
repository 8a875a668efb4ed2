// A CH340 relay module on a pseudo-terminal: it takes `A0 CH OP SUM` frames
// (a frame with a wrong sum is dropped, as the modules do) and answers the
// status query FF as the `answer` option says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/PtyPeer.h"

namespace toggra::test {

class LcusModuleEmulator {
 public:
  enum class Answer { kNothing, kLines, kGarbage };

  LcusModuleEmulator(const std::string& link, int relays, Answer answer = Answer::kNothing)
      : m_relays(relays),
        m_answer(answer),
        m_peer(link, [this](std::vector<uint8_t>& pending) { return Serve(pending); }) {}

  PtyPeer& Peer() { return m_peer; }
  uint32_t Relays() {
    return m_peer.Locked([&] { return m_on; });
  }
  // A relay switched by other means (the module's own button, another program).
  void SetRelays(uint32_t on) {
    m_peer.Locked([&] { m_on = on; });
  }
  void SetAnswer(Answer answer) {
    m_peer.Locked([&] { m_answer = answer; });
  }
  std::vector<std::vector<uint8_t>> Frames() {
    return m_peer.Locked([&] { return m_frames; });
  }
  // Waits until `count` frames have come in; false after 2 s.
  bool AwaitFrames(size_t count) {
    return m_peer.WaitUntil([&] { return m_frames.size() >= count; });
  }
  int Queries() {
    return m_peer.Locked([&] { return m_queries; });
  }
  int BadFrames() {
    return m_peer.Locked([&] { return m_bad; });
  }
  // The module is pulled out, and plugged in again (all relays off).
  void Unplug() { m_peer.Close(); }
  void Plug() {
    m_peer.Locked([&] { m_on = 0; });
    m_peer.Reopen();
  }

 private:
  std::vector<uint8_t> Serve(std::vector<uint8_t>& pending) {
    std::vector<uint8_t> answer;
    while (!pending.empty()) {
      if (pending[0] == 0xFF) {
        pending.erase(pending.begin());
        ++m_queries;
        const std::string text = StatusText();
        answer.insert(answer.end(), text.begin(), text.end());
      } else if (pending[0] == 0xA0) {
        if (pending.size() < 4) break;
        std::vector<uint8_t> frame(pending.begin(), pending.begin() + 4);
        pending.erase(pending.begin(), pending.begin() + 4);
        m_frames.push_back(frame);
        const int ch = frame[1];
        if (static_cast<uint8_t>(frame[0] + frame[1] + frame[2]) != frame[3] || ch < 1 ||
            ch > m_relays || frame[2] > 1) {
          ++m_bad;
          continue;
        }
        const uint32_t bit = 1u << (ch - 1);
        m_on = frame[2] ? m_on | bit : m_on & ~bit;
      } else {
        pending.erase(pending.begin());
        ++m_bad;
      }
    }
    return answer;
  }

  std::string StatusText() const {
    if (m_answer == Answer::kNothing) return {};
    if (m_answer == Answer::kGarbage) return "\x01\x02?relay";
    std::string text;
    for (int ch = 1; ch <= m_relays; ++ch)
      text += "CH" + std::to_string(ch) + ": " + ((m_on >> (ch - 1)) & 1u ? "ON" : "OFF") + "\r\n";
    return text;
  }

  int m_relays;
  Answer m_answer;
  uint32_t m_on = 0;
  std::vector<std::vector<uint8_t>> m_frames;
  int m_queries = 0;
  int m_bad = 0;
  PtyPeer m_peer;  // last: its thread serves the members above
};

}  // namespace toggra::test

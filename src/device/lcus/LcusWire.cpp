#include "device/lcus/LcusWire.h"

#include <cstdio>
#include <regex>

namespace toggra::lcus {

Frame SwitchFrame(int relay, bool on) {
  const auto ch = static_cast<uint8_t>(relay);
  const uint8_t op = on ? kOpOn : kOpOff;
  return {kFrameStart, ch, op, static_cast<uint8_t>(kFrameStart + ch + op)};
}

bool ParseStatus(const std::vector<uint8_t>& answer, int relays, uint32_t* on) {
  static const std::regex kLine("CH\\s*([0-9]{1,2})\\s*:\\s*(ON|OFF)", std::regex::icase);
  const std::string text(answer.begin(), answer.end());
  uint32_t seen = 0, mask = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kLine); it != std::sregex_iterator();
       ++it) {
    const int ch = std::stoi((*it)[1].str());
    if (ch < 1 || ch > relays) continue;
    const uint32_t bit = 1u << (ch - 1);
    seen |= bit;
    const char o = static_cast<char>((*it)[2].str()[1] | 0x20);  // 'n' of ON, 'f' of OFF
    mask = o == 'n' ? mask | bit : mask & ~bit;
  }
  const uint32_t all = (1u << relays) - 1u;
  if (seen != all) return false;
  *on = mask;
  return true;
}

std::string Printable(const std::vector<uint8_t>& answer) {
  std::string text;
  for (size_t i = 0; i < answer.size() && i < 64; ++i) {
    const uint8_t b = answer[i];
    if (b == '\r') {
      text += "\\r";
    } else if (b == '\n') {
      text += "\\n";
    } else if (b >= 0x20 && b < 0x7F && b != '\\') {
      text += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      text += hex;
    }
  }
  if (answer.size() > 64) text += "...";
  return text;
}

}  // namespace toggra::lcus

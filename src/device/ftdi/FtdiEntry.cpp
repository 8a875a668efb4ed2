#include "device/ftdi/FtdiEntry.h"

#include <algorithm>

namespace toggra::ftdi {

namespace {

bool Digits(const std::string& text) {
  return !text.empty() && text.size() <= 2 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool ParseFtdiEntry(const std::string& argument, FtdiEntry* entry, std::string* reason) {
  const size_t colon = argument.find(':');
  entry->serial = argument.substr(0, colon);
  entry->pins.clear();
  const auto fail = [&](const std::string& why) {
    *reason = why + "; expected ftdi:SERIAL[:RELAYS] or ftdi:*[:RELAYS], RELAYS a count from 1 to "
                    "8 or a list of pins 0-7 (ftdi:A50285BI:4, ftdi:A50285BI:0,2,4,6)";
    return false;
  };
  if (entry->serial.empty()) return fail("no serial named");
  for (char c : entry->serial)
    if (c <= ' ' || c >= 0x7F || c == ';') return fail("\"" + entry->serial + "\" is no serial");
  if (colon == std::string::npos) {
    for (int pin = 0; pin < kDefaultRelays; ++pin) entry->pins.push_back(pin);
    return true;
  }
  const std::string relays = argument.substr(colon + 1);
  if (relays.find(',') == std::string::npos) {
    const int count = Digits(relays) ? std::stoi(relays) : 0;
    if (count < 1 || count > 8) return fail("\"" + relays + "\" is no relay count");
    for (int pin = 0; pin < count; ++pin) entry->pins.push_back(pin);
    return true;
  }
  size_t start = 0;
  while (start <= relays.size()) {
    size_t end = relays.find(',', start);
    if (end == std::string::npos) end = relays.size();
    const std::string pin = relays.substr(start, end - start);
    if (!Digits(pin) || std::stoi(pin) > 7) return fail("\"" + pin + "\" is no pin (0-7)");
    const int p = std::stoi(pin);
    if (std::find(entry->pins.begin(), entry->pins.end(), p) != entry->pins.end())
      return fail("pin " + pin + " is named twice");
    entry->pins.push_back(p);
    start = end + 1;
  }
  return true;
}

unsigned char PinsFor(const std::vector<int>& relayPins, unsigned char pins, unsigned on) {
  unsigned value = pins;
  for (size_t k = 0; k < relayPins.size(); ++k) {
    const unsigned bit = 1u << relayPins[k];
    if ((on >> k) & 1u)
      value |= bit;
    else
      value &= ~bit;
  }
  return static_cast<unsigned char>(value & 0xFF);
}

unsigned RelaysOf(const std::vector<int>& relayPins, unsigned char pins) {
  unsigned on = 0;
  for (size_t k = 0; k < relayPins.size(); ++k)
    if ((pins >> relayPins[k]) & 1u) on |= 1u << k;
  return on;
}

}  // namespace toggra::ftdi

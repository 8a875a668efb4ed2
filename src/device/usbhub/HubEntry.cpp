#include "device/usbhub/HubEntry.h"

#include <algorithm>
#include <cctype>

#include "device/Channels.h"

namespace toggra {

namespace {

constexpr int kMaxPort = 255;

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() <= 3 &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = s.find(sep, start);
    parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool ValidLocation(const std::string& location) {
  if (location.rfind("usb", 0) == 0) {
    const std::string bus = location.substr(3);
    return IsNumber(bus) && std::stoi(bus) >= 1;
  }
  const size_t dash = location.find('-');
  if (dash == std::string::npos || !IsNumber(location.substr(0, dash))) return false;
  for (const std::string& port : Split(location.substr(dash + 1), '.'))
    if (!IsNumber(port) || std::stoi(port) < 1 || std::stoi(port) > kMaxPort) return false;
  return true;
}

}  // namespace

bool ParseHubEntry(const std::string& argument, HubEntry* entry, std::string* reason) {
  const size_t colon = argument.find(':');
  const std::string location = argument.substr(0, colon);
  if (!ValidLocation(location)) {
    *reason = "expected usbhub:LOCATION[:PORTS|:ganged] with a location like 1-1.4 or usb1";
    return false;
  }
  HubEntry parsed;
  parsed.location = location;
  if (colon != std::string::npos && argument.substr(colon + 1) == "ganged") {
    parsed.ganged = true;
  } else if (colon != std::string::npos) {
    for (const std::string& port : Split(argument.substr(colon + 1), ',')) {
      const int n = IsNumber(port) ? std::stoi(port) : 0;
      if (n < 1 || n > kMaxPort) {
        *reason = "bad port \"" + port + "\" (ports are numbers from 1, separated by ',')";
        return false;
      }
      if (std::find(parsed.ports.begin(), parsed.ports.end(), n) != parsed.ports.end()) {
        *reason = "port " + port + " named twice";
        return false;
      }
      parsed.ports.push_back(n);
    }
  }
  *entry = std::move(parsed);
  return true;
}

int HubSerial(const std::string& location) { return NameSerial(location); }

}  // namespace toggra

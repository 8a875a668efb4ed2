#include "device/gpio/GpioEntry.h"

#include <algorithm>

namespace toggra::gpio {

namespace {

constexpr const char* kActiveLow = "active-low";

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return pieces;
    start = end + 1;
  }
}

}  // namespace

bool ParseGpioEntry(const std::string& argument, bool trafficLight, GpioEntry* entry,
                    std::string* reason) {
  const char* syntax = trafficLight ? "expected gpio-light:CHIP:RED,YELLOW,GREEN[:active-low]"
                                    : "expected gpio:CHIP:LINE,LINE,...[:active-low]";
  const std::vector<std::string> parts = Split(argument, ':');
  if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() ||
      (parts.size() == 3 && parts[2] != kActiveLow)) {
    *reason = syntax;
    return false;
  }
  GpioEntry e;
  e.chip = parts[0];
  e.activeLow = parts.size() == 3;
  e.trafficLight = trafficLight;
  e.lines = Split(parts[1], ',');
  if (std::any_of(e.lines.begin(), e.lines.end(), [](const std::string& l) { return l.empty(); })) {
    *reason = syntax;
    return false;
  }
  if (trafficLight && e.lines.size() != kLightLines) {
    *reason = "a traffic light needs three lines (red, yellow, green)";
    return false;
  }
  if (e.lines.size() > kMaxLines) {
    *reason = "at most 8 lines per entry";
    return false;
  }
  for (size_t i = 0; i < e.lines.size(); ++i)
    if (std::find(e.lines.begin(), e.lines.begin() + static_cast<long>(i), e.lines[i]) !=
        e.lines.begin() + static_cast<long>(i)) {
      *reason = "line " + e.lines[i] + " is named twice";
      return false;
    }
  *entry = std::move(e);
  return true;
}

}  // namespace toggra::gpio

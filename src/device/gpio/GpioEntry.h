// The argument of a `gpio:` or `gpio-light:` entry: a chip, its lines and the
// polarity, checked before any line is touched.
#pragma once

#include <string>
#include <vector>

namespace toggra::gpio {

// A traffic light has its red, yellow and green lamp on three lines.
inline constexpr size_t kLightLines = 3;
inline constexpr size_t kMaxLines = 8;  // the program's channel table ends at 8

struct GpioEntry {
  std::string chip;                // a name, number, path or label (libgpiod's lookup)
  std::vector<std::string> lines;  // offsets or line names, in channel order
  bool activeLow = false;
  bool trafficLight = false;
};

// Parses `CHIP:LINE,LINE,...[:active-low]`; a traffic light needs exactly
// three lines. False with *reason naming what is wrong.
bool ParseGpioEntry(const std::string& argument, bool trafficLight, GpioEntry* entry,
                    std::string* reason);

}  // namespace toggra::gpio

// Duration texts of the "Kurzzeit" buttons and small printf-style helpers.
#pragma once

#include <string>

namespace toggra {

// "%02d:%02d:%02d" when h > 0, "%02d:%02d" when m > 0, "%02d" when s > 0,
// else "Kurzzeit".
std::string FormatHms(int h, int m, int s);

// FormatHms of t seconds split into hours, minutes and seconds.
std::string FormatDuration(int t);

// snprintf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace toggra

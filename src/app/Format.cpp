#include "app/Format.h"

#include <cstdarg>
#include <cstdio>

#include "app/Ids.h"

namespace toggra {

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

std::string FormatHms(int h, int m, int s) {
  if (h > 0) return Format("%02d:%02d:%02d", h, m, s);
  if (m > 0) return Format("%02d:%02d", m, s);
  if (s > 0) return Format("%02d", s);
  return kStrShortTime;
}

std::string FormatDuration(int t) {
  return FormatHms(t / 3600, (t % 3600) / 60, t % 60);
}

}  // namespace toggra

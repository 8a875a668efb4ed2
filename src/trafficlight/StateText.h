// The text of a state file as the program reads it back.
#pragma once

#include <array>
#include <string>

namespace toggra {

inline constexpr int kStateValues = 8;

// The numbers of a state file as "%d %d %d %d %d %d %d %d" reads them:
// whitespace, an optional sign, digits; parsing stops at the first thing that
// is not such a number. A number that does not fit in 32 bits stops it too,
// so a damaged file is not applied. Returns how many were read, or -1 when
// the text ends before the first number (as sscanf gives EOF).
int ParseStateValues(const std::string& text, std::array<int, kStateValues>& values);

}  // namespace toggra

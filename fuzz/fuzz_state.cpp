// The state file's text as another process may leave it: whatever the bytes,
// the numbers read are the ones the C library's "%d %d %d %d %d %d %d %d"
// reads from the same text, and at most eight of them.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzCheck.h"
#include "trafficlight/StateText.h"

namespace {

constexpr size_t kMaxStateBytes = 63;  // what one read of the file takes

// The C library leaves a number beyond the int range undefined; the parser
// stops there, so only texts without such a run of digits are compared.
bool HasLongDigitRun(const std::string& text) {
  size_t run = 0;
  for (char c : text) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run > 9) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), std::min(size, kMaxStateBytes));
  std::array<int, toggra::kStateValues> values{};
  const int count = toggra::ParseStateValues(text, values);
  FUZZ_REQUIRE(count >= -1 && count <= toggra::kStateValues);
  if (HasLongDigitRun(text)) return 0;

  int expected[toggra::kStateValues] = {};
  const int read = std::sscanf(text.c_str(), "%d %d %d %d %d %d %d %d", &expected[0],
                               &expected[1], &expected[2], &expected[3], &expected[4],
                               &expected[5], &expected[6], &expected[7]);
  FUZZ_REQUIRE(count == read);
  for (int k = 0; k < count; ++k) FUZZ_REQUIRE(values[k] == expected[k]);
  return 0;
}

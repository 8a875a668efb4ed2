// A bench file as a person may have edited it. A file that parses comes back
// byte for byte when nothing changed, and after the program switches a
// channel or counts a reset it still parses, to the devices it changed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "device/BenchFormat.h"

namespace {

bool Same(const toggra::BenchDevice& a, const toggra::BenchDevice& b) {
  return a.type == b.type && a.version == b.version && a.serial == b.serial &&
         a.switches == b.switches && a.trafficLight == b.trafficLight && a.cutter == b.cutter &&
         a.configFailures == b.configFailures && a.multiSwitchFails == b.multiSwitchFails &&
         a.state == b.state && a.resets == b.resets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace toggra;
  if (size < 3) return 0;
  // The first three bytes choose the change: device, channel and value.
  const int device = data[0] % 4;
  const int index = data[1] % (kBenchMaxSwitches + 1);
  const int value = static_cast<int8_t>(data[2]);
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

  BenchParse parsed = ParseBench(text, "fuzz.bench");
  if (!parsed.ok) {
    FUZZ_REQUIRE(!parsed.error.empty());
    return 0;
  }
  BenchSet& set = parsed.set;
  FUZZ_REQUIRE(set.Render() == text);

  set.SetState(device, index, value);
  set.SetResets(device, value < 0 ? -value : value);
  const BenchParse again = ParseBench(set.Render(), "fuzz.bench");
  FUZZ_REQUIRE(again.ok);
  FUZZ_REQUIRE(again.set.devices.size() == set.devices.size());
  for (size_t d = 0; d < set.devices.size(); ++d) {
    FUZZ_REQUIRE(Same(again.set.devices[d], set.devices[d]));
  }
  return 0;
}

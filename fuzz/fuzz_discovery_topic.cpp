// Discovery topics on the broker (any client may publish under the discovery
// prefix) and the ids and JSON the bridge makes from text it does not control
// (captions, device names, prefixes) and device configs it reads back: nothing crashes, a topic that splits is
// rebuilt from its parts, ids stay within [a-zA-Z0-9_-], and every JSON string
// is valid UTF-8 without raw control characters.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "bridge/HomeAssistant.h"

namespace {

bool ValidUtf8(const std::string& s) {
  for (size_t k = 0; k < s.size();) {
    const auto c = static_cast<unsigned char>(s[k]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || k + len > s.size()) return false;
    for (size_t n = 1; n < len; ++n)
      if ((static_cast<unsigned char>(s[k + n]) & 0xC0) != 0x80) return false;
    k += len;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace toggra;
  const std::string in(reinterpret_cast<const char*>(data), size);
  std::string object;
  if (SplitDiscoveryTopic(in, "homeassistant", "node", &object)) {
    FUZZ_REQUIRE(!object.empty() && object.find('/') == std::string::npos);
    FUZZ_REQUIRE(in.size() > object.size());
  }
  for (const char c : SafeId(in))
    FUZZ_REQUIRE((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '_' || c == '-');
  // A retained device config is anyone's to write: cutting a channel out of
  // it never reads past its end, and gives it back, or a config no longer than it, or none.
  const std::string cut = DeviceConfigWithout(in, "bench:0:1");
  FUZZ_REQUIRE(cut.size() <= in.size());
  const std::string json = JsonString(in);
  FUZZ_REQUIRE(ValidUtf8(json));
  for (const char c : json) FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 0x20);
  return 0;
}

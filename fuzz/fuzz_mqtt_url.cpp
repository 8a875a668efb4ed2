// The broker URL as a person types it (TOGGRA_MQTT, url= in toggra.conf):
// nothing crashes, a URL that parses has a host and a usable port, and a
// refused one says why.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "bridge/MqttConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  toggra::MqttConfig config;
  std::string reason;
  if (toggra::ParseMqttUrl(in, &config, &reason)) {
    FUZZ_REQUIRE(!config.host.empty());
    FUZZ_REQUIRE(config.port > 0 && config.port < 65536);
    FUZZ_REQUIRE(config.user.find(':') == std::string::npos);
  } else {
    FUZZ_REQUIRE(!reason.empty());
  }
  return 0;
}

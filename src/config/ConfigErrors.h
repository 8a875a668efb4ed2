// Configuration errors: what a program without window ends on with
// kExitConfigError (EX_CONFIG, which the systemd units do not restart), and
// toggra-ctl with its usage status. An MQTT setting that cannot be used is
// MqttConfigResult::kError (bridge/MqttConfig.h); unreadable lines in
// toggra.conf are reported but are no error.
#pragma once

#include <string>
#include <vector>

namespace toggra {
class CDeviceRegistry;
}

namespace toggra::config {

inline constexpr int kExitConfigError = 78;

// "device entry ENTRY: unknown back-end "NAME"; this build knows A, B, ..."
// for the first entry whose back-end this build does not have, else empty.
std::string UnknownBackendEntry(const std::vector<std::string>& entries,
                                const CDeviceRegistry& backends);

}  // namespace toggra::config

#include "config/ConfigErrors.h"

#include <algorithm>

#include "device/DeviceRegistry.h"

namespace toggra::config {

std::string UnknownBackendEntry(const std::vector<std::string>& entries,
                                const CDeviceRegistry& backends) {
  std::string known;
  for (const BackendInfo& b : backends.Backends()) known += (known.empty() ? "" : ", ") + b.name;
  for (const std::string& text : entries) {
    DeviceEntry entry;
    std::string reason;
    if (!ParseDeviceEntry(text, &entry, &reason)) continue;  // Open reports it
    const auto& all = backends.Backends();
    if (std::none_of(all.begin(), all.end(), [&](const BackendInfo& b) { return b.name == entry.backend; }))
      return "device entry " + text + ": unknown back-end \"" + entry.backend + "\"; this build knows " + known;
  }
  return {};
}

}  // namespace toggra::config

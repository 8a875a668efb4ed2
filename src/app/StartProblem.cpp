#include "app/StartProblem.h"

#include "device/DeviceRegistry.h"

namespace toggra {

int ExitStatusOf(StartProblem problem) {
  switch (problem) {
    case StartProblem::kNone:
      return 0;
    case StartProblem::kConfiguration:
      return kExitConfig;
    case StartProblem::kUnavailable:
      return kExitUnavailable;
  }
  return kExitConfig;
}

std::vector<std::string> UnusableDeviceEntries(const CDeviceRegistry& registry,
                                               const std::vector<std::string>& entries) {
  std::vector<std::string> messages;
  for (const std::string& text : entries) {
    DeviceEntry entry;
    std::string reason;
    if (!ParseDeviceEntry(text, &entry, &reason)) {
      messages.push_back("device entry " + text + ": " + reason);
    } else if (!registry.Find(entry.backend)) {
      std::string known;
      for (const BackendInfo& b : registry.Backends()) known += (known.empty() ? "" : ", ") + b.name;
      messages.push_back("device entry " + text + ": unknown back-end \"" + entry.backend +
                         "\" (this build has: " + known + ")");
    }
  }
  return messages;
}

}  // namespace toggra

#include "frontend/Startup.h"

#include "device/DeviceRegistry.h"

namespace toggra::frontend {

StartProblem CheckDeviceEntries(IRegistry* registry,
                                const std::function<void(const std::string&)>& say) {
  const std::vector<std::string> unusable =
      UnusableDeviceEntries(BuiltinRegistry(), ConfiguredDeviceEntries(registry));
  for (const std::string& message : unusable) say(message);
  return unusable.empty() ? StartProblem::kNone : StartProblem::kConfiguration;
}

}  // namespace toggra::frontend

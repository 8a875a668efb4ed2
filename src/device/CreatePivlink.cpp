#include "device/DeviceRegistry.h"
#include "device/Pivlink.h"

namespace toggra {

std::unique_ptr<CPivlink> CreatePivlink(IRegistry* registry) {
  return BuiltinRegistry().Open(ConfiguredDeviceEntries(registry), ReportDeviceError);
}

}  // namespace toggra

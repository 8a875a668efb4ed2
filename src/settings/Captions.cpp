#include "settings/Captions.h"

#include "config/Config.h"
#include "settings/DeviceSettings.h"

namespace toggra {

bool ReadCaption(CDeviceSettings& settings, const std::string& devIdName,
                 const std::string& stableId, std::string* caption) {
  if (settings.ReadString(devIdName, caption)) return true;
  *caption = config::FileCaption(stableId);
  return !caption->empty();
}

}  // namespace toggra

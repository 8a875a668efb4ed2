// A column's caption: the channel's "devID" value in the device settings when
// one exists (stored files keep working), else its line in [caption] of
// toggra.conf, by the channel's stable id.
#pragma once

#include <string>

namespace toggra {

class CDeviceSettings;

// False when neither holds a caption; `stableId` may be empty (a simulation).
bool ReadCaption(CDeviceSettings& settings, const std::string& devIdName,
                 const std::string& stableId, std::string* caption);

}  // namespace toggra

#include "settings/DeviceSettings.h"

namespace toggra {

CDeviceSettings::CDeviceSettings(IRegistry& registry, DeviceSettingsRoot& root, IPrompts*)
    : m_registry(registry), m_root(root) {}
std::string CDeviceSettings::ValueName(int, int, int, const std::string&) { return {}; }
bool CDeviceSettings::ReadDword(const std::string&, int*, const char*) { return false; }
bool CDeviceSettings::ReadString(const std::string&, std::string*, const char*) { return false; }
bool CDeviceSettings::WriteDword(const std::string&, int, const char*) { return false; }
bool CDeviceSettings::WriteString(const std::string&, const std::string&, const char*) {
  return false;
}

}  // namespace toggra

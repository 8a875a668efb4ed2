#include "device/plugin/PluginPivlink.h"

#include <dlfcn.h>

#include <array>
#include <cstring>

#include "device/DeviceRegistry.h"
#include "toggra/toggra_driver.h"

namespace toggra {

namespace {

// Longest device name taken from a plug-in, with its NUL.
constexpr size_t kNameBuffer = 128;

// The name of the first required member the table leaves empty, or null.
const char* MissingMember(const toggra_driver& d) {
  const std::pair<bool, const char*> required[] = {
      {d.open_devices != nullptr, "open_devices"},
      {d.device_type != nullptr, "device_type"},
      {d.switch_config != nullptr, "switch_config"},
      {d.is_traffic_light != nullptr, "is_traffic_light"},
      {d.version != nullptr, "version"},
      {d.serial_number != nullptr, "serial_number"},
      {d.inverted != nullptr, "inverted"},
      {d.get_switch != nullptr, "get_switch"},
      {d.set_switch != nullptr, "set_switch"},
      {d.get_multi_switch != nullptr, "get_multi_switch"},
      {d.reset_device != nullptr, "reset_device"},
      {d.release != nullptr, "release"},
  };
  for (const auto& [present, name] : required)
    if (!present) return name;
  return nullptr;
}

struct LibraryCloser {
  void operator()(void* handle) const {
    if (handle) ::dlclose(handle);
  }
};
using UniqueLibrary = std::unique_ptr<void, LibraryCloser>;

}  // namespace

std::unique_ptr<CPluginPivlink> CPluginPivlink::Load(const std::string& path,
                                                     std::string* reason) {
  if (path.empty()) {
    *reason = "no plug-in named (plugin:PATH)";
    return nullptr;
  }
  // A name without '/' would be searched along the library path, so that
  // the library that runs is not the one the entry names.
  if (path.find('/') == std::string::npos) {
    *reason = "give the plug-in's path, with a '/' (plugin:./" + path + ")";
    return nullptr;
  }
  // RTLD_NOW: a plug-in with unresolved symbols fails here, with the linker's
  // reason, and not later in the middle of a switch command.
  UniqueLibrary library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* error = ::dlerror();
    *reason = error ? error : "cannot be loaded";
    return nullptr;
  }
  ::dlerror();
  void* symbol = ::dlsym(library.get(), TOGGRA_DRIVER_ENTRY_SYMBOL);
  if (!symbol) {
    *reason = "no entry symbol " TOGGRA_DRIVER_ENTRY_SYMBOL;
    return nullptr;
  }
  toggra_driver_entry_fn entry;
  static_assert(sizeof entry == sizeof symbol);
  std::memcpy(&entry, &symbol, sizeof entry);
  toggra_driver* driver = entry();
  if (!driver) {
    *reason = TOGGRA_DRIVER_ENTRY_SYMBOL " returned no driver table";
    return nullptr;
  }
  // A table of another version has another layout: not even its release
  // member may be trusted, so it is left alone.
  if (driver->interface_version != TOGGRA_DRIVER_INTERFACE_VERSION) {
    *reason = "driver interface version " + std::to_string(driver->interface_version) +
              " is unknown (this Toggra knows version " +
              std::to_string(TOGGRA_DRIVER_INTERFACE_VERSION) + ")";
    return nullptr;
  }
  if (const char* missing = MissingMember(*driver)) {
    *reason = std::string("the driver table has no ") + missing;
    if (driver->release) driver->release(driver);
    return nullptr;
  }
  return std::unique_ptr<CPluginPivlink>(new CPluginPivlink(library.release(), driver));
}

CPluginPivlink::~CPluginPivlink() {
  m_driver->release(m_driver);
  ::dlclose(m_handle);
}

int CPluginPivlink::OpenArvendal() {
  const int count = m_driver->open_devices(m_driver->context);
  m_count = count > 0 ? count : 0;
  return count;
}

int CPluginPivlink::GetUSBType(int device) {
  return Known(device) ? m_driver->device_type(m_driver->context, device) : 0;
}

int CPluginPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  if (!Known(device)) return 0;
  // The plug-in may leave the outputs alone on failure; the caller reads them
  // only on success, but never as uninitialised memory.
  int count = 0, button = 0;
  const int ok = m_driver->switch_config(m_driver->context, device, &count, &button);
  if (switchCount) *switchCount = count;
  if (buttonAvailable) *buttonAvailable = button;
  return ok;
}

int CPluginPivlink::GetOnlineOnCount(int device) {
  if (!Known(device) || !m_driver->online_on_count) return 0;
  return m_driver->online_on_count(m_driver->context, device);
}

int CPluginPivlink::IsAmpel(int device) {
  return Known(device) ? m_driver->is_traffic_light(m_driver->context, device) : 0;
}

int CPluginPivlink::GetVersion(int device) {
  return Known(device) ? m_driver->version(m_driver->context, device) : 0;
}

int CPluginPivlink::GetSerialNumber(int device) {
  return Known(device) ? m_driver->serial_number(m_driver->context, device) : 0;
}

int CPluginPivlink::IsCutter(int device) {
  return Known(device) ? m_driver->inverted(m_driver->context, device) : 0;
}

int CPluginPivlink::GetSwitch(int device, int switchId) {
  return Known(device) ? m_driver->get_switch(m_driver->context, device, switchId) : -1;
}

int CPluginPivlink::SetSwitch(int device, int switchId, int on) {
  return Known(device) ? m_driver->set_switch(m_driver->context, device, switchId, on) : 0;
}

int CPluginPivlink::GetMultiSwitch(int device, unsigned long* mask, unsigned long* value,
                                   int seq) {
  if (!Known(device)) return -1;
  unsigned long m = 0, v = 0;
  const int result = m_driver->get_multi_switch(m_driver->context, device, &m, &v, seq);
  if (mask) *mask = m;
  if (value) *value = v;
  return result;
}

int CPluginPivlink::ResetDevice(int device) {
  return Known(device) ? m_driver->reset_device(m_driver->context, device) : 0;
}

std::string CPluginPivlink::DeviceName(int device) {
  const std::string byNumber = std::to_string(device);
  if (!Known(device) || !m_driver->device_name) return byNumber;
  std::array<char, kNameBuffer> buffer{};
  if (!m_driver->device_name(m_driver->context, device, buffer.data(), buffer.size()))
    return byNumber;
  // A plug-in that forgets the NUL still yields a bounded name.
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', buffer.size()));
  std::string name(buffer.data(), end ? static_cast<size_t>(end - buffer.data()) : buffer.size());
  // A name that would break the id `plugin:DEVICE:CHANNEL` or the entry list
  // apart is not used.
  if (name.empty() || name.find_first_of(":;") != std::string::npos) return byNumber;
  return name;
}

void RegisterPlugin(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "plugin";
  info.open = [](const std::string& path, std::string* reason) -> std::unique_ptr<CBackendPivlink> {
    return CPluginPivlink::Load(path, reason);
  };
  registry.Register(std::move(info));
}

}  // namespace toggra

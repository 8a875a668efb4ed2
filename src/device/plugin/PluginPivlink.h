// The `plugin` back-end: devices served by a shared library through the C
// interface of include/toggra/toggra_driver.h, loaded with dlopen from the
// entry `plugin:PATH`.
#pragma once

#include <memory>
#include <string>

#include "device/Backend.h"

struct toggra_driver;

namespace toggra {

class CDeviceRegistry;

class CPluginPivlink : public CBackendPivlink {
 public:
  // Loads the plug-in at `path` and takes its driver table; null with
  // *reason set when the library does not load, lacks the entry symbol,
  // returns no table, a table of an unknown interface version or one with a
  // required member missing. Loading runs the library's initialisers but
  // calls nothing that switches.
  static std::unique_ptr<CPluginPivlink> Load(const std::string& path, std::string* reason);
  ~CPluginPivlink() override;
  CPluginPivlink(const CPluginPivlink&) = delete;
  CPluginPivlink& operator=(const CPluginPivlink&) = delete;

  int OpenArvendal() override;
  int GetUSBType(int device) override;
  int GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) override;
  int GetOnlineOnCount(int device) override;
  int IsAmpel(int device) override;
  int GetVersion(int device) override;
  int GetSerialNumber(int device) override;
  int IsCutter(int device) override;
  int GetSwitch(int device, int switchId) override;
  int SetSwitch(int device, int switchId, int on) override;
  int GetMultiSwitch(int device, unsigned long* mask, unsigned long* value, int seq) override;
  int ResetDevice(int device) override;
  std::string DeviceName(int device) override;

 private:
  CPluginPivlink(void* handle, toggra_driver* driver) : m_handle(handle), m_driver(driver) {}
  // Device numbers the plug-in counted; calls outside them never reach it.
  bool Known(int device) const { return device >= 0 && device < m_count; }

  void* m_handle;          // from dlopen, closed last
  toggra_driver* m_driver; // released before the library is closed
  int m_count = 0;         // devices found by the last OpenArvendal
};

// `plugin:PATH`.
void RegisterPlugin(CDeviceRegistry& registry);

}  // namespace toggra

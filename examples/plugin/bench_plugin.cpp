// An example driver plug-in: Toggra's simulated hardware (a bench file)
// served through the plug-in interface, the way a vendor's shim would serve
// its own device library. Each member of the table forwards to one call of
// the library; here the library is Toggra's bench code, linked in.
//
// The bench file is named by TOGGRA_PLUGIN_BENCH; TOGGRA_PLUGIN_BENCH_LOG,
// when set, receives every command (the bench's own command log).
//
//   TOGGRA_PLUGIN_BENCH=/tmp/demo.bench TOGGRA_DEVICES=plugin:/path/to/toggra-bench-plugin.so toggra
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "device/BenchPivlink.h"
#include "toggra/toggra_driver.h"

namespace {

using toggra::CBenchPivlink;

// The library behind the shim; a vendor's shim holds its own handle here.
CBenchPivlink& Lib(void* context) { return *static_cast<CBenchPivlink*>(context); }

int OpenDevices(void* c) { return Lib(c).OpenArvendal(); }
int DeviceType(void* c, int d) { return Lib(c).GetUSBType(d); }
int SwitchConfig(void* c, int d, int* count, int* button) {
  return Lib(c).GetSwitchConfig(d, count, button);
}
int IsTrafficLight(void* c, int d) { return Lib(c).IsAmpel(d); }
int Version(void* c, int d) { return Lib(c).GetVersion(d); }
int SerialNumber(void* c, int d) { return Lib(c).GetSerialNumber(d); }
int Inverted(void* c, int d) { return Lib(c).IsCutter(d); }
int GetSwitch(void* c, int d, int id) { return Lib(c).GetSwitch(d, id); }
int SetSwitch(void* c, int d, int id, int on) { return Lib(c).SetSwitch(d, id, on); }
int GetMultiSwitch(void* c, int d, unsigned long* mask, unsigned long* value, int seq) {
  return Lib(c).GetMultiSwitch(d, mask, value, seq);
}
int ResetDevice(void* c, int d) { return Lib(c).ResetDevice(d); }
int OnlineOnCount(void* c, int d) { return Lib(c).GetOnlineOnCount(d); }

// Devices are named by their serial number, which stays with the device when
// the file's order changes; "bench-" keeps the name from looking like a
// device number.
int DeviceName(void* c, int d, char* buffer, unsigned long size) {
  const int written =
      std::snprintf(buffer, size, "bench-%d", Lib(c).GetSerialNumber(d));
  return written > 0 && static_cast<unsigned long>(written) < size;
}

void Release(toggra_driver* driver) {
  delete static_cast<CBenchPivlink*>(driver->context);
  delete driver;
}

void Report(const std::string& message) {
  std::fprintf(stderr, "toggra-bench-plugin: %s\n", message.c_str());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) toggra_driver* toggra_driver_entry(void) {
  const char* bench = std::getenv("TOGGRA_PLUGIN_BENCH");
  if (!bench || !*bench) {
    Report("TOGGRA_PLUGIN_BENCH names no bench file");
    return nullptr;
  }
  const char* log = std::getenv("TOGGRA_PLUGIN_BENCH_LOG");
  auto* driver = new (std::nothrow) toggra_driver{};
  auto* lib = new (std::nothrow) CBenchPivlink(bench, log ? log : "", Report);
  if (!driver || !lib) {
    delete driver;
    delete lib;
    return nullptr;
  }
  driver->interface_version = TOGGRA_DRIVER_INTERFACE_VERSION;
  driver->context = lib;
  driver->open_devices = OpenDevices;
  driver->device_type = DeviceType;
  driver->switch_config = SwitchConfig;
  driver->is_traffic_light = IsTrafficLight;
  driver->version = Version;
  driver->serial_number = SerialNumber;
  driver->inverted = Inverted;
  driver->get_switch = GetSwitch;
  driver->set_switch = SetSwitch;
  driver->get_multi_switch = GetMultiSwitch;
  driver->reset_device = ResetDevice;
  driver->device_name = DeviceName;
  driver->online_on_count = OnlineOnCount;
  driver->release = Release;
  return driver;
}

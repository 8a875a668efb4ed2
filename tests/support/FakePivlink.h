// A device library with devices set up by the test; every call is recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/Format.h"
#include "device/Backend.h"

namespace toggra::test {

struct FakeDevice {
  int type = 8;
  int version = 1;
  int serial = 1000;
  int switches = 1;
  int ampel = 0;
  int cutter = 0;
  int configFailures = 0;     // the first so many GetSwitchConfig calls fail
  bool multiSwitchFails = false;
  std::map<int, int> state;   // GetSwitch result per id; missing ids read 0
};

class FakePivlink : public CBackendPivlink {
 public:
  // Shared with the test, which keeps a pointer after handing the object over.
  std::vector<FakeDevice> devices;
  std::vector<std::string> calls;  // "SetSwitch 0 16 1", "GetSwitch 0 16", ...
  int openResult = -100;           // -100: the number of devices

  int OpenArvendal() override {
    calls.push_back("OpenArvendal");
    return openResult == -100 ? static_cast<int>(devices.size()) : openResult;
  }
  int GetUSBType(int d) override { return Log("GetUSBType", d, Dev(d) ? Dev(d)->type : 0); }
  int GetSwitchConfig(int d, int* count, int* button) override {
    calls.push_back(Format("GetSwitchConfig %d", d));
    FakeDevice* dev = Dev(d);
    if (!dev) return 0;
    if (dev->configFailures > 0) {
      --dev->configFailures;
      return 0;
    }
    *count = dev->switches;
    *button = 0;
    return 1;
  }
  int GetOnlineOnCount(int d) override { return Log("GetOnlineOnCount", d, 0); }
  int IsAmpel(int d) override { return Log("IsAmpel", d, Dev(d) ? Dev(d)->ampel : 0); }
  int GetVersion(int d) override { return Log("GetVersion", d, Dev(d) ? Dev(d)->version : 0); }
  int GetSerialNumber(int d) override {
    return Log("GetSerialNumber", d, Dev(d) ? Dev(d)->serial : 0);
  }
  int IsCutter(int d) override { return Log("IsCutter", d, Dev(d) ? Dev(d)->cutter : 0); }
  int GetSwitch(int d, int id) override {
    calls.push_back(Format("GetSwitch %d %d", d, id));
    FakeDevice* dev = Dev(d);
    if (!dev) return -1;
    auto it = dev->state.find(id);
    return it == dev->state.end() ? 0 : it->second;
  }
  int SetSwitch(int d, int id, int on) override {
    calls.push_back(Format("SetSwitch %d %d %d", d, id, on));
    if (FakeDevice* dev = Dev(d)) dev->state[id] = on;
    return 1;
  }
  int GetMultiSwitch(int d, unsigned long* /*mask*/, unsigned long* value, int /*seq*/) override {
    calls.push_back(Format("GetMultiSwitch %d", d));
    FakeDevice* dev = Dev(d);
    if (!dev || dev->multiSwitchFails) return -1;
    unsigned long v = 0;
    for (auto [id, s] : dev->state)
      if (s == 1 && id >= 16 && id < 32) v |= 1ul << (id - 16);
    *value = v;
    return 0;
  }
  int ResetDevice(int d) override { return Log("ResetDevice", d, 0); }
  std::string DeviceName(int d) override { return "d" + std::to_string(d); }

  // The recorded calls that start with `prefix`, e.g. "SetSwitch".
  std::vector<std::string> CallsOf(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }

 private:
  FakeDevice* Dev(int d) {
    return d >= 0 && d < static_cast<int>(devices.size()) ? &devices[d] : nullptr;
  }
  int Log(const char* op, int d, int result) {
    calls.push_back(Format("%s %d", op, d));
    return result;
  }
};

}  // namespace toggra::test

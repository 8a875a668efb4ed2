// The library where no hardware is attached: it finds no device, so the
// program's no-device handling runs.
#pragma once

#include "device/Pivlink.h"

namespace toggra {

class CNoDevicePivlink : public CPivlink {
 public:
  int OpenArvendal() override { return 0; }
  int GetUSBType(int) override { return 0; }
  int GetSwitchConfig(int, int*, int*) override { return 0; }
  int GetOnlineOnCount(int) override { return 0; }
  int IsAmpel(int) override { return 0; }
  int GetVersion(int) override { return 0; }
  int GetSerialNumber(int) override { return 0; }
  int IsCutter(int) override { return 0; }
  int GetSwitch(int, int) override { return -1; }
  int SetSwitch(int, int, int) override { return 0; }
  int GetMultiSwitch(int, unsigned long*, unsigned long*, int) override { return -1; }
  int ResetDevice(int) override { return 0; }
};

}  // namespace toggra

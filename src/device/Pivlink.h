// The device-access boundary: every contact with the switch hardware goes
// through one CPivlink object. Device numbers are 0-based indexes below the
// count OpenArvendal returned; switch ids are 16 + channel (from 0).
#pragma once

#include <memory>

namespace toggra {

class CPivlink {
 public:
  virtual ~CPivlink() = default;

  // Number of devices found; 0 or less means none.
  virtual int OpenArvendal() = 0;
  // Type code; 5, 8, 40 and 48 are switch devices.
  virtual int GetUSBType(int device) = 0;
  // Nonzero on success, with *switchCount = number of channels.
  virtual int GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) = 0;
  virtual int GetOnlineOnCount(int device) = 0;
  // Nonzero for a traffic light.
  virtual int IsAmpel(int device) = 0;
  virtual int GetVersion(int device) = 0;
  virtual int GetSerialNumber(int device) = 0;
  // The caller compares the result with 1 and 17 (inverted channels).
  virtual int IsCutter(int device) = 0;
  // 1 on, 0 off, negative unreachable; other values are possible.
  virtual int GetSwitch(int device, int switchId) = 0;
  virtual int SetSwitch(int device, int switchId, int on) = 0;
  // Negative on failure; else bit n of *value is channel 16 + n.
  virtual int GetMultiSwitch(int device, unsigned long* mask, unsigned long* value,
                             int seq) = 0;
  virtual int ResetDevice(int device) = 0;
};

class IRegistry;

// The library the program uses: the back-ends of the configured device
// entries (see DeviceRegistry.h) as one library; `registry` supplies the
// "Devices" value when no environment variable names the entries.
std::unique_ptr<CPivlink> CreatePivlink(IRegistry* registry = nullptr);

}  // namespace toggra

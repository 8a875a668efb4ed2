// `gpio` and `gpio-light`: relay boards and lamp towers on GPIO lines, through
// libgpiod. One entry is one device: a plain switch with one channel per line,
// or a traffic light whose lamps 16, 17 and 18 are the red, yellow and green
// line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/Backend.h"
#include "device/DeviceRegistry.h"
#include "device/gpio/GpioEntry.h"
#include "device/gpio/GpioLines.h"

namespace toggra {

class CGpioPivlink : public CBackendPivlink {
 public:
  // Opens the chip and finds the lines; null with *reason when the chip or a
  // line is missing or a line is in use. Nothing is requested yet.
  static std::unique_ptr<CGpioPivlink> Open(const gpio::GpioEntry& entry, std::string* reason,
                                            DeviceErrorSink errors = {});
  ~CGpioPivlink() override;

  // Requests the lines (once; they stay requested while the object lives).
  // 0 devices when a line cannot be requested, which is reported.
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
  // The chip and its lines: "gpiochip0@17,27".
  std::string DeviceName(int device) override;

 private:
  CGpioPivlink(gpio::GpioEntry entry, DeviceErrorSink errors);
  // The offset of a channel's line; false for a channel this device lacks.
  bool Line(int device, int switchId, unsigned* offset) const;
  bool Request();

  gpio::GpioEntry m_entry;
  DeviceErrorSink m_errors;
  std::unique_ptr<gpio::GpioChip> m_chip;
  std::string m_chipName;
  std::vector<unsigned> m_lines;  // offsets, in channel order
  bool m_requested = false;
  int m_serial = 0;
};

// Registers `gpio:CHIP:LINES[:active-low]` and `gpio-light:CHIP:R,Y,G[:active-low]`.
void RegisterGpio(CDeviceRegistry& registry);

}  // namespace toggra

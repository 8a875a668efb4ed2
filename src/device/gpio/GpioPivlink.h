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

struct gpiod_chip;
struct gpiod_line;

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
  struct ChipCloser {
    void operator()(gpiod_chip* chip) const;
  };
  CGpioPivlink(gpio::GpioEntry entry, DeviceErrorSink errors);
  gpiod_line* Line(int device, int switchId) const;
  bool Request();

  gpio::GpioEntry m_entry;
  DeviceErrorSink m_errors;
  std::unique_ptr<gpiod_chip, ChipCloser> m_chip;
  std::string m_chipName;
  std::vector<gpiod_line*> m_lines;  // owned by m_chip
  bool m_requested = false;
  int m_serial = 0;
};

// Registers `gpio:CHIP:LINES[:active-low]` and `gpio-light:CHIP:R,Y,G[:active-low]`.
void RegisterGpio(CDeviceRegistry& registry);

}  // namespace toggra

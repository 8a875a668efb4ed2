// `gpio` and `gpio-light`: relay boards and lamp towers on GPIO lines, through
// libgpiod. One entry is one device: a plain switch with one channel per line,
// or a traffic light whose lamps 16, 17 and 18 are the red, yellow and green
// line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/gpio/GpioEntry.h"
#include "device/gpio/GpioLines.h"
#include "device/kit/Driver.h"

namespace toggra {

class CGpioDriver : public IDriver {
 public:
  // Opens the chip and finds the lines; null with *reason when the chip or a
  // line is missing or a line is in use. Nothing is requested yet.
  static std::unique_ptr<CGpioDriver> Open(const gpio::GpioEntry& entry, std::string* reason,
                                           DeviceErrorSink errors = {});
  ~CGpioDriver() override;

  // Requests the lines (once; they stay requested while the object lives).
  // No device when a line cannot be requested, which is reported. The device
  // is named by the chip and its lines: "gpiochip0@17,27".
  std::vector<DriverDevice> Enumerate() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

 private:
  CGpioDriver(gpio::GpioEntry entry, DeviceErrorSink errors);
  bool Request();
  std::string Name() const;

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

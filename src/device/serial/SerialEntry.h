// What the serial back-ends (lcus, modbus) share about their entries and
// nodes: a path with numbers after it, the device name, the reason a node
// cannot be opened with its fix, and the USB serial adapters present.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace toggra::serial {

// Splits `PATH[:NUMBER...]` into the path and at most `maxNumbers` numbers.
// The numbers are taken from the end, since a by-path name holds colons of
// its own ("pci-0000:00:14.0-usb-0:2:1.0-port0"), but never ends in ":DIGITS".
// False when the path is not absolute or a number is out of uint32 range.
bool SplitPathNumbers(const std::string& argument, size_t maxNumbers, std::string* path,
                      std::vector<uint32_t>* numbers);

// The last part of a path: the device name of a serial device ("ttyUSB0").
std::string LastPart(const std::string& path);

// Why `path` could not be opened (errno `error`), with what fixes it: the
// group to join for a node without permission, a hint for a missing node.
std::string OpenFailureText(const std::string& path, int error);

// A tty of a USB serial adapter, as sysfs describes it.
struct UsbSerialPort {
  std::string node;      // "/dev/ttyUSB0"
  std::string path;      // its /dev/serial/by-path name when there is one, else node
  uint16_t vendor = 0;   // the USB device's idVendor and idProduct
  uint16_t product = 0;
  std::string problem;   // empty, or why this user cannot open it (with the fix)
};

// The ttys of USB devices with one of the ids (vendor << 16 | product).
std::vector<UsbSerialPort> FindUsbSerialPorts(const std::vector<uint32_t>& ids);

}  // namespace toggra::serial

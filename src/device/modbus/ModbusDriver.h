// `modbus`: a Modbus RTU relay board on an RS-485 bus, one device per entry
// with one channel per relay; relay k is coil k-1, switched with function 5
// and read back with function 1.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/kit/Driver.h"
#include "device/modbus/ModbusBus.h"

namespace toggra {

struct ModbusEntry {
  std::string path;
  int address = 1;
  int relays = 8;
  unsigned baud = 9600;
};

// Parses `PATH[:ADDRESS[:N[:BAUD]]]`; false with *reason naming the fault.
bool ParseModbusEntry(const std::string& argument, ModbusEntry* entry, std::string* reason);

class CModbusDriver : public IDriver {
 public:
  // Null with *reason when the bus cannot be shared (CModbusBus::Get). Nothing is
  // opened before the first read or write.
  static std::unique_ptr<CModbusDriver> Open(const ModbusEntry& entry, modbus::Timing timing,
                                             std::string* reason);

  // The one device, named "ttyUSB0@1"; a board that does not answer reads
  // unreachable until it does.
  std::vector<DriverDevice> Enumerate() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

 private:
  CModbusDriver(ModbusEntry entry, std::shared_ptr<modbus::CModbusBus> bus);

  ModbusEntry m_entry;
  std::shared_ptr<modbus::CModbusBus> m_bus;
};

// Registers `modbus:PATH[:ADDRESS[:N[:BAUD]]]`.
void RegisterModbus(CDeviceRegistry& registry);

}  // namespace toggra

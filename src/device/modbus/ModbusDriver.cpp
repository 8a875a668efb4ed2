#include "device/modbus/ModbusDriver.h"

#include "device/Channels.h"
#include "device/serial/SerialEntry.h"

namespace toggra {

namespace {

constexpr int kVersion = 1;
constexpr uint32_t kMaxAddress = 247;  // 0 is broadcast (never answered), 248+ reserved
constexpr uint32_t kMaxRelays = 8;     // the program's channel table ends at 8
constexpr const char* kSyntax =
    "expected modbus:PATH[:ADDRESS[:N[:BAUD]]] with an absolute PATH, ADDRESS 1 to 247 and N "
    "relays (1 to 8)";

std::string NameOf(const ModbusEntry& e) {
  return serial::LastPart(e.path) + "@" + std::to_string(e.address);
}

}  // namespace

bool ParseModbusEntry(const std::string& argument, ModbusEntry* entry, std::string* reason) {
  ModbusEntry e;
  std::vector<uint32_t> n;
  if (!serial::SplitPathNumbers(argument, 3, &e.path, &n) ||
      (n.size() > 0 && (n[0] < 1 || n[0] > kMaxAddress)) ||
      (n.size() > 1 && (n[1] < 1 || n[1] > kMaxRelays))) {
    *reason = kSyntax;
    return false;
  }
  if (n.size() > 0) e.address = static_cast<int>(n[0]);
  if (n.size() > 1) e.relays = static_cast<int>(n[1]);
  if (n.size() > 2) e.baud = n[2];
  *entry = std::move(e);
  return true;
}

std::unique_ptr<CModbusDriver> CModbusDriver::Open(const ModbusEntry& entry,
                                                   modbus::Timing timing, std::string* reason) {
  auto bus = modbus::CModbusBus::Get(entry.path, entry.baud, timing, reason);
  if (!bus) return nullptr;
  return std::unique_ptr<CModbusDriver>(new CModbusDriver(entry, std::move(bus)));
}

CModbusDriver::CModbusDriver(ModbusEntry entry, std::shared_ptr<modbus::CModbusBus> bus)
    : m_entry(std::move(entry)), m_bus(std::move(bus)) {}

std::vector<DriverDevice> CModbusDriver::Enumerate() {
  DriverDevice d;
  d.name = NameOf(m_entry);
  for (int r = 1; r <= m_entry.relays; ++r) d.channels.push_back(std::to_string(r));
  d.version = kVersion;
  d.serial = NameSerial("modbus:" + d.name);
  return {d};
}

bool CModbusDriver::Read(int /*device*/, DriverReading* reading, std::string* error) {
  uint32_t on = 0;
  if (!m_bus->ReadCoils(m_entry.address, m_entry.relays, &on, error)) return false;
  reading->on = on;
  return true;
}

bool CModbusDriver::Write(int /*device*/, int channel, bool on, std::string* error) {
  if (channel < 0 || channel >= m_entry.relays) return false;
  return m_bus->WriteCoil(m_entry.address, channel, on, error);
}

// The coils keep their states when the program ends (IDriver::Reset).

void RegisterModbus(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "modbus";
  info.driver = [](const std::string& argument, std::string* reason) -> std::unique_ptr<IDriver> {
    ModbusEntry entry;
    if (!ParseModbusEntry(argument, &entry, reason)) return nullptr;
    return CModbusDriver::Open(entry, {}, reason);
  };
  registry.Register(std::move(info));
}

}  // namespace toggra

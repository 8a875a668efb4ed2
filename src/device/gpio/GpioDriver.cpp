#include "device/gpio/GpioDriver.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace toggra {

namespace {

constexpr int kVersion = 1;
constexpr const char* kConsumer = "toggra";

// The serial number for the boundary: a hash of the chip's label and the line
// offsets, so that settings stay with the wiring even when the kernel numbers
// the chips differently after an update.
int SerialOf(const std::string& label, const std::vector<unsigned>& lines, bool light) {
  std::string key = std::string(light ? "light:" : "gpio:") + label;
  for (unsigned line : lines) key += ":" + std::to_string(line);
  return NameSerial(key);
}

std::string ErrnoText() { return std::generic_category().message(errno); }

}  // namespace

CGpioDriver::CGpioDriver(gpio::GpioEntry entry, DeviceErrorSink errors)
    : m_entry(std::move(entry)),
      m_errors(errors ? std::move(errors) : DeviceErrorSink(ReportDeviceError)) {}

CGpioDriver::~CGpioDriver() = default;

std::unique_ptr<CGpioDriver> CGpioDriver::Open(const gpio::GpioEntry& entry, std::string* reason,
                                               DeviceErrorSink errors) {
  std::unique_ptr<CGpioDriver> lib(new CGpioDriver(entry, std::move(errors)));
  lib->m_chip = gpio::GpioChip::Open(entry.chip);
  if (!lib->m_chip) {
    *reason = "GPIO chip " + entry.chip + ": " + ErrnoText();
    return nullptr;
  }
  lib->m_chipName = lib->m_chip->Name();
  for (const std::string& name : entry.lines) {
    unsigned line = 0;
    gpio::GpioChip::LineInfo info;
    if (!lib->m_chip->Find(name, &line) || !lib->m_chip->Info(line, &info)) {
      *reason = "line " + name + " of " + lib->m_chipName + ": no such line";
      return nullptr;
    }
    for (unsigned other : lib->m_lines)
      if (other == line) {
        *reason = "line " + name + " of " + lib->m_chipName + " is named twice";
        return nullptr;
      }
    if (info.used) {
      *reason = "line " + name + " of " + lib->m_chipName + " is busy" +
                (info.consumer.empty() ? std::string()
                                       : " (used by \"" + info.consumer + "\")");
      return nullptr;
    }
    lib->m_lines.push_back(line);
  }
  lib->m_serial = SerialOf(lib->m_chip->Label(), lib->m_lines, entry.trafficLight);
  return lib;
}

bool CGpioDriver::Request() {
  for (size_t i = 0; i < m_lines.size(); ++i) {
    const unsigned line = m_lines[i];
    if (m_chip->IsRequested(line)) continue;
    // A line another program left driving keeps its level: taking it over
    // must not switch the relay on it. Any other line starts inactive (off).
    gpio::GpioChip::LineInfo info;
    const bool driven = m_chip->Info(line, &info) && info.output;
    if (!m_chip->Request(line, kConsumer, driven, m_entry.activeLow)) {
      const std::string why = errno == EBUSY ? "busy" : ErrnoText();
      m_errors("line " + m_entry.lines[i] + " of " + m_chipName + ": cannot be requested (" +
               why + "); the device " + Name() + " is left out");
      return false;
    }
  }
  return true;
}

std::vector<DriverDevice> CGpioDriver::Enumerate() {
  if (!m_requested) m_requested = Request();
  if (!m_requested) return {};
  DriverDevice device;
  device.name = Name();
  for (size_t n = 0; n < m_lines.size(); ++n) device.channels.push_back(std::to_string(n + 1));
  device.trafficLight = m_entry.trafficLight;
  device.version = kVersion;
  device.serial = m_serial;
  return {device};
}

bool CGpioDriver::Read(int /*device*/, DriverReading* reading, std::string* error) {
  reading->on = 0;
  for (size_t n = 0; n < m_lines.size(); ++n) {
    const int v = m_chip->Get(m_lines[n]);
    if (v < 0) {
      *error = "line " + m_entry.lines[n] + ": " + ErrnoText();
      return false;
    }
    if (v > 0) reading->on |= 1u << n;
  }
  return true;
}

bool CGpioDriver::Write(int /*device*/, int channel, bool on, std::string* error) {
  if (channel < 0 || channel >= static_cast<int>(m_lines.size())) return false;
  if (m_chip->Set(m_lines[static_cast<size_t>(channel)], on ? 1 : 0)) return true;
  *error = "line " + m_entry.lines[static_cast<size_t>(channel)] + ": " + ErrnoText();
  return false;
}

// The lines keep their levels while the program runs; at its end the kernel
// decides (most drivers keep the last level): IDriver::Reset.

std::string CGpioDriver::Name() const {
  std::string name = m_chipName + "@";
  for (size_t i = 0; i < m_entry.lines.size(); ++i) name += (i ? "," : "") + m_entry.lines[i];
  return name;
}

namespace {

BackendInfo GpioBackend(const char* name, bool trafficLight) {
  BackendInfo info;
  info.name = name;
  info.driver = [trafficLight](const std::string& argument,
                               std::string* reason) -> std::unique_ptr<IDriver> {
    gpio::GpioEntry entry;
    if (!gpio::ParseGpioEntry(argument, trafficLight, &entry, reason)) return nullptr;
    return CGpioDriver::Open(entry, reason);
  };
  return info;
}

}  // namespace

void RegisterGpio(CDeviceRegistry& registry) {
  registry.Register(GpioBackend("gpio", false));
  registry.Register(GpioBackend("gpio-light", true));
}

}  // namespace toggra

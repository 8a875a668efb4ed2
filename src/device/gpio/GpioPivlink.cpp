#include "device/gpio/GpioPivlink.h"

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "app/Ids.h"

namespace toggra {

namespace {

constexpr int kUnreachable = -1;
constexpr int kFailed = 0;
constexpr int kDone = 1;
constexpr int kVersion = 1;
constexpr const char* kConsumer = "toggra";
constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;
constexpr uint32_t kSerialBits = 0x7FFFFFFFu;

// The serial number for the boundary: a hash of the chip's label and the line
// offsets, so that settings stay with the wiring even when the kernel numbers
// the chips differently after an update.
int SerialOf(const std::string& label, const std::vector<unsigned>& lines, bool light) {
  std::string key = std::string(light ? "light:" : "gpio:") + label;
  for (unsigned line : lines) key += ":" + std::to_string(line);
  uint32_t hash = kFnvOffset;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= kFnvPrime;
  }
  return static_cast<int>(hash & kSerialBits);
}

std::string ErrnoText() { return std::generic_category().message(errno); }

}  // namespace

CGpioPivlink::CGpioPivlink(gpio::GpioEntry entry, DeviceErrorSink errors)
    : m_entry(std::move(entry)),
      m_errors(errors ? std::move(errors) : DeviceErrorSink(ReportDeviceError)) {}

CGpioPivlink::~CGpioPivlink() = default;

std::unique_ptr<CGpioPivlink> CGpioPivlink::Open(const gpio::GpioEntry& entry,
                                                 std::string* reason, DeviceErrorSink errors) {
  std::unique_ptr<CGpioPivlink> lib(new CGpioPivlink(entry, std::move(errors)));
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

bool CGpioPivlink::Request() {
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
               why + "); the device " + DeviceName(0) + " is left out");
      return false;
    }
  }
  return true;
}

int CGpioPivlink::OpenArvendal() {
  if (!m_requested) m_requested = Request();
  return m_requested ? 1 : 0;
}

bool CGpioPivlink::Line(int device, int switchId, unsigned* offset) const {
  const int n = switchId - kFirstSwitchId;
  if (device != 0 || !m_requested || n < 0 || n >= static_cast<int>(m_lines.size())) return false;
  *offset = m_lines[static_cast<size_t>(n)];
  return true;
}

int CGpioPivlink::GetUSBType(int device) { return device == 0 && m_requested ? kTypeSwitch8 : 0; }

int CGpioPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  if (device != 0 || !m_requested) return kFailed;
  if (switchCount) *switchCount = static_cast<int>(m_lines.size());
  if (buttonAvailable) *buttonAvailable = 0;
  return kDone;
}

int CGpioPivlink::GetOnlineOnCount(int /*device*/) { return 0; }
int CGpioPivlink::IsAmpel(int device) { return device == 0 && m_entry.trafficLight ? 1 : 0; }
int CGpioPivlink::GetVersion(int device) { return device == 0 ? kVersion : 0; }
int CGpioPivlink::GetSerialNumber(int device) { return device == 0 ? m_serial : 0; }
int CGpioPivlink::IsCutter(int /*device*/) { return 0; }

int CGpioPivlink::GetSwitch(int device, int switchId) {
  unsigned line = 0;
  if (!Line(device, switchId, &line)) return kUnreachable;
  const int value = m_chip->Get(line);
  return value < 0 ? kUnreachable : value;
}

int CGpioPivlink::SetSwitch(int device, int switchId, int on) {
  unsigned line = 0;
  if (!Line(device, switchId, &line)) return kFailed;
  return m_chip->Set(line, on ? 1 : 0) ? kDone : kFailed;
}

int CGpioPivlink::GetMultiSwitch(int device, unsigned long* /*mask*/, unsigned long* value,
                                 int /*seq*/) {
  if (device != 0 || !m_requested || !value) return kUnreachable;
  unsigned long bits = 0;
  for (size_t n = 0; n < m_lines.size(); ++n) {
    const int v = m_chip->Get(m_lines[n]);
    if (v < 0) return kUnreachable;
    if (v > 0) bits |= 1ul << n;
  }
  *value = bits;
  return 0;
}

// The lines keep their levels while the program runs; at its end the kernel
// decides (most drivers keep the last level).
int CGpioPivlink::ResetDevice(int device) { return device == 0 ? kDone : kFailed; }

std::string CGpioPivlink::DeviceName(int device) {
  if (device != 0) return {};
  std::string name = m_chipName + "@";
  for (size_t i = 0; i < m_entry.lines.size(); ++i) name += (i ? "," : "") + m_entry.lines[i];
  return name;
}

namespace {

BackendInfo GpioBackend(const char* name, bool trafficLight) {
  BackendInfo info;
  info.name = name;
  info.open = [trafficLight](const std::string& argument,
                             std::string* reason) -> std::unique_ptr<CBackendPivlink> {
    gpio::GpioEntry entry;
    if (!gpio::ParseGpioEntry(argument, trafficLight, &entry, reason)) return nullptr;
    return CGpioPivlink::Open(entry, reason);
  };
  return info;
}

}  // namespace

void RegisterGpio(CDeviceRegistry& registry) {
  registry.Register(GpioBackend("gpio", false));
  registry.Register(GpioBackend("gpio-light", true));
}

}  // namespace toggra

#include "device/usbhub/UsbHubPivlink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace toggra {

namespace {

constexpr int kFirstSwitchId = 16;

}  // namespace

CUsbHubPivlink::CUsbHubPivlink(HubEntry entry, DeviceErrorSink errors, Options options)
    : m_entry(std::move(entry)), m_errors(std::move(errors)), m_options(std::move(options)) {}

CUsbHubPivlink::~CUsbHubPivlink() {
  Detach();
  m_context.reset();
}

void CUsbHubPivlink::Report(const std::string& message) {
  if (message == m_reported) return;
  m_reported = message;
  if (m_errors) m_errors("usbhub:" + m_entry.location + ": " + message);
}

void CUsbHubPivlink::Detach() {
  m_hub.reset();
  m_partner.reset();
}

bool CUsbHubPivlink::Attach(std::string* reason) {
  Detach();
  if (!m_context) m_context = std::make_unique<CUsbContext>();
  if (!m_context->Valid()) {
    *reason = "libusb cannot be initialised";
    return false;
  }
  // Once the pair is known, only its two halves are opened again.
  std::vector<std::string> pair{m_entry.location, m_partnerLocation};
  std::vector<std::unique_ptr<CUsbHub>> hubs =
      OpenHubs(*m_context, m_options.timeoutMs, m_partnerLocation.empty() ? nullptr : &pair);
  for (auto& hub : hubs)
    if (hub->Facts().location == m_entry.location) m_hub = std::move(hub);
  if (!m_hub) {
    *reason = "no hub at this location (or it cannot be opened)";
    return false;
  }
  const HubFacts& f = m_hub->Facts();
  for (auto& hub : hubs) {
    if (!hub || !f.containerId || hub->Facts().containerId != f.containerId ||
        hub->Facts().superSpeed == f.superSpeed)
      continue;
    m_partner = std::move(hub);
    m_partnerLocation = m_partner->Facts().location;
    break;
  }
  return true;
}

int CUsbHubPivlink::OpenArvendal() {
  m_found = false;
  m_ports.clear();
  std::string reason;
  if (!Attach(&reason)) {
    Report(reason);
    return 0;
  }
  const HubFacts& f = m_hub->Facts();
  // Cutting a port of a hub that cannot switch them one by one would cut them
  // all, or nothing: such hubs are never offered.
  if (!f.perPortPower) {
    Report("the hub has no per-port power switching");
    Detach();
    return 0;
  }
  if (m_entry.ports.empty()) {
    for (int p = 1; p <= f.ports; ++p) m_ports.push_back(p);
  } else {
    for (int p : m_entry.ports) {
      if (p <= f.ports)
        m_ports.push_back(p);
      else
        Report("port " + std::to_string(p) + " left out: the hub has " +
               std::to_string(f.ports) + " ports");
    }
  }
  if (m_ports.empty()) return 0;
  m_version = f.version;
  m_found = true;
  return 1;
}

int CUsbHubPivlink::GetUSBType(int device) { return Valid(device) ? kTypeSwitch8 : 0; }

int CUsbHubPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  if (!Valid(device)) return 0;
  if (switchCount) *switchCount = static_cast<int>(m_ports.size());
  if (buttonAvailable) *buttonAvailable = 0;
  return 1;
}

int CUsbHubPivlink::GetOnlineOnCount(int) { return 0; }
int CUsbHubPivlink::IsAmpel(int) { return 0; }
int CUsbHubPivlink::GetVersion(int device) { return Valid(device) ? m_version : 0; }

int CUsbHubPivlink::GetSerialNumber(int device) {
  return Valid(device) ? HubSerial(m_entry.location) : 0;
}

int CUsbHubPivlink::IsCutter(int) { return 0; }

int CUsbHubPivlink::PortOf(int switchId) const {
  const int channel = switchId - kFirstSwitchId;
  if (channel < 0 || channel >= static_cast<int>(m_ports.size())) return 0;
  return m_ports[static_cast<size_t>(channel)];
}

int CUsbHubPivlink::GetSwitch(int device, int switchId) {
  const int port = PortOf(switchId);
  if (!Valid(device) || port == 0) return -1;
  std::string reason;
  // A hub that went (unplugged, reset) is looked for again on each read, so
  // the column comes back as soon as the hub answers.
  if (!m_hub && !Attach(&reason)) return -1;
  bool on = false;
  switch (m_hub->PortPower(port, &on)) {
    case HubResult::kOk:
      return on ? 1 : 0;
    case HubResult::kGone:
      Detach();
      return -1;
    case HubResult::kFailed:
      return -1;
  }
  return -1;
}

void CUsbHubPivlink::WriteDisable(const std::string& location, int port, bool disabled) {
  // The kernel may power a port on again by itself; a port disabled through
  // sysfs stays off. Only root may write the attribute on most systems, so a
  // refusal leaves the hub request alone doing the work.
  const std::string path = m_options.sysfsRoot + "/bus/usb/devices/" + location + "/" + location +
                           ":1.0/" + location + "-port" + std::to_string(port) + "/disable";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  const char value = disabled ? '1' : '0';
  if (::write(fd, &value, 1) != 1) {
    // The hub request below still switches the port.
  }
  ::close(fd);
}

int CUsbHubPivlink::SetSwitch(int device, int switchId, int on) {
  const int port = PortOf(switchId);
  if (!Valid(device) || port == 0) return 0;
  std::string reason;
  if (!m_hub && !Attach(&reason)) return 0;
  const bool power = on != 0;
  bool ok = true;
  for (CUsbHub* hub : {m_hub.get(), m_partner.get()}) {
    if (!hub) continue;
    // Switched on: enabled first, so the power request is not undone;
    // switched off: the request first, so a refused attribute changes nothing.
    if (power) WriteDisable(hub->Facts().location, port, false);
    const HubResult r = hub->SetPortPower(port, power);
    if (!power && r == HubResult::kOk) WriteDisable(hub->Facts().location, port, true);
    if (r == HubResult::kGone) {
      Detach();
      return 0;
    }
    ok = ok && r == HubResult::kOk;
  }
  return ok ? 1 : 0;
}

int CUsbHubPivlink::GetMultiSwitch(int, unsigned long*, unsigned long*, int) { return -1; }

// The ports stay as they are: a user who ends the program expects the lamp
// or board on the hub to keep running.
int CUsbHubPivlink::ResetDevice(int device) { return Valid(device) ? 1 : 0; }

std::string CUsbHubPivlink::DeviceName(int device) {
  return Valid(device) ? m_entry.location : std::string();
}

std::string CUsbHubPivlink::ChannelName(int device, int channel) {
  if (!Valid(device) || channel < 0 || channel >= static_cast<int>(m_ports.size())) return {};
  return std::to_string(m_ports[static_cast<size_t>(channel)]);
}

void RegisterUsbHub(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "usbhub";
  info.open = [](const std::string& argument,
                 std::string* reason) -> std::unique_ptr<CBackendPivlink> {
    HubEntry entry;
    if (!ParseHubEntry(argument, &entry, reason)) return nullptr;
    return std::make_unique<CUsbHubPivlink>(std::move(entry), ReportDeviceError);
  };
  info.available = AvailableHubEntries;
  registry.Register(std::move(info));
}

}  // namespace toggra

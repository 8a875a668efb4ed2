#include "device/usbhub/UsbHubDriver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace toggra {

namespace {

constexpr const char* kNotThere = "no hub at this location";

}  // namespace

CUsbHubDriver::CUsbHubDriver(HubEntry entry, DeviceErrorSink errors, Options options)
    : m_entry(std::move(entry)), m_errors(std::move(errors)), m_options(std::move(options)) {}

CUsbHubDriver::~CUsbHubDriver() {
  Detach();
  m_context.reset();
}

void CUsbHubDriver::Report(const std::string& message) {
  if (message == m_reported) return;
  m_reported = message;
  if (m_errors) m_errors("usbhub:" + m_entry.location + ": " + message);
}

void CUsbHubDriver::Detach() {
  m_hub.reset();
  m_partner.reset();
}

bool CUsbHubDriver::Attach(std::string* reason) {
  Detach();
  if (!m_context) m_context = std::make_unique<CUsbContext>();
  if (!m_context->Valid()) {
    *reason = "libusb cannot be initialised";
    return false;
  }
  // Once the pair is known, only its two halves are opened again.
  std::vector<std::string> pair{m_entry.location, m_partnerLocation};
  std::vector<RefusedHub> refused;
  std::vector<std::unique_ptr<CUsbHub>> hubs =
      OpenHubs(*m_context, m_options.timeoutMs, m_partnerLocation.empty() ? nullptr : &pair,
               &refused, IsRootLocation(m_entry.location));
  for (auto& hub : hubs)
    if (hub->Facts().location == m_entry.location) m_hub = std::move(hub);
  if (!m_hub) {
    *reason = kNotThere;
    for (const RefusedHub& r : refused)
      if (r.location == m_entry.location) *reason = r.reason;
    return false;
  }
  std::vector<HubFacts> all;
  for (const auto& hub : hubs) all.push_back(hub ? hub->Facts() : HubFacts{});
  const std::vector<size_t> candidates = PartnerCandidates(m_hub->Facts(), all);
  if (candidates.size() == 1) {
    m_partner = std::move(hubs[candidates[0]]);
    m_partnerLocation = m_partner->Facts().location;
  } else if (candidates.size() > 1) {
    Report(UnpairedText(all, candidates));
  } else if (const std::string unopened = UnopenedHalfText(m_hub->Facts(), refused);
             !unopened.empty()) {
    Report(unopened);
  }
  return true;
}

std::vector<DriverDevice> CUsbHubDriver::Enumerate() {
  m_channels.clear();
  std::string reason;
  if (!Attach(&reason)) {
    Report(reason);
    return {};
  }
  const HubFacts& f = m_hub->Facts();
  if (m_entry.ganged) {
    // Named so on purpose: every port at once, one channel.
    std::vector<int> all;
    for (int p = 1; p <= f.ports; ++p) all.push_back(p);
    if (!all.empty()) m_channels.push_back(all);
  } else if (!f.perPortPower) {
    // Cutting a port of a hub that cannot switch them one by one would cut
    // them all, or nothing: only offered when named with ":ganged".
    Report("the hub has no per-port power switching (it switches all ports together; "
           "usbhub:" + m_entry.location + ":ganged switches them as one channel)");
    Detach();
    return {};
  }
  if (!m_entry.ganged && m_entry.ports.empty())
    for (int p = 1; p <= f.ports; ++p) m_channels.push_back({p});
  for (int p : m_entry.ports) {
    if (p <= f.ports)
      m_channels.push_back({p});
    else
      Report("port " + std::to_string(p) + " left out: the hub has " + std::to_string(f.ports) +
             " ports");
  }
  if (m_channels.empty()) return {};
  DriverDevice device;
  device.name = m_entry.location;
  if (m_entry.ganged)
    device.channels.push_back("ganged");
  else
    for (const auto& ports : m_channels) device.channels.push_back(std::to_string(ports[0]));
  device.version = f.version;
  device.serial = HubSerial(m_entry.location);
  // The USB ids: hubs rarely carry strings worth more.
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", f.vendor & 0xffff, f.product & 0xffff);
  device.model = ids;
  return {device};
}

bool CUsbHubDriver::Read(int /*device*/, DriverReading* reading, std::string* error) {
  // A hub that went (unplugged, reset) is looked for again on each read, so
  // its channels come back as soon as it answers.
  if (!m_hub && !Attach(error)) return false;
  reading->on = 0;
  // A channel is on when any of its ports has power, through either half: a
  // device may be powered again through the other half.
  for (size_t c = 0; c < m_channels.size(); ++c) {
    for (CUsbHub* hub : {m_hub.get(), m_partner.get()}) {
      if (!hub) continue;
      for (int port : m_channels[c]) {
        bool on = false;
        switch (hub->PortPower(port, &on)) {
          case HubResult::kOk:
            if (on) reading->on |= 1u << c;
            break;
          case HubResult::kGone:
            *error = hub == m_hub.get() ? "the hub is gone" : "the hub's other half is gone";
            Detach();
            return false;
          case HubResult::kFailed:
            *error = "the hub does not answer";
            return false;
        }
      }
    }
  }
  return true;
}

void CUsbHubDriver::WriteDisable(const std::string& location, int port, bool disabled) {
  // The kernel powers a port on again after its device disconnects; a port
  // disabled through sysfs stays off. Absent on older kernels.
  // A root hub's interface is "1-0:1.0" (usb1), another hub's "1-1:1.0".
  const std::string iface =
      IsRootLocation(location) ? location.substr(3) + "-0:1.0" : location + ":1.0";
  const std::string path = m_options.sysfsRoot + "/bus/usb/devices/" + location + "/" + iface +
                           "/" + location + "-port" + std::to_string(port) + "/disable";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  if (fd >= 0) {
    const char value = disabled ? '1' : '0';
    if (::write(fd, &value, 1) != 1) error = errno;
    ::close(fd);
  }
  if (error == 0 || error == ENOENT || m_disableRefused) return;
  m_disableRefused = true;
  if (m_errors)
    m_errors("usbhub:" + m_entry.location + ": cannot write " + path + ": " +
             std::strerror(error) +
             "; the kernel may power the port on again. Fix: install the udev rule "
             "70-toggra-usbhub.rules and join the group toggra (sudo usermod -aG toggra USER)");
}

bool CUsbHubDriver::Write(int /*device*/, int channel, bool on, std::string* error) {
  if (channel < 0 || channel >= static_cast<int>(m_channels.size())) return false;
  if (!m_hub && !Attach(error)) return false;
  bool ok = true;
  for (int port : m_channels[static_cast<size_t>(channel)]) {
    for (CUsbHub* hub : {m_hub.get(), m_partner.get()}) {
      if (!hub) continue;
      // The attribute first, so that the kernel does not undo the request
      // (switched off) or refuse it for a disabled port (switched on).
      WriteDisable(hub->Facts().location, port, !on);
      const HubResult r = hub->SetPortPower(port, on);
      if (r == HubResult::kGone) {
        Detach();
        *error = "the hub is gone";
        return false;
      }
      ok = ok && r == HubResult::kOk;
    }
  }
  if (!ok) *error = "the hub refused the request";
  return ok;
}

// The ports stay as they are at the end (IDriver::Reset): a user who ends the
// program expects the lamp or board on the hub to keep running.

void RegisterUsbHub(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "usbhub";
  info.driver = [](const std::string& argument, std::string* reason) -> std::unique_ptr<IDriver> {
    HubEntry entry;
    if (!ParseHubEntry(argument, &entry, reason)) return nullptr;
    return std::make_unique<CUsbHubDriver>(std::move(entry), ReportDeviceError);
  };
  info.available = AvailableHubEntries;
  registry.Register(std::move(info));
}

}  // namespace toggra

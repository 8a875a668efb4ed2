#include "device/usbhub/HubEmulator.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <filesystem>

namespace toggra::test {

namespace {

constexpr size_t kSetupLength = 8;
constexpr uint16_t kPortPowerBit = 1u << 8;
constexpr uint16_t kSuperSpeedPortPowerBit = 1u << 9;
constexpr uint16_t kPortConnectionBit = 1u << 0;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint8_t Lo(int v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t Hi(int v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[3];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X", v);
    s += b;
  }
  return s;
}

}  // namespace

HubEmulator::HubEmulator(UmockdevTestbed& bed, HubLayout layout)
    : m_bed(bed),
      m_layout(std::move(layout)),
      m_power(static_cast<size_t>(m_layout.ports), true),
      m_statusRequests(static_cast<size_t>(m_layout.ports), 0) {
  if (!m_bed.AddFromString(Record(), &m_error)) return;
  m_ok = m_bed.AttachIoctl(DevNode(), [this](IoctlCall& call) { return Serve(call); }, &m_error);
}

HubEmulator::~HubEmulator() { m_bed.DetachIoctl(DevNode()); }

std::string HubEmulator::SysPath() const {
  // A hub behind another hub lies below it: usb1/1-1/1-1.4.
  std::string path = "/sys/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(m_layout.bus);
  if (Root()) return path;
  for (size_t dot = m_layout.location.find('.'); dot != std::string::npos;
       dot = m_layout.location.find('.', dot + 1))
    path += "/" + m_layout.location.substr(0, dot);
  return path + "/" + m_layout.location;
}

bool HubEmulator::Root() const { return m_layout.location.rfind("usb", 0) == 0; }

std::string HubEmulator::PortDir(int port) const {
  // A root hub's interface is 1-0:1.0 and its ports usb1-portN.
  const std::string iface =
      Root() ? std::to_string(m_layout.bus) + "-0:1.0" : m_layout.location + ":1.0";
  return iface + "/" + m_layout.location + "-port" + std::to_string(port);
}

std::string HubEmulator::DevNode() const {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", m_layout.bus, m_layout.devnum);
  return node;
}

std::vector<uint8_t> HubEmulator::DeviceDescriptor() const {
  const int bcdUsb = m_layout.superSpeed ? 0x0300 : 0x0210;
  return {18, 1, Lo(bcdUsb), Hi(bcdUsb), 9, 0, static_cast<uint8_t>(m_layout.superSpeed ? 3 : 1),
          static_cast<uint8_t>(m_layout.superSpeed ? 9 : 64), 0x34, 0x12,
          static_cast<uint8_t>(m_layout.superSpeed ? 0x11 : 0x10), 0x56, Lo(m_layout.version),
          Hi(m_layout.version), 0, 0, 0, 1};
}

std::vector<uint8_t> HubEmulator::ConfigDescriptor() const {
  return {9, 2, 25, 0, 1, 1, 0, 0xE0, 0,     // configuration
          9, 4, 0, 0, 1, 9, 0, 0, 0,         // the hub interface
          7, 5, 0x81, 3, 1, 0, 12};          // its status change endpoint
}

std::vector<uint8_t> HubEmulator::HubDescriptor() const {
  // wHubCharacteristics bits 0-1: 01 individual port power, 00 ganged.
  const uint8_t characteristics = m_layout.perPortPower ? 0x01 : 0x00;
  const auto ports = static_cast<uint8_t>(m_layout.ports);
  if (m_layout.superSpeed) return {12, 0x2A, ports, characteristics, 0, 50, 0, 0, 0, 0, 0, 0};
  return {9, 0x29, ports, characteristics, 0, 50, 100, 0, 0xFF};
}

std::vector<uint8_t> HubEmulator::Bos() const {
  std::vector<uint8_t> bos{5, 0x0F, 25, 0, 1, 20, 0x10, 4, 0};
  for (uint8_t b : *m_layout.containerId) bos.push_back(b);
  return bos;
}

std::string HubEmulator::Record() const {
  const std::string descriptors = Hex(DeviceDescriptor()) + Hex(ConfigDescriptor());
  char bus[4], dev[4];
  std::snprintf(bus, sizeof bus, "%03d", m_layout.bus);
  std::snprintf(dev, sizeof dev, "%03d", m_layout.devnum);
  const std::string minor = std::to_string((m_layout.bus - 1) * 128 + m_layout.devnum - 1);
  std::string r = "P: " + SysPath().substr(4) + "\n" + "N: bus/usb/" + bus + "/" + dev + "=" + descriptors +
                  "\n" + "E: DEVNAME=/dev/bus/usb/" + bus + "/" + dev + "\n" +
                  "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n" + "E: BUSNUM=" + bus +
                  "\nE: DEVNUM=" + dev + "\nE: MAJOR=189\nE: MINOR=" + minor + "\n" +
                  "A: busnum=" + std::to_string(m_layout.bus) + "\\n\n" +
                  "A: devnum=" + std::to_string(m_layout.devnum) + "\\n\n" +
                  "A: speed=" + (m_layout.superSpeed ? "5000" : "480") + "\\n\n" +
                  "A: bDeviceClass=09\\n\nA: idVendor=1234\\n\n" + "A: idProduct=" +
                  (m_layout.superSpeed ? "5611" : "5610") + "\\n\nA: bConfigurationValue=1\\n\n" +
                  "A: bNumConfigurations=1\\n\nA: dev=189:" + minor + "\\n\n" +
                  "H: descriptors=" + descriptors + "\n";
  for (int p = 1; p <= m_layout.ports; ++p)
    r += "A: " + PortDir(p) + "/disable=0\\n\n";
  return r;
}

bool HubEmulator::PortPower(int port) const {
  std::lock_guard lock(m_mutex);
  return port >= 1 && port <= m_layout.ports && m_power[static_cast<size_t>(port - 1)];
}

void HubEmulator::SetPortPower(int port, bool on) {
  std::lock_guard lock(m_mutex);
  if (port >= 1 && port <= m_layout.ports) m_power[static_cast<size_t>(port - 1)] = on;
}

void HubEmulator::InjectFault(HubFault fault) {
  std::lock_guard lock(m_mutex);
  m_fault = fault;
}

int HubEmulator::PowerRequests() const {
  std::lock_guard lock(m_mutex);
  return m_powerRequests;
}

void HubEmulator::RefuseOpen() {
  // As with RefuseDisable: a directory, which not even root opens for writing.
  const std::string path = m_bed.RootDir() + DevNode();
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
}

void HubEmulator::RefuseDisable(int port) {
  // A directory in its place: opening it for writing fails, even for root.
  const std::string path = m_bed.RootDir() + SysPath() + "/" + PortDir(port) + "/disable";
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
}

std::vector<std::string> HubEmulator::DisableAtPowerOff() const {
  std::lock_guard lock(m_mutex);
  return m_disableAtPowerOff;
}

int HubEmulator::StatusRequests(int port) const {
  std::lock_guard lock(m_mutex);
  return port >= 1 && port <= m_layout.ports ? m_statusRequests[static_cast<size_t>(port - 1)] : 0;
}

std::string HubEmulator::DisableAttribute(int port) const {
  std::string value = m_bed.ReadAttribute(SysPath(), PortDir(port) + "/disable");
  while (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

// Called with the lock held.
HubEmulator::Reply HubEmulator::Answer(const uint8_t* setup) {
  const uint8_t type = setup[0], request = setup[1];
  const uint16_t value = Word(setup + 2), index = Word(setup + 4);
  const int port = index;
  const bool portValid = port >= 1 && port <= m_layout.ports;
  if (type == 0x80 && request == 6) {  // standard GET_DESCRIPTOR
    if (value == 0x0100) return {false, DeviceDescriptor()};
    if (value == 0x0200) return {false, ConfigDescriptor()};
    if (value == 0x0F00 && m_layout.containerId) return {false, Bos()};
    return {true, {}};
  }
  if (type == 0xA0 && request == 6) {  // hub descriptor
    const uint16_t wanted = m_layout.superSpeed ? 0x2A00 : 0x2900;
    if (value != wanted) return {true, {}};
    return {false, HubDescriptor()};
  }
  if (type == 0xA3 && request == 0 && portValid) {  // port status
    ++m_statusRequests[static_cast<size_t>(port - 1)];
    uint16_t status = kPortConnectionBit;
    if (m_power[static_cast<size_t>(port - 1)])
      status |= m_layout.superSpeed ? kSuperSpeedPortPowerBit : kPortPowerBit;
    return {false, {Lo(status), Hi(status), 0, 0}};
  }
  if (type == 0x23 && (request == 1 || request == 3) && value == 8 && portValid) {
    ++m_powerRequests;
    const bool on = request == 3;
    if (!on) m_disableAtPowerOff.push_back(DisableAttribute(port));
    if (on || !m_layout.ignoresPowerOff) m_power[static_cast<size_t>(port - 1)] = on;
    return {false, {}};
  }
  return {true, {}};
}

bool HubEmulator::Serve(IoctlCall& call) {
  std::lock_guard lock(m_mutex);
  const unsigned long request = call.Request();
  if (m_fault == HubFault::kGone) {
    call.Complete(-1, ENODEV);
    return true;
  }
  if (request == USBDEVFS_SUBMITURB) {
    IoctlMemory urb = call.Argument(sizeof(usbdevfs_urb));
    const int length = urb.ReadI32(offsetof(usbdevfs_urb, buffer_length));
    if (length < static_cast<int>(kSetupLength)) {
      call.Complete(-1, EINVAL);
      return true;
    }
    IoctlMemory buffer = urb.Resolve(offsetof(usbdevfs_urb, buffer), static_cast<size_t>(length));
    const std::vector<uint8_t> setup = buffer.Read(0, kSetupLength);
    if (setup.size() != kSetupLength) {
      call.Complete(-1, EFAULT);
      return true;
    }
    if (m_fault == HubFault::kTimeout) {
      m_pending.push_back(urb.ClientAddress());
      call.Complete(0);
      return true;
    }
    Reply reply = m_fault == HubFault::kStall ? Reply{true, {}} : Answer(setup.data());
    const size_t room = static_cast<size_t>(length) - kSetupLength;
    const size_t wanted = std::min<size_t>(Word(setup.data() + 6), room);
    if (reply.data.size() > wanted) reply.data.resize(wanted);
    if (!reply.data.empty()) buffer.Write(kSetupLength, reply.data);
    urb.WriteI32(offsetof(usbdevfs_urb, status), reply.stall ? -EPIPE : 0);
    urb.WriteI32(offsetof(usbdevfs_urb, actual_length), static_cast<int32_t>(reply.data.size()));
    m_done.push_back(urb.ClientAddress());
    call.Complete(0);
    return true;
  }
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    if (m_done.empty()) {
      call.Complete(-1, EAGAIN);
      return true;
    }
    IoctlMemory out = call.Argument(sizeof(void*));
    out.WritePointer(0, m_done.front());
    m_done.pop_front();
    call.Complete(0);
    return true;
  }
  if (request == USBDEVFS_DISCARDURB) {
    const uint64_t address = call.ArgumentValue();
    auto it = std::find(m_pending.begin(), m_pending.end(), address);
    if (it == m_pending.end()) {
      call.Complete(-1, EINVAL);
      return true;
    }
    m_pending.erase(it);
    // A discarded urb is still reaped, with -ENOENT.
    IoctlMemory urb = call.Argument(sizeof(usbdevfs_urb));
    urb.WriteI32(offsetof(usbdevfs_urb, status), -ENOENT);
    urb.WriteI32(offsetof(usbdevfs_urb, actual_length), 0);
    call.Complete(0);
    m_done.push_back(address);
    return true;
  }
  if (request == USBDEVFS_GET_CAPABILITIES) {
    IoctlMemory caps = call.Argument(sizeof(uint32_t));
    caps.WriteI32(0, 0);
    call.Complete(0);
    return true;
  }
  call.Complete(0);  // claim, release, and the like
  return true;
}

}  // namespace toggra::test

// A USB HID relay board on an emulated hidraw node: the sysfs chain that
// hidapi walks (hidraw node with its `device` link, hid device, USB interface,
// USB device) and a
// stateful answer to the feature-report ioctls, with the relay mask kept here.
#pragma once

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "support/umockdev/Testbed.h"

namespace toggra::test {

class RelayBoardEmulator {
 public:
  struct Options {
    std::string id = "ABCDE";
    std::string product = "USBRelay2";
    int relays = 2;
    int hidraw = 0;              // /dev/hidrawN
    std::string port = "1";      // the USB location is 1-PORT
    // A node the user may not open. The tests run as root, whom file modes do
    // not stop, so the node refuses hidapi's first request with EACCES.
    bool noPermission = false;
    // A clone (0519:2018 or 5131:2007): switched by output reports written
    // to the node; `serial` is its USB serial string.
    unsigned short vendor = 0x16c0, productId = 0x05df;
    std::string serial = "";
  };

  RelayBoardEmulator(UmockdevTestbed& bed, Options options)
      : m_bed(bed), m_options(std::move(options)) {}

  std::string Node() const { return "/dev/hidraw" + std::to_string(m_options.hidraw); }
  std::string Location() const { return "1-" + m_options.port; }
  std::string UsbPath() const {
    return "/devices/pci0000:00/0000:00:14.0/usb1/" + Location();
  }

  // Adds the board's devices and attaches the handler to its node.
  bool Plug(std::string* error) {
    if (!m_bed.AddFromString(Description(), error)) return false;
    if (!m_bed.AttachIoctl(Node(), [this](IoctlCall& call) { return Serve(call); }, error,
                           Clone()))
      return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_live = Node();
    return true;
  }
  // The board goes away: its devices leave sysfs and a node still open fails.
  // It comes back (Plug) in the same socket under the next hidraw number, as
  // the kernel numbers it when the old node is still held open.
  void Unplug() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_live.clear();
    }
    // Child first: each removal takes only its own device's bus and class links.
    for (const std::string& path : Chain()) m_bed.RemoveDevice("/sys" + path);
    m_options.hidraw += kRenumber;
  }

  unsigned Mask() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mask;
  }
  void SetMask(unsigned mask) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mask = mask;
  }
  // Every output report written to a clone, bytes as written (report id first).
  std::vector<std::vector<uint8_t>> Written() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
  }
  // Every ioctl the node received, by request number.
  std::vector<unsigned long> Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }

 private:
  static constexpr unsigned char kOn = 0xFF, kOff = 0xFD, kAllOn = 0xFE, kAllOff = 0xFC;
  static constexpr size_t kReport = 9;
  static constexpr int kRenumber = 10;

  // The hidraw node, the hid device, the USB interface and the USB device.
  std::vector<std::string> Chain() const {
    const std::string usb = UsbPath();
    const std::string iface = usb + "/" + Location() + ":1.0";
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "/0003:%04X:%04X.%04X", m_options.vendor,
                  m_options.productId, m_options.hidraw + 1);
    const std::string hid = iface + hidName;
    return {hid + "/hidraw/hidraw" + std::to_string(m_options.hidraw), hid, iface, usb};
  }

  std::string Description() const {
    const std::vector<std::string> chain = Chain();
    const std::string& usb = chain[3];
    const std::string& iface = chain[2];
    const std::string& hid = chain[1];
    const std::string n = std::to_string(m_options.hidraw);
    char hidId[40], vendor[8], product[8];
    std::snprintf(hidId, sizeof hidId, "0003:0000%04X:0000%04X", m_options.vendor,
                  m_options.productId);
    std::snprintf(vendor, sizeof vendor, "%04x", m_options.vendor);
    std::snprintf(product, sizeof product, "%04x", m_options.productId);
    return "P: " + chain[0] + "\nN: hidraw" + n +
           "\nE: DEVNAME=/dev/hidraw" + n + "\nE: SUBSYSTEM=hidraw\nE: MAJOR=243\nE: MINOR=" + n +
           "\nA: dev=243:" + n + "\\n\nL: device=../..\n\n"
           "P: " + hid + "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n"
           "E: HID_ID=" + hidId + "\nE: HID_NAME=" + m_options.product +
           "\nE: HID_UNIQ=" + m_options.serial + "\nH: report_descriptor=" + kDescriptorHex + "\n\n"
           "P: " + iface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
           "A: bInterfaceNumber=00\\n\nA: bInterfaceClass=03\\n\n\n"
           "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\n"
           "E: DEVNUM=" + std::to_string(m_options.hidraw + 2) +
           "\nA: idVendor=" + vendor + "\\n\nA: idProduct=" + product +
           "\\n\nA: bcdDevice=0100\\n\n"
           "A: busnum=1\\n\nA: devnum=" + std::to_string(m_options.hidraw + 2) + "\\n\n" +
           (m_options.product.empty() ? "" : "A: product=" + m_options.product + "\\n\n") + "\n";
  }

  bool Serve(IoctlCall& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const unsigned long request = call.Request();
    m_requests.push_back(request);
    if (call.DeviceNode() != m_live) {
      call.Complete(-1, ENODEV);
      return true;
    }
    const size_t size = _IOC_SIZE(request);
    if (call.CallKind() == IoctlCall::Kind::kWrite && !m_options.noPermission) {
      const IoctlMemory data = call.Data();
      const std::vector<uint8_t> bytes = data.Read(0, data.Size());
      m_written.push_back(bytes);
      ApplyClone(bytes);
      call.Complete(static_cast<long>(bytes.size()));
    } else if (call.CallKind() == IoctlCall::Kind::kRead) {
      call.Complete(-1, EAGAIN);
    } else if (m_options.noPermission) {
      call.Complete(-1, EACCES);
    } else if (request == HIDIOCGRDESCSIZE) {
      IoctlMemory arg = call.Argument(sizeof(int));
      arg.WriteI32(0, static_cast<int32_t>(sizeof kDescriptor));
      call.Complete(0);
    } else if (request == HIDIOCGRDESC) {
      IoctlMemory arg = call.Argument(sizeof(hidraw_report_descriptor));
      arg.WriteI32(0, static_cast<int32_t>(sizeof kDescriptor));
      arg.Write(sizeof(uint32_t),
                std::vector<uint8_t>(std::begin(kDescriptor), std::end(kDescriptor)));
      call.Complete(0);
    } else if (request == HIDIOCGFEATURE(size) && size >= kReport) {
      IoctlMemory arg = call.Argument(size);
      std::vector<uint8_t> report(kReport, 0);
      report[0] = arg.Read(0, 1).at(0);
      for (size_t i = 0; i < 5 && i < m_options.id.size(); ++i)
        report[1 + i] = static_cast<uint8_t>(m_options.id[i]);
      report[8] = static_cast<uint8_t>(m_mask);
      arg.Write(0, report);
      call.Complete(static_cast<long>(kReport));
    } else if (request == HIDIOCSFEATURE(size) && size >= 3) {
      const std::vector<uint8_t> report = call.Argument(size).Read(0, size);
      Apply(report[1], report[2]);
      call.Complete(static_cast<long>(size));
    } else {
      call.Complete(-1, EINVAL);
    }
    return true;
  }

  bool Clone() const { return m_options.vendor != 0x16c0; }

  // 0519:2018: [0, 0xF0+n] on, [0, n] off. 5131:2007: [0, A0, n, op, sum].
  // Anything else leaves the relays as they are.
  void ApplyClone(const std::vector<uint8_t>& b) {
    int relay = 0;
    bool on = false;
    if (m_options.vendor == 0x0519 && b.size() == 2 && b[0] == 0) {
      relay = b[1] & 0x0F;
      on = (b[1] & 0xF0) == 0xF0;
      if ((b[1] & 0xF0) != 0xF0 && (b[1] & 0xF0) != 0) relay = 0;
    } else if (m_options.vendor == 0x5131 && b.size() == 5 && b[0] == 0 && b[1] == 0xA0 &&
               b[3] <= 1 && b[4] == static_cast<uint8_t>(0xA0 + b[2] + b[3])) {
      relay = b[2];
      on = b[3] == 1;
    }
    if (relay < 1 || relay > m_options.relays) return;
    if (on)
      m_mask |= 1u << (relay - 1);
    else
      m_mask &= ~(1u << (relay - 1));
  }

  void Apply(unsigned char command, unsigned char relay) {
    const unsigned all = (1u << m_options.relays) - 1u;
    const bool one = relay >= 1 && relay <= m_options.relays;
    if (command == kOn && one) m_mask |= 1u << (relay - 1);
    if (command == kOff && one) m_mask &= ~(1u << (relay - 1));
    if (command == kAllOn) m_mask = all;
    if (command == kAllOff) m_mask = 0;
  }

  // Vendor page, eight feature bytes.
  static constexpr uint8_t kDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15,
                                            0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x08,
                                            0x09, 0x00, 0xB2, 0x02, 0x01, 0xC0};
  static constexpr const char* kDescriptorHex = "0600FF0901A101150026FF0075089508" "0900B20201C0";

  UmockdevTestbed& m_bed;
  Options m_options;
  mutable std::mutex m_mutex;
  std::string m_live;  // the node of the board while it is plugged in
  unsigned m_mask = 0;
  std::vector<unsigned long> m_requests;
  std::vector<std::vector<uint8_t>> m_written;
};

}  // namespace toggra::test

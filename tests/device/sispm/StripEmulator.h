// A USB power strip on an emulated hidraw node: the sysfs chain hidapi walks
// (hidraw node, hid device, USB interface, USB device) and a stateful answer
// to the feature-report ioctls: report 1 the serial, report 3n outlet n.
#pragma once

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "support/umockdev/Testbed.h"

namespace toggra::test {

enum class StripFault {
  kNone,
  kGarbage,  // outlet reports answer for another report id
  kSilent,   // outlet reports fail as a device that does not answer (ETIMEDOUT)
};

class StripEmulator {
 public:
  struct Options {
    std::array<uint8_t, 5> serial{0x01, 0xa2, 0xb3, 0xc4, 0xd5};
    unsigned short product = 0xfd13;
    int outlets = 4;
    int hidraw = 0;
    std::string port = "1";
    bool noPermission = false;  // hidapi's first request fails with EACCES
  };

  StripEmulator(UmockdevTestbed& bed, Options options) : m_bed(bed), m_options(options) {}

  std::string Node() const { return "/dev/hidraw" + std::to_string(m_options.hidraw); }

  bool Plug(std::string* error) {
    if (!m_bed.AddFromString(Description(), error)) return false;
    if (!m_bed.AttachIoctl(Node(), [this](IoctlCall& call) { return Serve(call); }, error))
      return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_live = Node();
    return true;
  }
  // The strip goes away; plugged in again it gets the next hidraw number.
  void Unplug() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_live.clear();
    }
    for (const std::string& path : Chain()) m_bed.RemoveDevice("/sys" + path);
    m_options.hidraw += 10;
  }

  unsigned Mask() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mask;
  }
  void SetMask(unsigned mask) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mask = mask;
  }
  void SetFault(StripFault fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
  }
  // The next `count` outlet reports come back one byte short.
  void ShortAnswers(int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_short = count;
  }
  // Every feature report the strip was sent, bytes as written.
  std::vector<std::vector<uint8_t>> Sent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
  }

 private:
  std::vector<std::string> Chain() const {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + m_options.port;
    const std::string iface = usb + "/1-" + m_options.port + ":1.0";
    char hid[32];
    std::snprintf(hid, sizeof hid, "/0003:04B4:%04X.%04X", m_options.product, m_options.hidraw + 1);
    return {iface + hid + "/hidraw/hidraw" + std::to_string(m_options.hidraw), iface + hid, iface,
            usb};
  }

  std::string Description() const {
    const std::vector<std::string> chain = Chain();
    const std::string n = std::to_string(m_options.hidraw);
    char product[8], hidId[40];
    std::snprintf(product, sizeof product, "%04x", m_options.product);
    std::snprintf(hidId, sizeof hidId, "0003:000004B4:0000%04X", m_options.product);
    return "P: " + chain[0] + "\nN: hidraw" + n + "\nE: DEVNAME=/dev/hidraw" + n +
           "\nE: SUBSYSTEM=hidraw\nE: MAJOR=243\nE: MINOR=" + n + "\nA: dev=243:" + n +
           "\\n\nL: device=../..\n\n"
           "P: " + chain[1] + "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: HID_ID=" + hidId +
           "\nE: HID_NAME=Power Strip\nE: HID_UNIQ=\nH: report_descriptor=" + kDescriptorHex +
           "\n\n"
           "P: " + chain[2] + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
           "A: bInterfaceNumber=00\\n\nA: bInterfaceClass=03\\n\n\n"
           "P: " + chain[3] + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\n"
           "E: DEVNUM=" + std::to_string(m_options.hidraw + 2) +
           "\nA: idVendor=04b4\\n\nA: idProduct=" + product +
           "\\n\nA: bcdDevice=0100\\n\nA: busnum=1\\n\nA: devnum=" +
           std::to_string(m_options.hidraw + 2) + "\\n\nA: product=Power Strip\\n\n\n";
  }

  bool Serve(IoctlCall& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const unsigned long request = call.Request();
    const size_t size = _IOC_SIZE(request);
    if (call.DeviceNode() != m_live) {
      call.Complete(-1, ENODEV);
    } else if (m_options.noPermission) {
      call.Complete(-1, EACCES);
    } else if (request == HIDIOCGRDESCSIZE) {
      call.Argument(sizeof(int)).WriteI32(0, static_cast<int32_t>(sizeof kDescriptor));
      call.Complete(0);
    } else if (request == HIDIOCGRDESC) {
      IoctlMemory arg = call.Argument(sizeof(hidraw_report_descriptor));
      arg.WriteI32(0, static_cast<int32_t>(sizeof kDescriptor));
      arg.Write(sizeof(uint32_t), std::vector<uint8_t>(std::begin(kDescriptor), std::end(kDescriptor)));
      call.Complete(0);
    } else if (request == HIDIOCGFEATURE(size) && size >= 1) {
      IoctlMemory arg = call.Argument(size);
      const uint8_t id = arg.Read(0, 1).at(0);
      const int outlet = id % 3 == 0 ? id / 3 : 0;
      std::vector<uint8_t> answer;
      if (id == 1) {
        answer.assign(m_options.serial.begin(), m_options.serial.end());
      } else if (outlet >= 1 && outlet <= m_options.outlets) {
        if (m_fault == StripFault::kSilent) {
          call.Complete(-1, ETIMEDOUT);
          return true;
        }
        const bool on = (m_mask >> (outlet - 1)) & 1u;
        answer = {m_fault == StripFault::kGarbage ? uint8_t{0x42} : id,
                  static_cast<uint8_t>(0x02 | (on ? 0x01 : 0x00))};
        if (m_short > 0) {
          --m_short;
          answer.resize(1);
        }
      } else {
        call.Complete(-1, EPIPE);
        return true;
      }
      if (answer.size() > size) answer.resize(size);
      arg.Write(0, answer);
      call.Complete(static_cast<long>(answer.size()));
    } else if (request == HIDIOCSFEATURE(size) && size >= 2) {
      const std::vector<uint8_t> report = call.Argument(size).Read(0, size);
      m_sent.push_back(report);
      const int outlet = report[0] % 3 == 0 ? report[0] / 3 : 0;
      if (outlet < 1 || outlet > m_options.outlets) {
        call.Complete(-1, EPIPE);
        return true;
      }
      if (report[1] & 0x01)
        m_mask |= 1u << (outlet - 1);
      else
        m_mask &= ~(1u << (outlet - 1));
      call.Complete(static_cast<long>(size));
    } else {
      call.Complete(-1, EINVAL);
    }
    return true;
  }

  // Vendor page, feature reports 1, 3, 6, 9 and 12.
  static constexpr uint8_t kDescriptor[] = {
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
      0x85, 0x01, 0x95, 0x04, 0x09, 0x01, 0xB1, 0x02, 0x85, 0x03, 0x95, 0x01, 0x09, 0x03,
      0xB1, 0x02, 0xC0};
  static constexpr const char* kDescriptorHex =
      "0600FF0901A101150026FF00750885019504" "0901B1028503950109" "03B102C0";

  UmockdevTestbed& m_bed;
  Options m_options;
  mutable std::mutex m_mutex;
  std::string m_live;
  unsigned m_mask = 0;
  StripFault m_fault = StripFault::kNone;
  int m_short = 0;
  std::vector<std::vector<uint8_t>> m_sent;
};

}  // namespace toggra::test

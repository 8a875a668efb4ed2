// An FT245R relay board (0403:6001) on an emulated usbfs node: the vendor
// control requests libftdi sends on endpoint 0 (reset, baud rate, bit mode,
// read pins), string descriptors for its serial, and the pin bytes that come
// out on bulk endpoint 0x02. Entering bit-bang mode drives the output pins
// low, as the worst real chip would. Lives on the test bed's handler thread;
// all state is locked.
#pragma once

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "support/umockdev/Testbed.h"

namespace toggra::test {

enum class FtdiFault {
  kNone,
  kGone,     // unplugged: every ioctl ends with ENODEV
  kGarbage,  // reading the pins answers no byte
  kSilent,   // requests are never completed; libusb gives up and discards them
};

class FtdiEmulator {
 public:
  struct Options {
    std::string serial = "A50285BI";  // empty: the board has no serial string
    int devnum = 5;
    int port = 3;  // the location is 1-PORT
    unsigned char pins = 0;
  };

  FtdiEmulator(UmockdevTestbed& bed, Options options) : m_bed(bed), m_options(options) {
    m_pins = options.pins;
  }
  ~FtdiEmulator() { m_bed.DetachIoctl(Node()); }

  bool Plug(std::string* error) {
    if (!m_bed.AddFromString(Record(), error)) return false;
    return m_bed.AttachIoctl(Node(), [this](IoctlCall& call) { return Serve(call); }, error);
  }
  // The board goes away: its device leaves sysfs and every request on a
  // node still open fails. It comes back (Replug) in the same socket.
  void Unplug() {
    InjectFault(FtdiFault::kGone);
    m_bed.RemoveDevice("/sys" + SysPath());
  }
  bool Replug(std::string* error) {
    m_bed.DetachIoctl(Node());
    InjectFault(FtdiFault::kNone);
    return Plug(error);
  }
  // Opening the node fails (a directory in its place, which stops root too).
  void RefuseOpen() {
    const std::string path = m_bed.RootDir() + Node();
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
  }

  std::string Node() const {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", m_options.devnum);
    return node;
  }
  unsigned char Pins() const {
    std::lock_guard lock(m_mutex);
    return m_pins;
  }
  void SetPins(unsigned char pins) {
    std::lock_guard lock(m_mutex);
    m_pins = pins;
  }
  bool BitBang() const {
    std::lock_guard lock(m_mutex);
    return m_bitbang;
  }
  unsigned char OutputMask() const {
    std::lock_guard lock(m_mutex);
    return m_mask;
  }
  void InjectFault(FtdiFault fault) {
    std::lock_guard lock(m_mutex);
    m_fault = fault;
  }

 private:
  std::string SysPath() const {
    return "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(m_options.port);
  }
  static std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t v : bytes) {
      std::snprintf(b, sizeof b, "%02X", v);
      s += b;
    }
    return s;
  }
  std::vector<uint8_t> DeviceDescriptor() const {
    const uint8_t serial = m_options.serial.empty() ? 0 : 3;
    return {18, 1, 0x00, 0x02, 0, 0, 0, 8, 0x03, 0x04, 0x01, 0x60, 0x00, 0x06, 1, 2, serial, 1};
  }
  static std::vector<uint8_t> ConfigDescriptor() {
    return {9, 2, 32, 0, 1, 1, 0, 0xA0, 45,         // configuration
            9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 2,     // the vendor interface
            7, 5, 0x81, 2, 64, 0, 0,                // bulk in
            7, 5, 0x02, 2, 64, 0, 0};               // bulk out
  }
  static std::vector<uint8_t> String(const std::string& text) {
    std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
      d.push_back(static_cast<uint8_t>(c));
      d.push_back(0);
    }
    return d;
  }
  std::string Record() const {
    const std::string descriptors = Hex(DeviceDescriptor()) + Hex(ConfigDescriptor());
    char dev[4];
    std::snprintf(dev, sizeof dev, "%03d", m_options.devnum);
    const std::string minor = std::to_string(m_options.devnum - 1);
    return "P: " + SysPath() + "\nN: bus/usb/001/" + dev + "=" + descriptors +
           "\nE: DEVNAME=/dev/bus/usb/001/" + dev +
           "\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=" +
           dev + "\nE: MAJOR=189\nE: MINOR=" + minor + "\nA: busnum=1\\n\nA: devnum=" +
           std::to_string(m_options.devnum) +
           "\\n\nA: speed=12\\n\nA: bDeviceClass=00\\n\nA: idVendor=0403\\n\nA: idProduct=6001\\n\n"
           "A: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\nA: dev=189:" + minor +
           "\\n\nH: descriptors=" + descriptors + "\n";
  }

  // A control request: the answer, or false for a stall. Lock held.
  bool Control(const uint8_t* setup, std::vector<uint8_t>* answer) {
    const uint8_t type = setup[0], request = setup[1];
    const int value = setup[2] | (setup[3] << 8);
    if (type == 0x80 && request == 6) {
      if (value == 0x0100) *answer = DeviceDescriptor();
      else if (value == 0x0200) *answer = ConfigDescriptor();
      else if (value == 0x0300) *answer = {4, 3, 0x09, 0x04};
      else if (value == 0x0301) *answer = String("FTDI");
      else if (value == 0x0302) *answer = String("FT245R USB FIFO");
      else if (value == 0x0303 && !m_options.serial.empty()) *answer = String(m_options.serial);
      else return false;
      return true;
    }
    if (type == 0x80 && request == 8) {
      *answer = {1};
      return true;
    }
    if (type == 0x40 && request == 0x0B) {  // set bit mode
      const int mode = value >> 8;
      m_bitbang = mode == 0x01;
      m_mask = static_cast<unsigned char>(value & 0xFF);
      if (m_bitbang) m_pins &= static_cast<unsigned char>(~m_mask);
      return true;
    }
    if (type == 0xC0 && request == 0x0C) {  // read pins
      if (m_fault != FtdiFault::kGarbage) *answer = {m_pins};
      return true;
    }
    if (type == 0xC0) {  // modem status, latency and the like
      *answer = {0x01, 0x60};
      return true;
    }
    return type == 0x40;  // reset, baud rate, latency, flow control
  }

  bool Serve(IoctlCall& call) {
    std::lock_guard lock(m_mutex);
    const unsigned long request = call.Request();
    if (m_fault == FtdiFault::kGone) {
      call.Complete(-1, ENODEV);
      return true;
    }
    if (request == USBDEVFS_SUBMITURB) {
      IoctlMemory urb = call.Argument(sizeof(usbdevfs_urb));
      const std::vector<uint8_t> head = urb.Read(0, 2);
      const int length = urb.ReadI32(offsetof(usbdevfs_urb, buffer_length));
      IoctlMemory buffer = urb.Resolve(offsetof(usbdevfs_urb, buffer), static_cast<size_t>(length));
      if (m_fault == FtdiFault::kSilent) {
        m_pending.push_back(urb.ClientAddress());
        call.Complete(0);
        return true;
      }
      int status = 0, actual = 0;
      if (head.at(0) == USBDEVFS_URB_TYPE_CONTROL && length >= 8) {
        const std::vector<uint8_t> setup = buffer.Read(0, 8);
        std::vector<uint8_t> answer;
        if (!Control(setup.data(), &answer)) {
          status = -EPIPE;
        } else if (setup[0] & 0x80) {
          const size_t wanted = static_cast<size_t>(setup[6] | (setup[7] << 8));
          answer.resize(std::min({answer.size(), wanted, static_cast<size_t>(length - 8)}));
          if (!answer.empty()) buffer.Write(8, answer);
          actual = static_cast<int>(answer.size());
        }
      } else if (head.at(0) == USBDEVFS_URB_TYPE_BULK && head.at(1) == 0x02) {
        for (uint8_t byte : buffer.Read(0, static_cast<size_t>(length)))
          if (m_bitbang) m_pins = static_cast<unsigned char>((m_pins & ~m_mask) | (byte & m_mask));
        actual = length;
      } else if (head.at(0) == USBDEVFS_URB_TYPE_BULK && head.at(1) == 0x81 && length >= 2) {
        buffer.Write(0, {0x01, 0x60});
        actual = 2;
      } else {
        status = -EPIPE;
      }
      urb.WriteI32(offsetof(usbdevfs_urb, status), status);
      urb.WriteI32(offsetof(usbdevfs_urb, actual_length), actual);
      m_done.push_back(urb.ClientAddress());
      call.Complete(0);
      return true;
    }
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
      if (m_done.empty()) {
        call.Complete(-1, EAGAIN);
        return true;
      }
      call.Argument(sizeof(void*)).WritePointer(0, m_done.front());
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
      IoctlMemory urb = call.Argument(sizeof(usbdevfs_urb));
      urb.WriteI32(offsetof(usbdevfs_urb, status), -ENOENT);
      urb.WriteI32(offsetof(usbdevfs_urb, actual_length), 0);
      call.Complete(0);
      m_done.push_back(address);
      return true;
    }
    if (request == USBDEVFS_GETDRIVER) {  // no kernel driver bound
      call.Complete(-1, ENODATA);
      return true;
    }
    if (request == USBDEVFS_GET_CAPABILITIES) {
      call.Argument(sizeof(uint32_t)).WriteI32(0, 0);
      call.Complete(0);
      return true;
    }
    call.Complete(0);  // claim, release, the driver's detach and the like
    return true;
  }

  UmockdevTestbed& m_bed;
  Options m_options;
  mutable std::mutex m_mutex;
  unsigned char m_pins = 0;
  unsigned char m_mask = 0;
  bool m_bitbang = false;
  FtdiFault m_fault = FtdiFault::kNone;
  std::deque<uint64_t> m_done;
  std::vector<uint64_t> m_pending;
};

}  // namespace toggra::test

// An emulated gpiochip on /dev/gpiochip0 for both uAPIs of the kernel's GPIO
// character device: chip info, line info and line requests of the first
// version (libgpiod 1.x) and of the second (libgpiod 2.x), with the levels of
// its lines kept here. A request must return a descriptor that is valid in the
// caller, so the chip hands out descriptors of emulated handle nodes that the
// test process opened beforehand; each handle node's ioctls read and write the
// lines it holds.
#pragma once

#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "support/umockdev/Testbed.h"

namespace toggra::test {

class GpioChipEmulator {
 public:
  static constexpr const char* kChipNode = "/dev/gpiochip0";
  static constexpr const char* kLabel = "test-pinctrl";

  GpioChipEmulator(UmockdevTestbed& bed, int lines)
      : m_bed(bed), m_lines(static_cast<size_t>(lines)) {
    for (int i = 0; i < lines; ++i)
      m_lines[static_cast<size_t>(i)].name = "LINE" + std::to_string(i);
  }
  ~GpioChipEmulator() {
    for (size_t k = m_handedOut; k < m_handleFds.size(); ++k) ::close(m_handleFds[k]);
  }

  bool Start(std::string* error) {
    std::string text =
        "P: /devices/platform/test-gpio/gpiochip0\nN: gpiochip0\nE: DEVNAME=/dev/gpiochip0\n"
        "E: SUBSYSTEM=gpio\nE: MAJOR=254\nE: MINOR=0\nA: dev=254:0\\n\n\n";
    for (int k = 0; k < kHandles; ++k)
      text += "P: /devices/virtual/misc/gpiohandle" + std::to_string(k) + "\nN: gpiohandle" +
              std::to_string(k) + "\nE: DEVNAME=/dev/gpiohandle" + std::to_string(k) +
              "\nE: SUBSYSTEM=misc\nA: dev=10:" + std::to_string(200 + k) + "\\n\n\n";
    if (!m_bed.AddFromString(text, error)) return false;
    if (!m_bed.AttachIoctl(kChipNode, [this](IoctlCall& c) { return ServeChip(c); }, error))
      return false;
    m_handles.resize(kHandles);
    for (int k = 0; k < kHandles; ++k) {
      const std::string node = "/dev/gpiohandle" + std::to_string(k);
      if (!m_bed.AttachIoctl(node, [this, k](IoctlCall& c) { return ServeHandle(k, c); }, error))
        return false;
      const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) {
        *error = node + ": " + std::strerror(errno);
        return false;
      }
      m_handleFds.push_back(fd);
    }
    return true;
  }

  // The physical level of a line, as a relay or lamp on it sees it.
  int Level(int offset) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.at(static_cast<size_t>(offset)).level;
  }
  bool Output(int offset) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.at(static_cast<size_t>(offset)).output;
  }
  std::string Consumer(int offset) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.at(static_cast<size_t>(offset)).consumer;
  }
  // A line driven by someone else: another program holding it (consumer), or
  // one that a program released while it was an output.
  void Drive(int offset, int level, const std::string& consumer = {}) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Line& l = m_lines.at(static_cast<size_t>(offset));
    l.output = true;
    l.level = level;
    l.consumer = consumer;
  }
  // The physical levels of the given lines, for comparing a whole light at once.
  std::vector<int> Levels(std::initializer_list<int> offsets) const {
    std::vector<int> levels;
    for (int o : offsets) levels.push_back(Level(o));
    return levels;
  }

 private:
  static constexpr int kHandles = 8;
  struct Line {
    std::string name;
    std::string consumer;  // empty while free
    bool output = false;
    bool activeLow = false;
    int level = 0;
  };
  struct Handle {
    std::vector<uint32_t> offsets;
    bool v2 = false;  // values as bits and mask rather than one byte per line
  };

  bool ServeChip(IoctlCall& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const unsigned long request = call.Request();
    if (request == GPIO_GET_CHIPINFO_IOCTL) {
      gpiochip_info info{};
      std::snprintf(info.name, sizeof info.name, "gpiochip0");
      std::snprintf(info.label, sizeof info.label, "%s", kLabel);
      info.lines = static_cast<uint32_t>(m_lines.size());
      Put(call, info);
      call.Complete(0);
    } else if (request == GPIO_GET_LINEINFO_IOCTL) {
      IoctlMemory arg = call.Argument(sizeof(gpioline_info));
      const uint32_t offset = arg.ReadU32(offsetof(gpioline_info, line_offset));
      if (offset >= m_lines.size()) return Fail(call, EINVAL);
      const Line& l = m_lines[offset];
      gpioline_info info{};
      info.line_offset = offset;
      info.flags = (l.consumer.empty() ? 0u : GPIOLINE_FLAG_KERNEL) |
                   (l.output ? GPIOLINE_FLAG_IS_OUT : 0u) |
                   (l.activeLow ? GPIOLINE_FLAG_ACTIVE_LOW : 0u);
      std::snprintf(info.name, sizeof info.name, "%s", l.name.c_str());
      std::snprintf(info.consumer, sizeof info.consumer, "%s", l.consumer.c_str());
      Put(call, info);
      call.Complete(0);
    } else if (request == GPIO_GET_LINEHANDLE_IOCTL) {
      IoctlMemory arg = call.Argument(sizeof(gpiohandle_request));
      gpiohandle_request req{};
      const std::vector<uint8_t> bytes = arg.Read(0, sizeof req);
      std::memcpy(&req, bytes.data(), sizeof req);
      if (req.lines == 0 || req.lines > GPIOHANDLES_MAX) return Fail(call, EINVAL);
      for (uint32_t i = 0; i < req.lines; ++i) {
        if (req.lineoffsets[i] >= m_lines.size()) return Fail(call, EINVAL);
        if (!m_lines[req.lineoffsets[i]].consumer.empty()) return Fail(call, EBUSY);
      }
      if (m_handedOut >= m_handleFds.size()) return Fail(call, EMFILE);
      Handle& h = m_handles[m_handedOut];
      const bool activeLow = (req.flags & GPIOHANDLE_REQUEST_ACTIVE_LOW) != 0;
      for (uint32_t i = 0; i < req.lines; ++i) {
        Line& l = m_lines[req.lineoffsets[i]];
        l.consumer = req.consumer_label[0] ? req.consumer_label : "?";
        l.activeLow = activeLow;
        if (req.flags & GPIOHANDLE_REQUEST_OUTPUT) {
          l.output = true;
          l.level = (req.default_values[i] ? 1 : 0) ^ (activeLow ? 1 : 0);
        } else if (req.flags & GPIOHANDLE_REQUEST_INPUT) {
          l.output = false;
        }
        h.offsets.push_back(req.lineoffsets[i]);
      }
      arg.WriteI32(offsetof(gpiohandle_request, fd), m_handleFds[m_handedOut++]);
      call.Complete(0);
    } else if (request == GPIO_V2_GET_LINEINFO_IOCTL) {
      IoctlMemory arg = call.Argument(sizeof(gpio_v2_line_info));
      const uint32_t offset = arg.ReadU32(offsetof(gpio_v2_line_info, offset));
      if (offset >= m_lines.size()) return Fail(call, EINVAL);
      const Line& l = m_lines[offset];
      gpio_v2_line_info info{};
      info.offset = offset;
      info.flags = (l.consumer.empty() ? 0ull : uint64_t{GPIO_V2_LINE_FLAG_USED}) |
                   uint64_t{l.output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT} |
                   (l.activeLow ? uint64_t{GPIO_V2_LINE_FLAG_ACTIVE_LOW} : 0ull);
      std::snprintf(info.name, sizeof info.name, "%s", l.name.c_str());
      std::snprintf(info.consumer, sizeof info.consumer, "%s", l.consumer.c_str());
      Put(call, info);
      call.Complete(0);
    } else if (request == GPIO_V2_GET_LINE_IOCTL) {
      return ServeRequestV2(call);
    } else {
      return Fail(call, EINVAL);
    }
    return true;
  }

  // A line request of the second uAPI: flags for all lines, overridden per
  // line by flag attributes, and output values as an attribute with a mask.
  bool ServeRequestV2(IoctlCall& call) {
    IoctlMemory arg = call.Argument(sizeof(gpio_v2_line_request));
    gpio_v2_line_request req{};
    const std::vector<uint8_t> bytes = arg.Read(0, sizeof req);
    std::memcpy(&req, bytes.data(), sizeof req);
    const gpio_v2_line_config& config = req.config;
    if (req.num_lines == 0 || req.num_lines > GPIO_V2_LINES_MAX ||
        config.num_attrs > GPIO_V2_LINE_NUM_ATTRS_MAX)
      return Fail(call, EINVAL);
    for (uint32_t i = 0; i < req.num_lines; ++i) {
      if (req.offsets[i] >= m_lines.size()) return Fail(call, EINVAL);
      if (!m_lines[req.offsets[i]].consumer.empty()) return Fail(call, EBUSY);
    }
    if (m_handedOut >= m_handleFds.size()) return Fail(call, EMFILE);
    Handle& h = m_handles[m_handedOut];
    h.v2 = true;
    for (uint32_t i = 0; i < req.num_lines; ++i) {
      uint64_t flags = config.flags;
      int value = 0;
      for (uint32_t a = 0; a < config.num_attrs; ++a) {
        const gpio_v2_line_config_attribute& attr = config.attrs[a];
        if (!(attr.mask & (1ull << i))) continue;
        if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_FLAGS) flags = attr.attr.flags;
        if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES)
          value = (attr.attr.values >> i) & 1 ? 1 : 0;
      }
      Line& l = m_lines[req.offsets[i]];
      l.consumer = req.consumer[0] ? req.consumer : "?";
      l.activeLow = (flags & GPIO_V2_LINE_FLAG_ACTIVE_LOW) != 0;
      if (flags & GPIO_V2_LINE_FLAG_OUTPUT) {
        l.output = true;
        l.level = value ^ (l.activeLow ? 1 : 0);
      } else if (flags & GPIO_V2_LINE_FLAG_INPUT) {
        l.output = false;
      }
      h.offsets.push_back(req.offsets[i]);
    }
    arg.WriteI32(offsetof(gpio_v2_line_request, fd), m_handleFds[m_handedOut++]);
    call.Complete(0);
    return true;
  }

  bool ServeHandle(int k, IoctlCall& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Handle& h = m_handles[static_cast<size_t>(k)];
    const unsigned long request = call.Request();
    if (h.v2) return ServeValuesV2(h, call);
    if (request != GPIOHANDLE_GET_LINE_VALUES_IOCTL && request != GPIOHANDLE_SET_LINE_VALUES_IOCTL)
      return Fail(call, EINVAL);
    IoctlMemory arg = call.Argument(sizeof(gpiohandle_data));
    std::vector<uint8_t> values = arg.Read(0, sizeof(gpiohandle_data));
    for (size_t i = 0; i < h.offsets.size(); ++i) {
      Line& l = m_lines[h.offsets[i]];
      const int flip = l.activeLow ? 1 : 0;
      if (request == GPIOHANDLE_GET_LINE_VALUES_IOCTL) {
        values[i] = static_cast<uint8_t>(l.level ^ flip);
      } else if (!l.output) {
        return Fail(call, EPERM);  // as the kernel: only outputs are set
      } else {
        l.level = (values[i] ? 1 : 0) ^ flip;
      }
    }
    if (request == GPIOHANDLE_GET_LINE_VALUES_IOCTL) arg.Write(0, values);
    call.Complete(0);
    return true;
  }

  bool ServeValuesV2(const Handle& h, IoctlCall& call) {
    const unsigned long request = call.Request();
    if (request != GPIO_V2_LINE_GET_VALUES_IOCTL && request != GPIO_V2_LINE_SET_VALUES_IOCTL)
      return Fail(call, EINVAL);
    IoctlMemory arg = call.Argument(sizeof(gpio_v2_line_values));
    gpio_v2_line_values values{};
    const std::vector<uint8_t> bytes = arg.Read(0, sizeof values);
    std::memcpy(&values, bytes.data(), sizeof values);
    for (size_t i = 0; i < h.offsets.size(); ++i) {
      if (!(values.mask & (1ull << i))) continue;
      Line& l = m_lines[h.offsets[i]];
      const int flip = l.activeLow ? 1 : 0;
      if (request == GPIO_V2_LINE_GET_VALUES_IOCTL) {
        values.bits = (values.bits & ~(1ull << i)) | (uint64_t(l.level ^ flip) << i);
      } else if (!l.output) {
        return Fail(call, EPERM);
      } else {
        l.level = ((values.bits >> i) & 1 ? 1 : 0) ^ flip;
      }
    }
    if (request == GPIO_V2_LINE_GET_VALUES_IOCTL) Put(call, values);
    call.Complete(0);
    return true;
  }

  template <typename T>
  static void Put(IoctlCall& call, const T& value) {
    IoctlMemory arg = call.Argument(sizeof(T));
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    arg.Write(0, std::vector<uint8_t>(p, p + sizeof(T)));
  }
  static bool Fail(IoctlCall& call, int error) {
    call.Complete(-1, error);
    return true;
  }

  UmockdevTestbed& m_bed;
  mutable std::mutex m_mutex;
  std::vector<Line> m_lines;
  std::vector<Handle> m_handles;
  std::vector<int> m_handleFds;
  size_t m_handedOut = 0;  // the first m_handedOut descriptors belong to libgpiod now
};

}  // namespace toggra::test

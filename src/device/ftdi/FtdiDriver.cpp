#include "device/ftdi/FtdiDriver.h"

#include <fcntl.h>
#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "device/Channels.h"

namespace toggra {

namespace {

using namespace ftdi;

constexpr int64_t kRetryMs = 1000;
constexpr const char* kFix =
    "fix: install the udev rule 70-toggra-ftdi.rules and join the group toggra "
    "(sudo usermod -aG toggra USER), then log in again and re-plug the board";

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string NodeOf(libusb_device* device) {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  return node;
}

// "1-1.4": the bus and the ports on the way to the device.
std::string LocationOf(libusb_device* device) {
  uint8_t ports[8];
  const int n = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string location = std::to_string(libusb_get_bus_number(device));
  for (int i = 0; i < n; ++i) location += (i ? "." : "-") + std::to_string(ports[i]);
  return location;
}

// Why a device cannot be opened: the node's own answer to an open (libftdi
// says only that it failed), else libftdi's words.
std::string OpenFailure(const std::string& node, const char* library) {
  const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return std::string("cannot be opened (") + library + ")";
  }
  const int error = errno;
  return (error == EACCES || error == EPERM ? "no permission (" : "cannot be opened (") +
         std::string(std::strerror(error)) + ")";
}

// One 0403:6001 device as a search finds it.
struct Seen {
  libusb_device* device = nullptr;
  std::string node;
  std::string location;
  std::string serial;       // empty when it has none
  std::string description;  // the product string
  std::string failure;      // why its strings could not be read
  std::string name;         // set by Name()
};

// Every 0403:6001 device, with its strings where they can be read. The
// devices stay valid while `list` lives.
std::vector<Seen> Search(ftdi_context* context, ftdi_device_list** list) {
  std::vector<Seen> seen;
  if (ftdi_usb_find_all(context, list, kVendorId, kProductId) < 0) return seen;
  for (ftdi_device_list* d = *list; d; d = d->next) {
    Seen s;
    s.device = d->dev;
    s.node = NodeOf(d->dev);
    s.location = LocationOf(d->dev);
    char description[128] = "", serial[128] = "";
    if (ftdi_usb_get_strings(context, d->dev, nullptr, 0, description, sizeof description, serial,
                             sizeof serial) < 0) {
      // libftdi fails the serial of a device without one; its description
      // came first.
      if (ftdi_usb_get_strings(context, d->dev, nullptr, 0, description, sizeof description,
                               nullptr, 0) < 0)
        s.failure = OpenFailure(s.node, ftdi_get_error_string(context));
      serial[0] = '\0';
    }
    s.serial = serial;
    s.description = description;
    seen.push_back(std::move(s));
  }
  return seen;
}

// Names the readable devices: the serial, "SERIAL@LOCATION" where serials
// repeat, "@LOCATION" without one.
void Name(std::vector<Seen>& seen) {
  std::map<std::string, int> count;
  for (const Seen& s : seen)
    if (s.failure.empty()) ++count[s.serial];
  for (Seen& s : seen)
    if (s.failure.empty())
      s.name = s.serial.empty() || count[s.serial] > 1 ? s.serial + "@" + s.location : s.serial;
}

unsigned char Mask(const std::vector<int>& pins) {
  unsigned mask = 0;
  for (int pin : pins) mask |= 1u << pin;
  return static_cast<unsigned char>(mask);
}

}  // namespace

void CFtdiDriver::ContextCloser::operator()(ftdi_context* context) const {
  if (!context) return;
  ftdi_usb_close(context);
  ftdi_free(context);
}

CFtdiDriver::CFtdiDriver(FtdiEntry entry, Options options)
    : m_entry(std::move(entry)), m_options(std::move(options)) {
  if (!m_options.nowMs) m_options.nowMs = SteadyMs;
  if (!m_options.errors) m_options.errors = ReportDeviceError;
}

CFtdiDriver::~CFtdiDriver() = default;

void CFtdiDriver::Say(const std::string& message) {
  std::lock_guard lock(m_mutex);
  if (m_reported.insert(message).second) m_options.errors("ftdi: " + message);
}

CFtdiDriver::Context CFtdiDriver::Open(const std::string& name, std::string* node,
                                       std::string* error) {
  Context context(ftdi_new());
  if (!context) {
    *error = "libftdi cannot start";
    return nullptr;
  }
  context->usb_read_timeout = m_options.timeoutMs;
  context->usb_write_timeout = m_options.timeoutMs;
  ftdi_device_list* list = nullptr;
  std::vector<Seen> seen = Search(context.get(), &list);
  Name(seen);
  *error = "the board is gone";
  bool opened = false;
  for (const Seen& s : seen) {
    if (s.name != name) continue;
    *node = s.node;
    if (ftdi_usb_open_dev(context.get(), s.device) < 0) {
      *error = s.node + ": " + OpenFailure(s.node, ftdi_get_error_string(context.get())) + "; " + kFix;
      break;
    }
    opened = true;
    break;
  }
  ftdi_list_free(&list);
  if (!opened) {
    return nullptr;
  }
  // Entering bit-bang mode may drive the pins anew: the relays are read
  // first and written back at once.
  unsigned char pins = 0;
  const unsigned char mask = Mask(m_entry.pins);
  if (ftdi_read_pins(context.get(), &pins) < 0 ||
      ftdi_set_bitmode(context.get(), mask, BITMODE_BITBANG) < 0 ||
      ftdi_write_data(context.get(), &pins, 1) != 1) {
    *error = *node + ": cannot be put into bit-bang mode (" +
             ftdi_get_error_string(context.get()) + ")";
    return nullptr;
  }
  return context;
}

std::vector<DriverDevice> CFtdiDriver::Enumerate() {
  m_boards.clear();
  Context probe(ftdi_new());
  if (!probe) return {};
  ftdi_device_list* list = nullptr;
  std::vector<Seen> seen = Search(probe.get(), &list);
  Name(seen);
  std::vector<std::string> names;
  for (const Seen& s : seen) {
    if (!s.failure.empty()) {
      // It may be the board named: never silent.
      Say(s.node + " (0403:6001): " + s.failure + "; its serial cannot be read, so it may be " +
          (m_entry.serial == "*" ? std::string("a relay board") : "ftdi:" + m_entry.serial) +
          "; " + kFix);
      continue;
    }
    if (m_entry.serial == "*" || s.name == m_entry.serial) names.push_back(s.name);
  }
  ftdi_list_free(&list);
  probe.reset();
  // Device numbers follow the names, not the order of the bus.
  std::sort(names.begin(), names.end());
  std::sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) { return a.name < b.name; });
  if (names.empty() && m_entry.serial != "*") {
    std::string present;
    for (const Seen& s : seen)
      if (s.failure.empty()) present += (present.empty() ? "" : ", ") + s.name;
    Say("no 0403:6001 device with the serial " + m_entry.serial + " (present: " +
        (present.empty() ? "none" : present) + ")");
  }
  std::vector<DriverDevice> devices;
  for (const std::string& name : names) {
    Board b;
    b.name = name;
    std::string error;
    b.context = Open(name, &b.node, &error);
    if (!b.context) {
      Say(name + ": " + error);
      continue;
    }
    DriverDevice d;
    d.name = name;
    for (size_t k = 1; k <= m_entry.pins.size(); ++k) d.channels.push_back(std::to_string(k));
    d.serial = NameSerial(name);
    devices.push_back(std::move(d));
    m_boards.push_back(std::move(b));
  }
  return devices;
}

CFtdiDriver::Board* CFtdiDriver::Find(int device) {
  if (device < 0 || device >= static_cast<int>(m_boards.size())) return nullptr;
  return &m_boards[static_cast<size_t>(device)];
}

void CFtdiDriver::Lost(Board& board) {
  board.context.reset();
  board.retryAt = 0;  // the next call looks for it at once
}

bool CFtdiDriver::Ready(Board& board, std::string* error) {
  if (board.context) return true;
  const int64_t now = m_options.nowMs();
  if (now < board.retryAt) {
    *error = "the board is gone";
    return false;
  }
  board.retryAt = now + kRetryMs;
  board.context = Open(board.name, &board.node, error);
  return board.context != nullptr;
}

bool CFtdiDriver::Read(int device, DriverReading* reading, std::string* error) {
  Board* b = Find(device);
  if (!b || !Ready(*b, error)) return false;
  unsigned char pins = 0;
  if (ftdi_read_pins(b->context.get(), &pins) < 0) {
    *error = "reading the pins failed (" + std::string(ftdi_get_error_string(b->context.get())) + ")";
    Lost(*b);
    return false;
  }
  reading->on = RelaysOf(m_entry.pins, pins);
  return true;
}

bool CFtdiDriver::Write(int device, int channel, bool on, std::string* error) {
  Board* b = Find(device);
  if (!b || channel < 0 || channel >= static_cast<int>(m_entry.pins.size())) return false;
  if (!Ready(*b, error)) return false;
  // One byte sets all eight pins: the others keep what they read now.
  unsigned char pins = 0;
  ftdi_context* context = b->context.get();
  if (ftdi_read_pins(context, &pins) < 0) {
    *error = "reading the pins failed (" + std::string(ftdi_get_error_string(context)) + ")";
    Lost(*b);
    return false;
  }
  unsigned relays = RelaysOf(m_entry.pins, pins);
  relays = on ? relays | (1u << channel) : relays & ~(1u << channel);
  const unsigned char next = PinsFor(m_entry.pins, pins, relays);
  if (ftdi_write_data(context, &next, 1) != 1) {
    *error = "writing the pins failed (" + std::string(ftdi_get_error_string(context)) + ")";
    Lost(*b);
    return false;
  }
  return true;
}

std::vector<std::pair<std::string, std::string>> CFtdiDriver::Available() {
  std::vector<std::pair<std::string, std::string>> entries;
  Context probe(ftdi_new());
  if (!probe) return entries;
  ftdi_device_list* list = nullptr;
  std::vector<Seen> seen = Search(probe.get(), &list);
  Name(seen);
  for (const Seen& s : seen) {
    const std::string what = "FTDI 0403:6001" +
                             (s.description.empty() ? std::string() : " \"" + s.description + "\"");
    if (s.failure.empty())
      entries.emplace_back("ftdi:" + s.name,
                           what + " at " + s.location +
                               ", possibly a bit-bang relay board (ftdi:" + s.name +
                               ":4 for 4 relays); opened only when named");
    else
      entries.emplace_back("ftdi:" + s.node,
                           what + ", serial unreadable: " + s.node + ": " + s.failure + "; " + kFix);
  }
  ftdi_list_free(&list);
  return entries;
}

void RegisterFtdi(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "ftdi";
  info.driver = [](const std::string& argument, std::string* reason) -> std::unique_ptr<IDriver> {
    FtdiEntry entry;
    if (!ParseFtdiEntry(argument, &entry, reason)) return nullptr;
    return std::make_unique<CFtdiDriver>(std::move(entry), CFtdiDriver::Options{});
  };
  info.available = &CFtdiDriver::Available;
  registry.Register(std::move(info));
}

}  // namespace toggra

#include "device/sispm/SispmDriver.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "device/Channels.h"
#include "device/kit/HidrawLocation.h"
#include "device/sispm/SispmStrip.h"

namespace toggra {

namespace {

using namespace sispm;

constexpr int64_t kRetryMs = 1000;
constexpr const char* kAll = "*";
constexpr const char* kFix =
    "fix: install the udev rule 70-toggra-sispm.rules and join the group toggra "
    "(sudo usermod -aG toggra USER), then log in again and re-plug the strip";

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string UsbId(unsigned short product) {
  char id[16];
  std::snprintf(id, sizeof id, "04b4:%04x", product);
  return id;
}

// A feature report, tried again while it comes back short (as the strips
// sometimes answer). The length of the last answer; negative when the
// transfer failed.
int GetReport(hid_device* handle, unsigned char id, unsigned char* data, size_t length) {
  int n = -1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::memset(data, 0, length);
    data[0] = id;
    n = hid_get_feature_report(handle, data, length);
    if (n < 0 || n >= static_cast<int>(length)) break;
  }
  return n;
}

struct Found {
  std::string path;
  std::string serial;
  unsigned short product = 0;
  int outlets = 0;
  hid_device* handle = nullptr;
};

// Every strip present whose serial can be read; `skip` says which nodes not
// to open (held already). The nodes that cannot be opened or whose serial
// answer is not understood go to *problems ("NODE: WHY").
std::vector<Found> Search(const std::function<bool(const std::string&)>& skip,
                          std::vector<std::pair<Found, std::string>>* problems = nullptr) {
  std::vector<Found> found;
  hid_device_info* list = hid_enumerate(kVendorId, 0);
  for (hid_device_info* d = list; d; d = d->next) {
    const int outlets = OutletsOf(d->product_id);
    if (outlets == 0 || !d->path || (skip && skip(d->path))) continue;
    Found f{d->path, {}, d->product_id, outlets, nullptr};
    errno = 0;
    f.handle = hid_open_path(d->path);
    if (!f.handle) {
      const int error = errno;
      if (problems)
        problems->emplace_back(
            f, (error == EACCES || error == EPERM ? "no permission (" : "cannot be opened (") +
                   std::string(error ? std::strerror(error) : "unknown error") + "); " + kFix);
      continue;
    }
    unsigned char serial[kSerialLength];
    const int n = GetReport(f.handle, kSerialReport, serial, sizeof serial);
    f.serial = SerialName(serial, n);
    if (f.serial.empty()) {
      if (problems)
        problems->emplace_back(f, "the answer to the serial number request was not understood (" +
                                      (n < 0 ? std::string("no answer") : std::to_string(n) +
                                                                           " bytes instead of 5") +
                                      "); left out");
      hid_close(f.handle);
      continue;
    }
    found.push_back(std::move(f));
  }
  hid_free_enumeration(list);
  return found;
}

}  // namespace

void CSispmDriver::HandleCloser::operator()(hid_device_* handle) const {
  if (handle) hid_close(handle);
}

CSispmDriver::CSispmDriver(std::string only, std::function<int64_t()> nowMs, DeviceErrorSink errors)
    : m_only(std::move(only)),
      m_nowMs(nowMs ? std::move(nowMs) : std::function<int64_t()>(SteadyMs)),
      m_errors(errors ? std::move(errors) : DeviceErrorSink(ReportDeviceError)) {}

CSispmDriver::~CSispmDriver() = default;

std::vector<DriverDevice> CSispmDriver::Enumerate() {
  m_strips.clear();
  m_held.clear();
  std::vector<std::pair<Found, std::string>> problems;
  for (Found& f : Search({}, &problems)) {
    Strip s;
    s.path = f.path;
    s.serial = f.serial;
    s.product = f.product;
    s.outlets = f.outlets;
    s.handle.reset(f.handle);
    if (m_only != kAll && s.serial != m_only) continue;
    s.location = HidrawUsbLocation(s.path);
    m_held.insert(s.path);
    m_strips.push_back(std::move(s));
  }
  // A strip that cannot be used may be the one configured: never silent.
  for (const auto& [f, why] : problems)
    if (m_reported.insert(f.path).second) m_errors("sispm: " + f.path + ": " + why);
  std::sort(m_strips.begin(), m_strips.end(), [](const Strip& a, const Strip& b) {
    return a.serial != b.serial ? a.serial < b.serial : a.location < b.location;
  });
  std::map<std::string, int> perSerial;
  for (const Strip& s : m_strips) ++perSerial[s.serial];
  for (const auto& [serial, count] : perSerial)
    if (count > 1)
      m_errors("sispm: " + std::to_string(count) + " power strips have the serial " + serial +
               "; they are told apart by their USB location, so their settings stay only "
               "while they keep their sockets");
  std::vector<DriverDevice> devices;
  for (Strip& s : m_strips) {
    s.shared = perSerial[s.serial] > 1;
    DriverDevice d;
    d.name = s.shared ? s.serial + "@" + s.location : s.serial;
    for (int o = 1; o <= s.outlets; ++o) d.channels.push_back(std::to_string(o));
    d.serial = NameSerial(d.name);
    devices.push_back(std::move(d));
  }
  return devices;
}

CSispmDriver::Strip* CSispmDriver::Find(int device) {
  if (device < 0 || device >= static_cast<int>(m_strips.size())) return nullptr;
  return &m_strips[static_cast<size_t>(device)];
}

void CSispmDriver::Close(Strip& strip) {
  strip.handle.reset();
  strip.retryAt = 0;
  std::lock_guard lock(m_mutex);
  m_held.erase(strip.path);
}

void CSispmDriver::Complain(Strip& strip, const std::string& what) {
  if (what == strip.lastComplaint) return;
  strip.lastComplaint = what;
  std::lock_guard lock(m_mutex);
  m_errors("sispm: " + strip.serial + " (" + strip.path + ", " + UsbId(strip.product) + "): " + what);
}

bool CSispmDriver::Reconnect(Strip& strip) {
  const int64_t now = m_nowMs();
  if (now < strip.retryAt) return false;
  strip.retryAt = now + kRetryMs;
  std::lock_guard lock(m_mutex);
  bool back = false;
  for (Found& f : Search([this](const std::string& path) { return m_held.count(path) > 0; })) {
    const bool same = !back && f.serial == strip.serial && f.outlets == strip.outlets &&
                      (!strip.shared || HidrawUsbLocation(f.path) == strip.location);
    if (same) {
      strip.path = f.path;
      strip.handle.reset(f.handle);
      m_held.insert(f.path);
      back = true;
    } else {
      hid_close(f.handle);
    }
  }
  return back;
}

bool CSispmDriver::Read(int device, DriverReading* reading, std::string* error) {
  Strip* s = Find(device);
  if (!s) return false;
  if (!s->handle && !Reconnect(*s)) {
    *error = "the strip is gone";
    return false;
  }
  reading->on = 0;
  for (int outlet = 1; outlet <= s->outlets; ++outlet) {
    unsigned char answer[kOutletReportLength];
    const int n = GetReport(s->handle.get(), ReportIdOf(outlet), answer, sizeof answer);
    bool on = false;
    std::string why;
    if (!ParseOutlet(answer, n, outlet, &on, &why)) {
      Close(*s);
      if (n < 0) {
        *error = "the strip does not answer";
        return false;
      }
      *error = "outlet " + std::to_string(outlet) + ": " + why + " not understood";
      if (s->outlets == 1)
        *error += " (a 1-outlet strip is asked on report 3, which is not known for sure)";
      Complain(*s, *error);
      return false;
    }
    if (on) reading->on |= 1u << (outlet - 1);
  }
  s->lastComplaint.clear();
  return true;
}

bool CSispmDriver::Write(int device, int channel, bool on, std::string* error) {
  Strip* s = Find(device);
  if (!s || channel < 0 || channel >= s->outlets) return false;
  if (!s->handle && !Reconnect(*s)) {
    *error = "the strip is gone";
    return false;
  }
  const OutletReport report = SwitchReport(channel + 1, on);
  if (hid_send_feature_report(s->handle.get(), report.data(), report.size()) < 0) {
    Close(*s);
    *error = "the strip refused the command";
    return false;
  }
  return true;
}

std::vector<std::pair<std::string, std::string>> CSispmDriver::Available() {
  std::vector<std::pair<std::string, std::string>> entries;
  std::vector<std::pair<Found, std::string>> problems;
  for (Found& f : Search({}, &problems)) {
    entries.emplace_back("sispm:" + f.serial, "USB power strip " + UsbId(f.product) + " with " +
                                                  std::to_string(f.outlets) +
                                                  (f.outlets == 1 ? " outlet" : " outlets"));
    hid_close(f.handle);
  }
  // Its serial cannot be read: the node names it.
  for (const auto& [f, why] : problems)
    entries.emplace_back("sispm:" + f.path,
                         "USB power strip " + UsbId(f.product) + ", serial unreadable: " + f.path +
                             ": " + why);
  return entries;
}

void RegisterSispm(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "sispm";
  info.driver = [](const std::string& argument, std::string* reason) -> std::unique_ptr<IDriver> {
    const std::string serial = argument == kAll ? argument : NormalizeSerial(argument);
    if (serial.empty()) {
      *reason = "expected sispm:* or sispm:SERIAL with the strip's serial as 10 hex digits "
                "(sispm:01a2b3c4d5)";
      return nullptr;
    }
    return std::make_unique<CSispmDriver>(serial);
  };
  info.available = &CSispmDriver::Available;
  info.defaultEntry = "sispm:*";
  registry.Register(std::move(info));
}

}  // namespace toggra

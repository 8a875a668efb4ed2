#include "device/hidrelay/HidRelayDriver.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <map>

#include "device/hidrelay/HidRelayBoard.h"

namespace toggra {

namespace {

using namespace hidrelay;

// A lost board is looked for at most this often: each search walks all HID
// devices.
constexpr int64_t kRetryMs = 1000;
constexpr const char* kAll = "*";

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One board found by enumeration, opened and (where it can be) read.
struct Found {
  std::string path;
  Protocol protocol = Protocol::kFeature;
  unsigned short vendor = 0, product = 0;
  int relays = 0;
  int version = 0;
  BoardState state;  // for a clone: its name in `id`, no mask
  hid_device* handle = nullptr;
  std::string unsure;  // what was not understood about a clone
  std::string manufacturer, productName;  // the USB strings
};

std::string Narrow(const wchar_t* text) {
  std::string s;
  for (; text && *text; ++text) s += *text < 0x80 ? static_cast<char>(*text) : '?';
  return s;
}

bool ReadReport(hid_device* handle, BoardState* state) {
  Report report{};
  const int n = hid_get_feature_report(handle, report.data(), report.size());
  return ParseReport(report.data(), n, state);
}

std::string UsbId(unsigned short vendor, unsigned short product) {
  char id[16];
  std::snprintf(id, sizeof id, "%04x:%04x", vendor, product);
  return id;
}

// A board present whose node cannot be opened.
struct Refused {
  std::string path;
  std::string product;
  std::string reason;  // "no permission (Permission denied)"
};

std::string RefusedText(const Refused& r) {
  return r.path + ": " + r.reason +
         "; fix: install the udev rule 70-toggra-hidrelay.rules and join the group toggra "
         "(sudo usermod -aG toggra USER), then log in again and re-plug the board";
}

// Every relay board present; `skip` says which paths not to open (held
// already); those that cannot be opened go to *refused when given.
std::vector<Found> Enumerate(const std::function<bool(const std::string&)>& skip,
                             std::vector<Refused>* refused = nullptr) {
  std::vector<Found> found;
  hid_device_info* list = hid_enumerate(0, 0);
  for (hid_device_info* d = list; d; d = d->next) {
    Protocol protocol;
    if (!ProtocolOf(d->vendor_id, d->product_id, &protocol) || !d->path) continue;
    const std::wstring product = d->product_string ? d->product_string : L"";
    int relays = protocol == Protocol::kFeature ? RelayCountOf(product) : CloneRelayCount(product);
    std::string unsure;
    if (relays == 0 && protocol != Protocol::kFeature) {
      relays = kMaxRelays;
      unsure = "its product string \"" + Narrow(product.c_str()) +
               "\" does not say how many relays it has; " + std::to_string(kMaxRelays) +
               " are offered";
    }
    if (relays == 0 || (skip && skip(d->path))) continue;
    errno = 0;
    hid_device* handle = hid_open_path(d->path);
    if (!handle) {
      const int error = errno;
      if (refused)
        refused->push_back(
            {d->path, Narrow(product.c_str()),
             (error == EACCES || error == EPERM ? "no permission (" : "cannot be opened (") +
                 std::string(error ? std::strerror(error) : "unknown error") + ")"});
      continue;
    }
    Found f{d->path, protocol, d->vendor_id, d->product_id, relays, d->release_number, {},
            handle, unsure,
            d->manufacturer_string ? Narrow(d->manufacturer_string) : std::string(),
            Narrow(product.c_str())};
    if (protocol != Protocol::kFeature) {
      f.state.id = CloneName(d->vendor_id, d->product_id, Narrow(d->serial_number),
                             LocationOf(d->path));
      found.push_back(std::move(f));
    } else if (ReadReport(handle, &f.state)) {
      found.push_back(std::move(f));
    } else {
      hid_close(handle);
    }
  }
  hid_free_enumeration(list);
  return found;
}

}  // namespace

void CHidRelayDriver::HandleCloser::operator()(hid_device_* handle) const {
  if (handle) hid_close(handle);
}

CHidRelayDriver::CHidRelayDriver(std::string only, std::function<int64_t()> nowMs,
                                 DeviceErrorSink errors)
    : m_only(std::move(only)),
      m_nowMs(nowMs ? std::move(nowMs) : std::function<int64_t()>(SteadyMs)),
      m_errors(errors ? std::move(errors) : DeviceErrorSink(ReportDeviceError)) {}

CHidRelayDriver::~CHidRelayDriver() = default;

std::vector<DriverDevice> CHidRelayDriver::Enumerate() {
  {
    std::lock_guard lock(m_heldMutex);
    m_boards.clear();
    m_held.clear();
  }
  return Take({});
}

std::vector<DriverDevice> CHidRelayDriver::EnumerateMore() {
  return Take([this](const std::string& id) {
    for (const auto& b : m_boards)
      if (b->id == id) return true;
    return false;
  });
}

std::vector<DriverDevice> CHidRelayDriver::Take(const std::function<bool(const std::string&)>& known) {
  std::vector<std::unique_ptr<Board>> boards;
  std::vector<Refused> refused;
  {
    std::lock_guard lock(m_heldMutex);
    auto held = [this](const std::string& path) { return m_held.count(path) > 0; };
    for (Found& f : ::toggra::Enumerate(held, &refused)) {
      if ((m_only != kAll && f.state.id != m_only) || (known && known(f.state.id))) {
        hid_close(f.handle);
        continue;
      }
      auto b = std::make_unique<Board>();
      b->path = f.path;
      b->id = f.state.id;
      b->relays = f.relays;
      b->version = f.version;
      b->protocol = f.protocol;
      b->manufacturer = f.manufacturer;
      b->product = f.productName;
      b->handle.reset(f.handle);
      if (!f.unsure.empty() && m_refusedReported.insert(f.path + " unsure").second)
        m_errors("hidrelay: " + b->id + " (" + f.path + ", " + UsbId(f.vendor, f.product) +
                 "): " + f.unsure);
      b->location = LocationOf(b->path);
      m_held.insert(b->path);
      boards.push_back(std::move(b));
    }
  }
  // A board that cannot be opened may be the one configured: never silent.
  for (const Refused& r : refused)
    if (m_refusedReported.insert(r.path).second) m_errors("hidrelay: " + RefusedText(r));
  // Device numbers follow the ids, not the order in which the kernel happened
  // to number the nodes.
  std::sort(boards.begin(), boards.end(), [](const auto& a, const auto& b) {
    return a->id != b->id ? a->id < b->id : a->location < b->location;
  });
  std::map<std::string, int> perId;
  for (const auto& b : boards) ++perId[b->id];
  for (const auto& [id, count] : perId)
    if (count > 1)
      m_errors("hidrelay: " + std::to_string(count) + " relay boards have the id " + id +
               "; they are told apart by their USB location, so their settings stay only "
               "while they keep their sockets");
  std::vector<DriverDevice> devices;
  for (auto& b : boards) {
    b->shared = perId[b->id] > 1;
    DriverDevice d;
    d.name = b->shared ? b->id + "@" + b->location : b->id;
    for (int r = 1; r <= b->relays; ++r) d.channels.push_back(std::to_string(r));
    d.version = b->version;
    d.readBack = b->protocol == Protocol::kFeature;
    d.manufacturer = b->manufacturer;
    d.model = b->product;
    d.serial = b->shared ? SerialOf(b->id, b->location) : SerialOf(b->id);
    devices.push_back(std::move(d));
  }
  std::lock_guard lock(m_heldMutex);
  for (auto& b : boards) m_boards.push_back(std::move(b));
  return devices;
}

CHidRelayDriver::Board* CHidRelayDriver::Find(int device) {
  std::lock_guard lock(m_heldMutex);
  if (device < 0 || device >= static_cast<int>(m_boards.size())) return nullptr;
  return m_boards[static_cast<size_t>(device)].get();
}

void CHidRelayDriver::Close(Board& board) {
  board.handle.reset();
  board.retryAt = 0;  // the next call looks for it at once
  std::lock_guard lock(m_heldMutex);
  m_held.erase(board.path);
}

bool CHidRelayDriver::Reconnect(Board& board) {
  const int64_t now = m_nowMs();
  if (now < board.retryAt) return false;
  board.retryAt = now + kRetryMs;
  std::lock_guard lock(m_heldMutex);
  bool back = false;
  for (Found& f : ::toggra::Enumerate([this](const std::string& path) { return m_held.count(path) > 0; })) {
    const bool same = !back && f.state.id == board.id && f.relays == board.relays &&
                      f.protocol == board.protocol &&
                      (!board.shared || LocationOf(f.path) == board.location);
    if (same) {
      board.path = f.path;
      board.handle.reset(f.handle);
      m_held.insert(f.path);
      back = true;
    } else {
      hid_close(f.handle);
    }
  }
  return back;
}

bool CHidRelayDriver::Read(int device, DriverReading* reading, std::string* error) {
  Board* b = Find(device);
  if (!b) return false;
  if (!b->handle && !Reconnect(*b)) {
    *error = "the board is gone";
    return false;
  }
  if (b->protocol != Protocol::kFeature) {  // nothing known to read back
    reading->known = 0;
    return true;
  }
  BoardState state;
  if (!ReadReport(b->handle.get(), &state)) {
    Close(*b);
    *error = "the board does not answer";
    return false;
  }
  reading->on = state.mask & ((1u << b->relays) - 1u);
  return true;
}

bool CHidRelayDriver::Write(int device, int channel, bool on, std::string* error) {
  Board* b = Find(device);
  if (!b || channel < 0 || channel >= b->relays) return false;
  if (!b->handle && !Reconnect(*b)) {
    *error = "the board is gone";
    return false;
  }
  int sent = 0;
  if (b->protocol == Protocol::kFeature) {
    const Report command = SwitchCommand(channel + 1, on);
    sent = hid_send_feature_report(b->handle.get(), command.data(), command.size());
  } else {
    const std::vector<unsigned char> command = CloneCommand(b->protocol, channel + 1, on);
    sent = hid_write(b->handle.get(), command.data(), command.size());
  }
  if (sent < 0) {
    Close(*b);
    *error = "the board refused the command";
    return false;
  }
  return true;
}

// The relays keep their states when the program ends, as a hub's ports do
// (IDriver::Reset).

std::vector<std::pair<std::string, std::string>> CHidRelayDriver::Available() {
  std::vector<std::pair<std::string, std::string>> entries;
  std::vector<Refused> refused;
  for (Found& f : ::toggra::Enumerate({}, &refused)) {
    if (f.protocol == Protocol::kFeature)
      entries.emplace_back("hidrelay:" + f.state.id,
                           "USB relay board with " + std::to_string(f.relays) + " relays");
    else
      entries.emplace_back("hidrelay:" + f.state.id,
                           "USB relay board " + UsbId(f.vendor, f.product) + " with " +
                               std::to_string(f.relays) + " relays" +
                               (f.unsure.empty() ? "" : " (" + f.unsure + ")") +
                               "; cannot be read back: shows the levels last written");
    hid_close(f.handle);
  }
  // Its id is in its reports, which cannot be read: the node names it.
  for (const Refused& r : refused)
    entries.emplace_back("hidrelay:" + r.path, "USB relay board " + r.product + ", id unreadable: " +
                                                   RefusedText(r));
  return entries;
}

void RegisterHidRelay(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "hidrelay";
  info.driver = [](const std::string& argument, std::string* reason) -> std::unique_ptr<IDriver> {
    const bool printable = BoardName(reinterpret_cast<const unsigned char*>(argument.data()),
                                     argument.size()) == argument;
    const bool clone = argument.rfind("0519-2018", 0) == 0 || argument.rfind("5131-2007", 0) == 0;
    const bool plainId = printable && (argument.size() == kIdLength || clone);
    if (argument != kAll && !plainId) {
      *reason = "expected hidrelay:* or hidrelay:ID with a board's 5-character id (or the "
                "name of a 0519:2018 or 5131:2007 board, as toggra-ctl list --all shows it)";
      return nullptr;
    }
    return std::make_unique<CHidRelayDriver>(argument);
  };
  info.available = &CHidRelayDriver::Available;
  info.defaultEntry = "hidrelay:*";
  registry.Register(std::move(info));
}

}  // namespace toggra

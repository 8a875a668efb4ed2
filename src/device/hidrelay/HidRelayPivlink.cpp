#include "device/hidrelay/HidRelayPivlink.h"

#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "app/Ids.h"
#include "device/hidrelay/HidRelayBoard.h"

namespace toggra {

namespace {

using namespace hidrelay;

constexpr int kUnreachable = -1;
constexpr int kFailed = 0;
constexpr int kDone = 1;
// A lost board is looked for at most this often: the poll asks every channel
// each tick, and each search walks all HID devices.
constexpr int64_t kRetryMs = 1000;
constexpr const char* kAll = "*";

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One board found by enumeration, opened and read.
struct Found {
  std::string path;
  int relays = 0;
  int version = 0;
  BoardState state;
  hid_device* handle = nullptr;
};

bool ReadReport(hid_device* handle, BoardState* state) {
  Report report{};
  const int n = hid_get_feature_report(handle, report.data(), report.size());
  return ParseReport(report.data(), n, state);
}

// Every relay board present; `skip` says which paths not to open (held already).
std::vector<Found> Enumerate(const std::function<bool(const std::string&)>& skip) {
  std::vector<Found> found;
  hid_device_info* list = hid_enumerate(kVendorId, kProductId);
  for (hid_device_info* d = list; d; d = d->next) {
    const int relays = d->product_string ? RelayCountOf(d->product_string) : 0;
    if (relays == 0 || !d->path || (skip && skip(d->path))) continue;
    hid_device* handle = hid_open_path(d->path);
    if (!handle) continue;
    Found f{d->path, relays, d->release_number, {}, handle};
    if (ReadReport(handle, &f.state)) {
      found.push_back(std::move(f));
    } else {
      hid_close(handle);
    }
  }
  hid_free_enumeration(list);
  return found;
}

}  // namespace

void CHidRelayPivlink::HandleCloser::operator()(hid_device_* handle) const {
  if (handle) hid_close(handle);
}

CHidRelayPivlink::CHidRelayPivlink(std::string only, std::function<int64_t()> nowMs,
                                   DeviceErrorSink errors)
    : m_only(std::move(only)),
      m_nowMs(nowMs ? std::move(nowMs) : std::function<int64_t()>(SteadyMs)),
      m_errors(errors ? std::move(errors) : DeviceErrorSink(ReportDeviceError)) {}

CHidRelayPivlink::~CHidRelayPivlink() = default;

int CHidRelayPivlink::OpenArvendal() {
  m_boards.clear();
  std::vector<Found> found = Enumerate({});
  for (Found& f : found) {
    Board b;
    b.path = f.path;
    b.id = f.state.id;
    b.relays = f.relays;
    b.version = f.version;
    b.handle.reset(f.handle);
    if (m_only != kAll && b.id != m_only) continue;
    b.location = LocationOf(b.path);
    m_boards.push_back(std::move(b));
  }
  // Device numbers follow the ids, not the order in which the kernel happened
  // to number the nodes.
  std::sort(m_boards.begin(), m_boards.end(), [](const Board& a, const Board& b) {
    return a.id != b.id ? a.id < b.id : a.location < b.location;
  });
  std::map<std::string, int> perId;
  for (const Board& b : m_boards) ++perId[b.id];
  for (Board& b : m_boards) {
    b.shared = perId[b.id] > 1;
    b.serial = b.shared ? SerialOf(b.id, b.location) : SerialOf(b.id);
  }
  for (const auto& [id, count] : perId)
    if (count > 1)
      m_errors("hidrelay: " + std::to_string(count) + " relay boards have the id " + id +
               "; they are told apart by their USB location, so their settings stay only "
               "while they keep their sockets");
  return static_cast<int>(m_boards.size());
}

CHidRelayPivlink::Board* CHidRelayPivlink::Find(int device) {
  if (device < 0 || device >= static_cast<int>(m_boards.size())) return nullptr;
  return &m_boards[static_cast<size_t>(device)];
}

bool CHidRelayPivlink::Reconnect(Board& board) {
  const int64_t now = m_nowMs();
  if (now < board.retryAt) return false;
  board.retryAt = now + kRetryMs;
  auto held = [this](const std::string& path) {
    return std::any_of(m_boards.begin(), m_boards.end(),
                       [&](const Board& b) { return b.handle && b.path == path; });
  };
  bool back = false;
  for (Found& f : Enumerate(held)) {
    const bool same = !back && f.state.id == board.id && f.relays == board.relays &&
                      (!board.shared || LocationOf(f.path) == board.location);
    if (same) {
      board.path = f.path;
      board.handle.reset(f.handle);
      back = true;
    } else {
      hid_close(f.handle);
    }
  }
  return back;
}

bool CHidRelayPivlink::ReadMask(Board& board, unsigned* mask) {
  if (!board.handle && !Reconnect(board)) return false;
  BoardState state;
  if (!ReadReport(board.handle.get(), &state)) {
    board.handle.reset();
    board.retryAt = 0;  // the next call looks for it at once
    return false;
  }
  *mask = state.mask;
  return true;
}

int CHidRelayPivlink::GetUSBType(int device) { return Find(device) ? kTypeSwitch8 : 0; }

int CHidRelayPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  const Board* b = Find(device);
  if (!b) return kFailed;
  if (switchCount) *switchCount = b->relays;
  if (buttonAvailable) *buttonAvailable = 0;
  return kDone;
}

int CHidRelayPivlink::GetOnlineOnCount(int /*device*/) { return 0; }
int CHidRelayPivlink::IsAmpel(int /*device*/) { return 0; }
int CHidRelayPivlink::IsCutter(int /*device*/) { return 0; }

int CHidRelayPivlink::GetVersion(int device) {
  const Board* b = Find(device);
  return b ? b->version : 0;
}

int CHidRelayPivlink::GetSerialNumber(int device) {
  const Board* b = Find(device);
  return b ? b->serial : 0;
}

int CHidRelayPivlink::GetSwitch(int device, int switchId) {
  Board* b = Find(device);
  const int relay = switchId - kFirstSwitchId;
  unsigned mask = 0;
  if (!b || relay < 0 || relay >= b->relays || !ReadMask(*b, &mask)) return kUnreachable;
  return static_cast<int>((mask >> relay) & 1u);
}

int CHidRelayPivlink::SetSwitch(int device, int switchId, int on) {
  Board* b = Find(device);
  const int relay = switchId - kFirstSwitchId;
  if (!b || relay < 0 || relay >= b->relays) return kFailed;
  if (!b->handle && !Reconnect(*b)) return kFailed;
  const Report command = SwitchCommand(relay + 1, on != 0);
  if (hid_send_feature_report(b->handle.get(), command.data(), command.size()) < 0) {
    b->handle.reset();
    b->retryAt = 0;
    return kFailed;
  }
  return kDone;
}

int CHidRelayPivlink::GetMultiSwitch(int device, unsigned long* /*mask*/, unsigned long* value,
                                     int /*seq*/) {
  Board* b = Find(device);
  unsigned mask = 0;
  if (!b || !value || !ReadMask(*b, &mask)) return kUnreachable;
  *value = mask & ((1u << b->relays) - 1u);
  return 0;
}

// The relays keep their states when the program ends, as a hub's ports do.
int CHidRelayPivlink::ResetDevice(int device) { return Find(device) ? kDone : kFailed; }

std::string CHidRelayPivlink::DeviceName(int device) {
  const Board* b = Find(device);
  if (!b) return {};
  return b->shared ? b->id + "@" + b->location : b->id;
}

std::vector<std::pair<std::string, std::string>> CHidRelayPivlink::Available() {
  std::vector<std::pair<std::string, std::string>> entries;
  for (Found& f : Enumerate({})) {
    entries.emplace_back("hidrelay:" + f.state.id,
                         "USB relay board with " + std::to_string(f.relays) + " relays");
    hid_close(f.handle);
  }
  return entries;
}

void RegisterHidRelay(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "hidrelay";
  info.open = [](const std::string& argument,
                 std::string* reason) -> std::unique_ptr<CBackendPivlink> {
    const bool plainId = argument.size() == kIdLength &&
                         BoardName(reinterpret_cast<const unsigned char*>(argument.data()),
                                   argument.size()) == argument;
    if (argument != kAll && !plainId) {
      *reason = "expected hidrelay:* or hidrelay:ID with a board's 5-character id";
      return nullptr;
    }
    return std::make_unique<CHidRelayPivlink>(argument);
  };
  info.available = &CHidRelayPivlink::Available;
  info.defaultEntry = "hidrelay:*";
  registry.Register(std::move(info));
}

}  // namespace toggra

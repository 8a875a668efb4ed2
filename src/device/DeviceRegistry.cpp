// The back-end registry, the composite library and the device configuration.
#include "device/DeviceRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "config/Config.h"
#include "settings/Registry.h"

namespace toggra {

namespace {

std::string Trim(const std::string& s) {
  const char* ws = " \t\r\n";
  const size_t b = s.find_first_not_of(ws);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

}  // namespace

std::vector<std::string> SplitDeviceList(const std::string& list) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string piece = Trim(list.substr(start, end - start));
    if (!piece.empty()) entries.push_back(std::move(piece));
    start = end + 1;
  }
  return entries;
}

bool ParseDeviceEntry(const std::string& text, DeviceEntry* entry, std::string* reason) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) {
    *reason = "expected BACKEND:ARGUMENT";
    return false;
  }
  entry->text = text;
  entry->backend = text.substr(0, colon);
  entry->argument = text.substr(colon + 1);
  return true;
}

// ---- the composite ----

CCompositePivlink::CCompositePivlink(std::vector<Part> parts) : m_parts(std::move(parts)) {}

int CCompositePivlink::OpenArvendal() {
  m_slots.clear();
  for (size_t p = 0; p < m_parts.size(); ++p) {
    const int n = m_parts[p].library->OpenArvendal();
    for (int d = 0; d < n; ++d) m_slots.push_back({m_parts[p].library.get(), d, p});
  }
  return static_cast<int>(m_slots.size());
}

const CCompositePivlink::Slot* CCompositePivlink::Find(int device) const {
  if (device < 0 || static_cast<size_t>(device) >= m_slots.size()) return nullptr;
  return &m_slots[static_cast<size_t>(device)];
}

int CCompositePivlink::GetUSBType(int device) {
  const Slot* s = Find(device);
  return s ? s->library->GetUSBType(s->local) : 0;
}

int CCompositePivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  const Slot* s = Find(device);
  return s ? s->library->GetSwitchConfig(s->local, switchCount, buttonAvailable) : 0;
}

int CCompositePivlink::GetOnlineOnCount(int device) {
  const Slot* s = Find(device);
  return s ? s->library->GetOnlineOnCount(s->local) : 0;
}

int CCompositePivlink::IsAmpel(int device) {
  const Slot* s = Find(device);
  return s ? s->library->IsAmpel(s->local) : 0;
}

int CCompositePivlink::GetVersion(int device) {
  const Slot* s = Find(device);
  return s ? s->library->GetVersion(s->local) : 0;
}

int CCompositePivlink::GetSerialNumber(int device) {
  const Slot* s = Find(device);
  return s ? s->library->GetSerialNumber(s->local) : 0;
}

int CCompositePivlink::IsCutter(int device) {
  const Slot* s = Find(device);
  return s ? s->library->IsCutter(s->local) : 0;
}

int CCompositePivlink::GetSwitch(int device, int switchId) {
  const Slot* s = Find(device);
  return s ? s->library->GetSwitch(s->local, switchId) : -1;
}

int CCompositePivlink::SetSwitch(int device, int switchId, int on) {
  const Slot* s = Find(device);
  return s ? s->library->SetSwitch(s->local, switchId, on) : 0;
}

int CCompositePivlink::GetMultiSwitch(int device, unsigned long* mask, unsigned long* value,
                                      int seq) {
  const Slot* s = Find(device);
  return s ? s->library->GetMultiSwitch(s->local, mask, value, seq) : -1;
}

int CCompositePivlink::ResetDevice(int device) {
  const Slot* s = Find(device);
  return s ? s->library->ResetDevice(s->local) : 0;
}

std::string CCompositePivlink::DeviceName(int device) {
  const Slot* s = Find(device);
  return s ? s->library->DeviceName(s->local) : std::string();
}

DeviceHardware CCompositePivlink::Hardware(int device) {
  const Slot* s = Find(device);
  return s ? s->library->Hardware(s->local) : DeviceHardware{};
}

std::string CCompositePivlink::ChannelName(int device, int channel) {
  const Slot* s = Find(device);
  return s ? s->library->ChannelName(s->local, channel) : std::string();
}

bool CCompositePivlink::Settle(int device, int limitMs) {
  const Slot* s = Find(device);
  return s ? s->library->Settle(s->local, limitMs) : true;
}

std::vector<std::pair<size_t, std::function<std::unique_ptr<CBackendPivlink>()>>>
CCompositePivlink::Waiting() const {
  std::vector<size_t> devices(m_parts.size(), 0);
  for (const Slot& s : m_slots) ++devices[s.part];
  std::vector<std::pair<size_t, std::function<std::unique_ptr<CBackendPivlink>()>>> waiting;
  for (size_t p = 0; p < m_parts.size(); ++p)
    if (devices[p] == 0 && m_parts[p].reopen) waiting.emplace_back(p, m_parts[p].reopen);
  return waiting;
}

int CCompositePivlink::Adopt(size_t part, std::unique_ptr<CBackendPivlink> library, int count) {
  const int first = static_cast<int>(m_slots.size());
  if (part >= m_parts.size() || !library) return first;
  for (const Slot& s : m_slots)
    if (s.part == part) return first;  // found devices meanwhile: keep those
  m_parts[part].library = std::move(library);
  for (int d = 0; d < count; ++d) m_slots.push_back({m_parts[part].library.get(), d, part});
  return first;
}

std::vector<std::pair<size_t, CDriverPivlink*>> CCompositePivlink::Growable() const {
  std::vector<size_t> devices(m_parts.size(), 0);
  for (const Slot& s : m_slots) ++devices[s.part];
  std::vector<std::pair<size_t, CDriverPivlink*>> growable;
  for (size_t p = 0; p < m_parts.size(); ++p)
    if (devices[p] > 0 && m_parts[p].reopen)
      if (auto* kit = dynamic_cast<CDriverPivlink*>(m_parts[p].library.get()))
        growable.emplace_back(p, kit);
  return growable;
}

int CCompositePivlink::AdoptMore(size_t part, int count) {
  const int first = static_cast<int>(m_slots.size());
  if (part >= m_parts.size()) return first;
  int local = 0;
  for (const Slot& s : m_slots) local += s.part == part;
  for (int d = 0; d < count; ++d)
    m_slots.push_back({m_parts[part].library.get(), local + d, part});
  return first;
}

std::string CCompositePivlink::BackendName(int device) const {
  const Slot* s = Find(device);
  return s ? m_parts[s->part].backend : std::string();
}

std::string CCompositePivlink::ChannelId(int device, int channel) {
  const Slot* s = Find(device);
  if (!s) return {};
  return m_parts[s->part].backend + ":" + s->library->DeviceName(s->local) + ":" +
         s->library->ChannelName(s->local, channel);
}

// ---- the registry ----

void CDeviceRegistry::Register(BackendInfo info) { m_backends.push_back(std::move(info)); }

const BackendInfo* CDeviceRegistry::Find(const std::string& name) const {
  for (const BackendInfo& b : m_backends)
    if (b.name == name) return &b;
  return nullptr;
}

std::unique_ptr<CCompositePivlink> CDeviceRegistry::Open(const std::vector<std::string>& entries,
                                                         const DeviceErrorSink& errors,
                                                         DriverServing serving) const {
  std::vector<CCompositePivlink::Part> parts;
  auto report = [&](const std::string& text, const std::string& reason) {
    if (errors) errors("device entry " + text + ": " + reason);
  };
  for (const std::string& text : entries) {
    DeviceEntry entry;
    std::string reason;
    if (!ParseDeviceEntry(text, &entry, &reason)) {
      report(text, reason);
      continue;
    }
    const BackendInfo* backend = Find(entry.backend);
    if (!backend) {
      report(text, "unknown back-end \"" + entry.backend + "\"");
      continue;
    }
    if (backend->resolve) {
      backend = backend->resolve(&reason);
      if (!backend) {
        report(text, reason);
        continue;
      }
    }
    // The same steps for the start and for a later look at a waiting entry.
    auto open = [backend, argument = entry.argument, serving, errors, text](
                    std::string* why) -> std::unique_ptr<CBackendPivlink> {
      if (backend->driver) {
        std::unique_ptr<IDriver> driver = backend->driver(argument, why);
        if (!driver) return nullptr;
        CDriverPivlink::Options options;
        options.serving = serving;
        options.errors = [errors, text](const std::string& message) {
          if (errors) errors("device entry " + text + ": " + message);
        };
        return std::make_unique<CDriverPivlink>(std::move(driver), std::move(options));
      }
      if (backend->open) return backend->open(argument, why);
      return nullptr;
    };
    std::unique_ptr<CBackendPivlink> library = open(&reason);
    if (!library) {
      report(text, reason.empty() ? "cannot be used" : reason);
      continue;
    }
    std::function<std::unique_ptr<CBackendPivlink>()> reopen;
    if (backend->hotplug && backend->driver)
      reopen = [open] {
        std::string ignored;
        return open(&ignored);
      };
    parts.push_back({entry.backend, text, std::move(library), std::move(reopen)});
  }
  return std::make_unique<CCompositePivlink>(std::move(parts));
}

std::vector<std::string> CDeviceRegistry::DefaultEntries() const {
  std::vector<std::string> entries;
  for (const BackendInfo& b : m_backends)
    if (!b.defaultEntry.empty()) entries.push_back(b.defaultEntry);
  return entries;
}

std::vector<std::string> ConfiguredDeviceEntries(
    IRegistry* registry, const std::function<const char*(const char*)>& getenvFn) {
  auto env = [&](const char* name) -> const char* {
    return getenvFn ? getenvFn(name) : std::getenv(name);
  };
  if (const char* list = env("TOGGRA_DEVICES"); list && *list) return SplitDeviceList(list);
  if (const char* bench = env("TOGGRA_BENCH"); bench && *bench)
    return {std::string("bench:") + bench};
  // toggra.conf over the hive value, as `toggra-ctl config` shows them: an
  // empty hive value counts as not set, as an empty variable does.
  if (auto entries = config::Resolve(*config::FindSetting(config::kSectionDevices, "entries"),
                                     config::LoadConfig(getenvFn), registry, getenvFn))
    return SplitDeviceList(entries->value);
  return BuiltinRegistry().DefaultEntries();
}

namespace {

// The messages not yet taken into the window's log; drivers report from their
// own threads.
constexpr size_t kKeptErrors = 64;
std::mutex g_errorsMutex;
std::vector<std::string> g_errors;

}  // namespace

void ReportDeviceError(const std::string& message) {
  std::fprintf(stderr, "toggra: %s\n", message.c_str());
  std::fflush(stderr);
  std::lock_guard lock(g_errorsMutex);
  if (g_errors.size() < kKeptErrors) g_errors.push_back(message);
}

std::vector<std::string> TakeDeviceErrors() {
  std::lock_guard lock(g_errorsMutex);
  return std::exchange(g_errors, {});
}

}  // namespace toggra

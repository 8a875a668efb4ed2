// The registry of driver back-ends and the configuration that picks them.
//
// A configuration is a list of entries `BACKEND:ARGUMENT` ("bench:/tmp/a.bench",
// "usbhub:1-1.4:2,3"). The registry opens one back-end object per entry and
// joins them into one CCompositePivlink: the program sees one library whose
// device numbers run over the entries in configured order.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/Backend.h"
#include "device/kit/DriverPivlink.h"

namespace toggra {

class IRegistry;

using DeviceErrorSink = std::function<void(const std::string&)>;

// One configuration entry, split at its first ':'.
struct DeviceEntry {
  std::string text;      // as configured, for messages
  std::string backend;   // before the first ':'
  std::string argument;  // after it
};

// Splits a `;`-separated list; empty pieces (a trailing ';') are dropped.
std::vector<std::string> SplitDeviceList(const std::string& list);
// Splits one entry; false (and *reason) when it has no back-end name.
bool ParseDeviceEntry(const std::string& text, DeviceEntry* entry, std::string* reason);

// What the registry knows of one back-end.
struct BackendInfo {
  std::string name;
  // Opens the back-end for an entry's argument; null with *reason set when the
  // entry cannot be used. Must not switch anything.
  std::function<std::unique_ptr<CBackendPivlink>(const std::string& argument,
                                                 std::string* reason)>
      open;
  // Or, for a back-end on the driver kit: its driver for an entry's argument,
  // which the registry serves through a CDriverPivlink.
  std::function<std::unique_ptr<IDriver>(const std::string& argument, std::string* reason)>
      driver;
  // Entries that would enable hardware that is present but not configured
  // (for `toggra-ctl list --all`), each with a short description. Optional.
  std::function<std::vector<std::pair<std::string, std::string>>()> available;
  // The entry this back-end contributes when nothing is configured, or empty.
  std::string defaultEntry;
  // Its devices can come and go (USB, GPIO chips): an entry of it that found
  // no device is opened anew when udev reports a device (device/Rescan.h).
  bool hotplug = true;
  // Or, for a back-end in a module: the back-end as the module registers it
  // (its `open` or `driver`), loading the module on the first call; null with
  // *reason when the module cannot be loaded.
  std::function<const BackendInfo*(std::string* reason)> resolve;
};

// The devices of several back-ends as one library. OpenArvendal opens every
// part in order and numbers their devices one after the other; per-device
// calls go to the part that holds the device, with its own number. Numbers
// outside the list get the answers of a missing device.
class CCompositePivlink : public CBackendPivlink {
 public:
  struct Part {
    std::string backend;  // the back-end's name
    std::string entry;    // the configuration entry it came from
    std::unique_ptr<CBackendPivlink> library;
    // Opens the entry anew (a fresh library, not yet opened); empty for a
    // back-end whose devices do not come and go.
    std::function<std::unique_ptr<CBackendPivlink>()> reopen = {};
  };

  explicit CCompositePivlink(std::vector<Part> parts);

  int OpenArvendal() override;
  int GetUSBType(int device) override;
  int GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) override;
  int GetOnlineOnCount(int device) override;
  int IsAmpel(int device) override;
  int GetVersion(int device) override;
  int GetSerialNumber(int device) override;
  int IsCutter(int device) override;
  int GetSwitch(int device, int switchId) override;
  int SetSwitch(int device, int switchId, int on) override;
  int GetMultiSwitch(int device, unsigned long* mask, unsigned long* value, int seq) override;
  int ResetDevice(int device) override;
  std::string DeviceName(int device) override;
  std::string ChannelName(int device, int channel) override;
  DeviceHardware Hardware(int device) override;
  bool Settle(int device, int limitMs) override;

  // The back-end name of a device ("" outside the list).
  std::string BackendName(int device) const;
  // The stable id `BACKEND:DEVICE:CHANNEL` of channel id 16 + `channel`.
  std::string ChannelId(int device, int channel);
  const std::vector<Part>& Parts() const { return m_parts; }

  // The parts that found no device and can be opened anew, by part index.
  std::vector<std::pair<size_t, std::function<std::unique_ptr<CBackendPivlink>()>>> Waiting()
      const;
  // Puts `library` (opened, with `count` devices) in place of the empty part
  // `part`. Its devices get the numbers after the present ones, so the
  // numbers already given out stay valid. Returns the first new number.
  int Adopt(size_t part, std::unique_ptr<CBackendPivlink> library, int count);
  // The parts with devices that are served by the driver kit, whose driver
  // may find more (CDriverPivlink::PrepareMore), by part index.
  std::vector<std::pair<size_t, CDriverPivlink*>> Growable() const;
  // Counts `count` more devices of part `part` (after its CommitMore) after
  // the present ones; returns the first new number.
  int AdoptMore(size_t part, int count);
  // The number of devices, as OpenArvendal and Adopt left it.
  int Count() const { return static_cast<int>(m_slots.size()); }

 private:
  struct Slot {
    CBackendPivlink* library = nullptr;
    int local = 0;
    size_t part = 0;
  };
  const Slot* Find(int device) const;

  std::vector<Part> m_parts;
  std::vector<Slot> m_slots;  // by device number, after OpenArvendal
};

class CDeviceRegistry {
 public:
  void Register(BackendInfo info);
  const BackendInfo* Find(const std::string& name) const;
  const std::vector<BackendInfo>& Backends() const { return m_backends; }

  // The composite over `entries`. An entry that cannot be used (bad syntax,
  // unknown back-end, the back-end's own reason) is reported once through
  // `errors` as "device entry ENTRY: REASON" and left out.
  // Drivers are served as `serving` says: by workers for the programs that
  // keep running, on the caller's thread for one-shot commands.
  std::unique_ptr<CCompositePivlink> Open(const std::vector<std::string>& entries,
                                          const DeviceErrorSink& errors,
                                          DriverServing serving = DriverServing::kWorkers) const;
  // The entries used when nothing is configured.
  std::vector<std::string> DefaultEntries() const;

 private:
  std::vector<BackendInfo> m_backends;
};

// Every back-end built into this program, registered once.
const CDeviceRegistry& BuiltinRegistry();

// The configured entries: TOGGRA_DEVICES (`;`-separated) when set, else
// TOGGRA_BENCH=FILE as `bench:FILE`, else `entries` in [devices] of toggra.conf
// (config/Config.h), else the string value "Devices" under the
// application's key in the user hive (when `registry` is given), else the
// back-ends' defaults. `getenv` is replaceable for tests.
std::vector<std::string> ConfiguredDeviceEntries(
    IRegistry* registry, const std::function<const char*(const char*)>& getenv = nullptr);

// Writes "toggra: MESSAGE" and a line end to stderr: the default error sink.
// The message is also kept (the first 64) for TakeDeviceErrors.
void ReportDeviceError(const std::string& message);

// The messages ReportDeviceError gave since the last call, oldest first: the
// window puts them into its log. Safe from any thread.
std::vector<std::string> TakeDeviceErrors();

}  // namespace toggra

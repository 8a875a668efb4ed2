// `hidrelay`: the USB HID relay boards, one device per board and one channel
// per relay, through hidapi's hidraw back-end: 16c0:05df (feature reports,
// read back) and the clones 0519:2018 and 5131:2007 (output reports, not read
// back; see HidRelayBoard.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/hidrelay/HidRelayBoard.h"
#include "device/kit/Driver.h"

struct hid_device_;

namespace toggra {

class CHidRelayDriver : public IDriver {
 public:
  // `only` is a board id, or "*" for every board. `nowMs` (milliseconds,
  // monotonic) paces the attempts to find a board that went away; `errors`
  // receives the warnings (by default stderr).
  explicit CHidRelayDriver(std::string only, std::function<int64_t()> nowMs = {},
                           DeviceErrorSink errors = {});
  ~CHidRelayDriver() override;

  // A board whose id another board shares is named "ID@LOCATION".
  std::vector<DriverDevice> Enumerate() override;
  // Boards of this entry plugged in since, with ids no board of it had; a
  // board that comes back is its lost device's (Read and Write reconnect).
  std::vector<DriverDevice> EnumerateMore() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

  // The boards present now, as `hidrelay:ID` entries with a description.
  static std::vector<std::pair<std::string, std::string>> Available();

 private:
  struct HandleCloser {
    void operator()(hid_device_* handle) const;
  };
  using Handle = std::unique_ptr<hid_device_, HandleCloser>;
  struct Board {
    std::string path;
    std::string id;
    std::string location;
    bool shared = false;  // another board has the same id
    int relays = 0;
    int version = 0;
    hidrelay::Protocol protocol = hidrelay::Protocol::kFeature;
    std::string manufacturer, product;  // the USB strings
    Handle handle;
    int64_t retryAt = 0;  // when a lost board is looked for next
  };

  // The boards found now that are not held, but for those of an id `known`
  // names; appended to m_boards and returned as devices.
  std::vector<DriverDevice> Take(const std::function<bool(const std::string&)>& known);
  Board* Find(int device);
  bool Reconnect(Board& board);
  void Close(Board& board);

  std::string m_only;
  std::function<int64_t()> m_nowMs;
  DeviceErrorSink m_errors;
  // Numbered by Enumerate, more appended by EnumerateMore; each board is
  // used by its own thread.
  std::vector<std::unique_ptr<Board>> m_boards;
  // Guards m_boards and the nodes held by some board: the boards' threads
  // share the search for lost boards, and EnumerateMore adds boards while
  // they run.
  std::mutex m_heldMutex;
  std::set<std::string> m_held;
  std::set<std::string> m_refusedReported;  // nodes that could not be opened, said once
};

// Registers `hidrelay:*` (the default entry) and `hidrelay:ID`.
void RegisterHidRelay(CDeviceRegistry& registry);

}  // namespace toggra

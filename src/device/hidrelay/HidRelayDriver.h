// `hidrelay`: the USB HID relay boards, one device per board and one channel
// per relay, through hidapi's hidraw back-end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
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
    std::string manufacturer, product;  // the USB strings
    Handle handle;
    int64_t retryAt = 0;  // when a lost board is looked for next
  };

  Board* Find(int device);
  bool Reconnect(Board& board);
  void Close(Board& board);

  std::string m_only;
  std::function<int64_t()> m_nowMs;
  DeviceErrorSink m_errors;
  std::vector<Board> m_boards;  // fixed by Enumerate; each board's own thread
  // The nodes held by some board: the boards' threads share the search for
  // lost boards.
  std::mutex m_heldMutex;
  std::set<std::string> m_held;
  std::set<std::string> m_refusedReported;  // nodes that could not be opened, said once
};

// Registers `hidrelay:*` (the default entry) and `hidrelay:ID`.
void RegisterHidRelay(CDeviceRegistry& registry);

}  // namespace toggra

// `hidrelay`: the USB HID relay boards as plain switch devices, one channel per
// relay, through hidapi's hidraw back-end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/Backend.h"
#include "device/DeviceRegistry.h"

struct hid_device_;

namespace toggra {

class CHidRelayPivlink : public CBackendPivlink {
 public:
  // `only` is a board id, or "*" for every board. `nowMs` (milliseconds,
  // monotonic) paces the attempts to find a board that went away; `errors`
  // receives the warnings (by default stderr).
  explicit CHidRelayPivlink(std::string only, std::function<int64_t()> nowMs = {},
                            DeviceErrorSink errors = {});
  ~CHidRelayPivlink() override;

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
  // The board's id; a board whose id another board shares is "ID@LOCATION".
  std::string DeviceName(int device) override;

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
    int serial = 0;
    Handle handle;
    int64_t retryAt = 0;  // when a lost board is looked for next
  };

  Board* Find(int device);
  // Reads the relay mask; a failure closes the board until it is found again.
  bool ReadMask(Board& board, unsigned* mask);
  bool Reconnect(Board& board);

  std::string m_only;
  std::function<int64_t()> m_nowMs;
  DeviceErrorSink m_errors;
  std::vector<Board> m_boards;
};

// Registers `hidrelay:*` (the default entry) and `hidrelay:ID`.
void RegisterHidRelay(CDeviceRegistry& registry);

}  // namespace toggra

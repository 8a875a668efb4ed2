// `sispm`: the USB power strips, one device per strip and one channel per
// outlet, through hidapi's hidraw back-end (feature reports).
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

class CSispmDriver : public IDriver {
 public:
  // `only` is a serial (10 lower-case hex digits) or "*" for every strip.
  // `nowMs` (milliseconds, monotonic) paces the search for a strip that went
  // away; `errors` receives the warnings (by default stderr).
  explicit CSispmDriver(std::string only, std::function<int64_t()> nowMs = {},
                        DeviceErrorSink errors = {});
  ~CSispmDriver() override;

  // A strip whose serial another strip shares is named "SERIAL@LOCATION".
  std::vector<DriverDevice> Enumerate() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

  // The strips present now, as `sispm:SERIAL` entries with a description.
  static std::vector<std::pair<std::string, std::string>> Available();

 private:
  struct HandleCloser {
    void operator()(hid_device_* handle) const;
  };
  using Handle = std::unique_ptr<hid_device_, HandleCloser>;
  struct Strip {
    std::string path;
    std::string serial;
    std::string location;
    bool shared = false;
    unsigned short product = 0;
    int outlets = 0;
    Handle handle;
    int64_t retryAt = 0;
    std::string lastComplaint;  // the last answer not understood, said once
  };

  Strip* Find(int device);
  bool Reconnect(Strip& strip);
  void Close(Strip& strip);
  void Complain(Strip& strip, const std::string& what);

  std::string m_only;
  std::function<int64_t()> m_nowMs;
  DeviceErrorSink m_errors;
  std::vector<Strip> m_strips;
  std::mutex m_mutex;  // m_held and m_errors, shared by the strips' threads
  std::set<std::string> m_held;
  std::set<std::string> m_reported;  // nodes refused or not understood, said once
};

// Registers `sispm:*` (a default entry) and `sispm:SERIAL`.
void RegisterSispm(CDeviceRegistry& registry);

}  // namespace toggra

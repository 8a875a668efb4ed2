// USB hubs with per-port power switching: one configured hub is one device,
// each of its ports (or the ports the entry names) one channel. A USB 3 hub's
// two halves (see PartnerCandidates) switch together and count once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/kit/Driver.h"
#include "device/usbhub/HubDevice.h"
#include "device/usbhub/HubEntry.h"

namespace toggra {

class CUsbHubDriver : public IDriver {
 public:
  struct Options {
    // A hub that does not answer within this time fails the request.
    unsigned timeoutMs = 250;
    // Where the ports' `disable` attributes are looked for.
    std::string sysfsRoot = "/sys";
  };

  CUsbHubDriver(HubEntry entry, DeviceErrorSink errors, Options options);
  CUsbHubDriver(HubEntry entry, DeviceErrorSink errors)
      : CUsbHubDriver(std::move(entry), std::move(errors), Options{}) {}
  ~CUsbHubDriver() override;

  std::vector<DriverDevice> Enumerate() override;
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

  // The USB 3 half switched with the configured hub, or empty.
  std::string PartnerLocation() const { return m_partnerLocation; }

 private:
  // (Re)opens the configured hub and its partner; false and *reason when the
  // configured hub is not there.
  bool Attach(std::string* reason);
  void Detach();
  void WriteDisable(const std::string& location, int port, bool disabled);
  void Report(const std::string& message);

  HubEntry m_entry;
  DeviceErrorSink m_errors;
  Options m_options;
  std::unique_ptr<CUsbContext> m_context;
  std::unique_ptr<CUsbHub> m_hub;
  std::unique_ptr<CUsbHub> m_partner;
  std::string m_partnerLocation;
  std::vector<std::vector<int>> m_channels;  // the ports of each channel (ganged: all)
  std::string m_reported;    // the last message, not repeated
  bool m_disableRefused = false;  // a refused `disable` attribute is reported once
};

void RegisterUsbHub(CDeviceRegistry& registry);

}  // namespace toggra

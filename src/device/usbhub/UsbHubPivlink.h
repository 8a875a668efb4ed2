// USB hubs with per-port power switching as switch devices: one configured
// hub is one device of type kTypeSwitch8, each of its ports (or the ports the
// entry names) one channel. A USB 3 hub's two halves, paired by their
// Container ID, switch together and count once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/Backend.h"
#include "device/DeviceRegistry.h"
#include "device/usbhub/HubDevice.h"
#include "device/usbhub/HubEntry.h"

namespace toggra {

class CUsbHubPivlink : public CBackendPivlink {
 public:
  struct Options {
    // A hub that does not answer within this time reads unreachable; the
    // poll runs on the event thread, so the wait must stay short.
    unsigned timeoutMs = 250;
    // Where the ports' `disable` attributes are looked for.
    std::string sysfsRoot = "/sys";
  };

  CUsbHubPivlink(HubEntry entry, DeviceErrorSink errors, Options options);
  CUsbHubPivlink(HubEntry entry, DeviceErrorSink errors)
      : CUsbHubPivlink(std::move(entry), std::move(errors), Options{}) {}
  ~CUsbHubPivlink() override;

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

  // The USB 3 half switched with the configured hub, or empty.
  std::string PartnerLocation() const { return m_partnerLocation; }

 private:
  bool Valid(int device) const { return device == 0 && m_found; }
  // The port of channel id `switchId`, or 0.
  int PortOf(int switchId) const;
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
  bool m_found = false;     // counted by the last OpenArvendal
  std::vector<int> m_ports;  // by channel
  int m_version = 0;
  std::string m_reported;  // the last message, not repeated
};

void RegisterUsbHub(CDeviceRegistry& registry);

}  // namespace toggra

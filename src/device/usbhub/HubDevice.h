// The hub class requests (USB 2.0, 11.24) over libusb: one open hub, and the
// enumeration of the hubs attached to the machine.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace toggra {

// One libusb session; the hubs opened through it must go before it.
class CUsbContext {
 public:
  CUsbContext();
  ~CUsbContext();
  CUsbContext(const CUsbContext&) = delete;
  CUsbContext& operator=(const CUsbContext&) = delete;

  bool Valid() const { return m_context != nullptr; }
  libusb_context* Get() const { return m_context; }

 private:
  libusb_context* m_context = nullptr;
};

using ContainerId = std::array<unsigned char, 16>;

// What enumeration learns of a hub without switching anything.
struct HubFacts {
  std::string location;
  bool superSpeed = false;  // the USB 3 half of a hub (bDeviceProtocol 3)
  int ports = 0;
  bool perPortPower = false;  // wHubCharacteristics bits 0-1 == 01
  int version = 0;            // bcdDevice
  int vendor = 0, product = 0;
  std::optional<ContainerId> containerId;
};

// Result of one request to a hub.
enum class HubResult { kOk, kGone, kFailed };

class CUsbHub {
 public:
  // Opens the device and reads its hub descriptor and Container ID; null with
  // *reason when it is no hub or cannot be opened.
  static std::unique_ptr<CUsbHub> Open(libusb_device* device, unsigned timeoutMs,
                                       std::string* reason);
  ~CUsbHub();
  CUsbHub(const CUsbHub&) = delete;
  CUsbHub& operator=(const CUsbHub&) = delete;

  const HubFacts& Facts() const { return m_facts; }
  // Port power as the hub reports it (*on), from GET_STATUS of the port.
  HubResult PortPower(int port, bool* on);
  HubResult SetPortPower(int port, bool on);

 private:
  CUsbHub(libusb_device_handle* handle, unsigned timeoutMs) : m_handle(handle), m_timeoutMs(timeoutMs) {}
  HubResult Control(unsigned char requestType, unsigned char request, unsigned short value,
                    unsigned short index, unsigned char* data, unsigned short length,
                    int* transferred = nullptr);

  libusb_device_handle* m_handle;
  unsigned m_timeoutMs;
  HubFacts m_facts;
};

// "1-1.4" for a device on bus 1 behind port 1 of the root hub and port 4 of
// the next hub; "usb1" for the root hub of bus 1.
std::string DeviceLocation(libusb_device* device);
bool IsHubClass(libusb_device* device);

// A hub present that cannot be opened: its node, the reason and the fix.
struct RefusedHub {
  std::string location;
  std::string reason;
  bool superSpeed = false;  // from the device descriptor, readable unopened
};

// The hubs attached now, each opened once; those that cannot be opened are
// left out, and listed in *refused when given. `locations`, when given, picks
// the hubs to open by location. Root hubs only with `rootHubs`.
std::vector<std::unique_ptr<CUsbHub>> OpenHubs(
    CUsbContext& context, unsigned timeoutMs,
    const std::vector<std::string>* locations = nullptr,
    std::vector<RefusedHub>* refused = nullptr, bool rootHubs = false);

// "usb1": the root hub of bus 1.
bool IsRootLocation(const std::string& location);

// The port path below the root hub: "1.4" for "1-1.4".
std::string PathBelowRoot(const std::string& location);

// The indices in `all` of the hubs that may be the other half of `hub`: the
// other speed, the same Container ID, the same number of ports and the same
// port path below the root. Hubs built from cascaded chips give every chip
// the same Container ID, so the ID alone can name a different socket. Only a
// single candidate is a pair; with several, none of them is switched.
std::vector<size_t> PartnerCandidates(const HubFacts& hub, const std::vector<HubFacts>& all);

// The text that says a hub's USB 3 half is left unpaired, naming the candidates.
std::string UnpairedText(const std::vector<HubFacts>& all, const std::vector<size_t>& candidates);

// The text that says a hub's other half may be a hub that cannot be opened
// (the other speed at the same port path), naming it with its node, reason and
// fix; empty when there is none.
std::string UnopenedHalfText(const HubFacts& hub, const std::vector<RefusedHub>& refused);

// Every per-port switching hub attached now, as `usbhub:LOCATION` entries with
// a description; the two halves of a USB 3 hub count once (the USB 2 half).
std::vector<std::pair<std::string, std::string>> AvailableHubEntries();

}  // namespace toggra

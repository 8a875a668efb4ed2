#include "device/usbhub/HubDevice.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>

namespace toggra {

namespace {

constexpr unsigned char kClassHub = 9;
constexpr unsigned char kProtocolSuperSpeedHub = 3;
// Hub class requests.
constexpr unsigned char kTypeGetHubDescriptor = 0xA0;  // class, device, IN
constexpr unsigned char kTypeGetPortStatus = 0xA3;     // class, other (port), IN
constexpr unsigned char kTypePortFeature = 0x23;       // class, other (port), OUT
constexpr unsigned char kRequestGetStatus = 0;
constexpr unsigned char kRequestClearFeature = 1;
constexpr unsigned char kRequestSetFeature = 3;
constexpr unsigned char kRequestGetDescriptor = 6;
constexpr unsigned short kHubDescriptor = 0x2900;
constexpr unsigned short kSuperSpeedHubDescriptor = 0x2A00;
constexpr unsigned short kFeaturePortPower = 8;
constexpr unsigned kPortPowerBit = 1u << 8;           // in wPortStatus of a USB 2 hub
constexpr unsigned kSuperSpeedPortPowerBit = 1u << 9;  // of a USB 3 hub
constexpr unsigned kPowerSwitchingMask = 0x03;         // wHubCharacteristics bits 0-1
constexpr unsigned kPerPortPowerSwitching = 0x01;
constexpr int kHubDescriptorMinLength = 5;
constexpr int kPortStatusLength = 4;
constexpr int kMaxPortDepth = 7;

}  // namespace

CUsbContext::CUsbContext() {
  if (libusb_init(&m_context) != 0) m_context = nullptr;
}

CUsbContext::~CUsbContext() {
  if (m_context) libusb_exit(m_context);
}

std::string DeviceLocation(libusb_device* device) {
  uint8_t ports[kMaxPortDepth];
  const int n = libusb_get_port_numbers(device, ports, kMaxPortDepth);
  if (n == 0) return "usb" + std::to_string(libusb_get_bus_number(device));  // root hub
  if (n < 0) return {};
  std::string location = std::to_string(libusb_get_bus_number(device)) + "-";
  for (int i = 0; i < n; ++i) location += (i ? "." : "") + std::to_string(ports[i]);
  return location;
}

bool IsHubClass(libusb_device* device) {
  libusb_device_descriptor d{};
  return libusb_get_device_descriptor(device, &d) == 0 && d.bDeviceClass == kClassHub;
}

std::unique_ptr<CUsbHub> CUsbHub::Open(libusb_device* device, unsigned timeoutMs,
                                       std::string* reason) {
  libusb_device_descriptor d{};
  if (libusb_get_device_descriptor(device, &d) != 0 || d.bDeviceClass != kClassHub) {
    *reason = "no hub at this location";
    return nullptr;
  }
  libusb_device_handle* handle = nullptr;
  if (const int rc = libusb_open(device, &handle); rc != 0) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    *reason = std::string(node) +
              (rc == LIBUSB_ERROR_ACCESS ? ": no permission (" : ": cannot be opened (") +
              libusb_strerror(rc) +
              "); fix: install the udev rule 70-toggra-usbhub.rules and join the group toggra "
              "(sudo usermod -aG toggra USER), then log in again";
    return nullptr;
  }
  std::unique_ptr<CUsbHub> hub(new CUsbHub(handle, timeoutMs));
  HubFacts& f = hub->m_facts;
  f.location = DeviceLocation(device);
  f.superSpeed = d.bDeviceProtocol == kProtocolSuperSpeedHub;
  f.version = d.bcdDevice;
  f.vendor = d.idVendor;
  f.product = d.idProduct;

  unsigned char desc[64] = {};
  int length = 0;
  const unsigned short which = f.superSpeed ? kSuperSpeedHubDescriptor : kHubDescriptor;
  if (hub->Control(kTypeGetHubDescriptor, kRequestGetDescriptor, which, 0, desc, sizeof desc,
                   &length) != HubResult::kOk ||
      length < kHubDescriptorMinLength) {
    *reason = "the hub descriptor cannot be read";
    return nullptr;
  }
  f.ports = desc[2];
  const unsigned characteristics = desc[3] | (desc[4] << 8);
  f.perPortPower = (characteristics & kPowerSwitchingMask) == kPerPortPowerSwitching;

  libusb_bos_descriptor* bos = nullptr;
  if (libusb_get_bos_descriptor(handle, &bos) == 0 && bos) {
    for (int i = 0; i < bos->bNumDeviceCaps; ++i) {
      libusb_container_id_descriptor* cid = nullptr;
      if (bos->dev_capability[i]->bDevCapabilityType != LIBUSB_BT_CONTAINER_ID ||
          libusb_get_container_id_descriptor(nullptr,
                                             bos->dev_capability[i], &cid) != 0)
        continue;
      ContainerId id{};
      std::copy(std::begin(cid->ContainerID), std::end(cid->ContainerID), id.begin());
      f.containerId = id;
      libusb_free_container_id_descriptor(cid);
    }
    libusb_free_bos_descriptor(bos);
  }
  return hub;
}

CUsbHub::~CUsbHub() { libusb_close(m_handle); }

HubResult CUsbHub::Control(unsigned char requestType, unsigned char request,
                           unsigned short value, unsigned short index, unsigned char* data,
                           unsigned short length, int* transferred) {
  const int rc =
      libusb_control_transfer(m_handle, requestType, request, value, index, data, length, m_timeoutMs);
  if (rc == LIBUSB_ERROR_NO_DEVICE) return HubResult::kGone;
  if (rc < 0) return HubResult::kFailed;
  if (transferred) *transferred = rc;
  return HubResult::kOk;
}

HubResult CUsbHub::PortPower(int port, bool* on) {
  unsigned char status[kPortStatusLength] = {};
  int length = 0;
  const HubResult r = Control(kTypeGetPortStatus, kRequestGetStatus, 0,
                              static_cast<unsigned short>(port), status, kPortStatusLength, &length);
  if (r != HubResult::kOk) return r;
  if (length < kPortStatusLength) return HubResult::kFailed;
  const unsigned bits = status[0] | (status[1] << 8);
  *on = (bits & (m_facts.superSpeed ? kSuperSpeedPortPowerBit : kPortPowerBit)) != 0;
  return HubResult::kOk;
}

HubResult CUsbHub::SetPortPower(int port, bool on) {
  return Control(kTypePortFeature, on ? kRequestSetFeature : kRequestClearFeature,
                 kFeaturePortPower, static_cast<unsigned short>(port), nullptr, 0);
}

std::vector<std::unique_ptr<CUsbHub>> OpenHubs(CUsbContext& context, unsigned timeoutMs,
                                               const std::vector<std::string>* locations,
                                               std::vector<RefusedHub>* refused,
                                               bool rootHubs) {
  std::vector<std::unique_ptr<CUsbHub>> hubs;
  if (!context.Valid()) return hubs;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(context.Get(), &list);
  for (ssize_t i = 0; i < n; ++i) {
    if (!IsHubClass(list[i])) continue;
    const std::string location = DeviceLocation(list[i]);
    // Onboard ports carry the keyboard and the disk: only when named.
    if (location.empty() || (IsRootLocation(location) && !rootHubs)) continue;
    if (locations &&
        std::find(locations->begin(), locations->end(), location) == locations->end())
      continue;
    std::string reason;
    if (auto hub = CUsbHub::Open(list[i], timeoutMs, &reason)) {
      hubs.push_back(std::move(hub));
    } else if (refused) {
      libusb_device_descriptor d{};
      const bool superSpeed = libusb_get_device_descriptor(list[i], &d) == 0 &&
                              d.bDeviceProtocol == kProtocolSuperSpeedHub;
      refused->push_back({location, reason, superSpeed});
    }
  }
  if (list) libusb_free_device_list(list, 1);
  return hubs;
}

bool IsRootLocation(const std::string& location) { return location.rfind("usb", 0) == 0; }

std::string PathBelowRoot(const std::string& location) {
  const size_t dash = location.find('-');
  return dash == std::string::npos ? std::string() : location.substr(dash + 1);
}

std::vector<size_t> PartnerCandidates(const HubFacts& hub, const std::vector<HubFacts>& all) {
  std::vector<size_t> candidates;
  if (!hub.containerId) return candidates;
  for (size_t i = 0; i < all.size(); ++i) {
    const HubFacts& o = all[i];
    if (o.superSpeed != hub.superSpeed && o.containerId == hub.containerId &&
        o.ports == hub.ports && PathBelowRoot(o.location) == PathBelowRoot(hub.location))
      candidates.push_back(i);
  }
  return candidates;
}

std::string UnpairedText(const std::vector<HubFacts>& all, const std::vector<size_t>& candidates) {
  std::vector<std::string> sorted;
  for (size_t i : candidates) sorted.push_back(all[i].location);
  std::sort(sorted.begin(), sorted.end());
  std::string names;
  for (const std::string& name : sorted) names += (names.empty() ? "" : ", ") + name;
  return "other half not paired: " + std::to_string(candidates.size()) +
         " hubs could be it (" + names + "), so only this half is switched";
}

std::string UnopenedHalfText(const HubFacts& hub, const std::vector<RefusedHub>& refused) {
  // Its Container ID and ports cannot be read unopened: the speed and the
  // port path are what is known.
  for (const RefusedHub& r : refused)
    if (r.superSpeed != hub.superSpeed && PathBelowRoot(r.location) == PathBelowRoot(hub.location))
      return std::string("other half not paired: the ") + (r.superSpeed ? "USB 3" : "USB 2") +
             " hub " + r.location + " at the same port path may be it but cannot be opened: " +
             r.reason + "; only this half is switched";
  return {};
}

std::vector<std::pair<std::string, std::string>> AvailableHubEntries() {
  constexpr unsigned kListTimeoutMs = 500;
  CUsbContext context;
  std::vector<RefusedHub> refused;
  std::vector<std::unique_ptr<CUsbHub>> hubs = OpenHubs(context, kListTimeoutMs, nullptr, &refused);
  std::vector<HubFacts> all;
  for (const auto& hub : hubs) all.push_back(hub->Facts());
  std::vector<std::pair<std::string, std::string>> entries;
  for (const HubFacts& f : all) {
    if (!f.perPortPower) continue;
    const std::vector<size_t> candidates = PartnerCandidates(f, all);
    std::string pairing;
    if (candidates.size() == 1) {
      if (f.superSpeed) continue;  // listed with its USB 2 half
      pairing = ", paired with its USB 3 half " + all[candidates[0]].location +
                " (same Container ID, ports and port path)";
    } else if (candidates.size() > 1) {
      pairing = ", " + UnpairedText(all, candidates);
      std::fprintf(stderr, "toggra: usbhub:%s: %s\n", f.location.c_str(),
                   UnpairedText(all, candidates).c_str());
    } else if (const std::string unopened = UnopenedHalfText(f, refused); !unopened.empty()) {
      pairing = ", " + unopened;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%d-port hub %04x:%04x with per-port power switching",
                  f.ports, f.vendor, f.product);
    entries.emplace_back("usbhub:" + f.location, text + pairing);
  }
  // Whether it switches per port is not known before it is opened.
  for (const RefusedHub& r : refused)
    entries.emplace_back("usbhub:" + r.location, "hub, not usable: " + r.reason);
  return entries;
}

}  // namespace toggra

#include "device/Channels.h"

#include <algorithm>
#include <cstdio>

#include "device/Pivlink.h"

namespace toggra {

namespace {

constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;
constexpr uint32_t kSerialBits = 0x7FFFFFFFu;
constexpr unsigned long kChannelBits = 0xFFFF;
constexpr int kMultiChannels = 16;

int MultiMask(CPivlink& lib, int device) {
  unsigned long value = 0;
  if (lib.GetMultiSwitch(device, nullptr, &value, 0) < 0) return -1;
  return static_cast<int>(value & kChannelBits);
}

}  // namespace

bool IsSwitchType(int type) {
  return std::find(kSwitchTypes.begin(), kSwitchTypes.end(), type) != kSwitchTypes.end();
}

int KeyTypeOf(int type, int channel) {
  if (channel < 0 || channel >= static_cast<int>(kKeyTypes.size())) return -1;
  const int key = kKeyTypes[static_cast<size_t>(channel)];
  return key == kDeviceTypeKey ? type : key;
}

int ChannelOfKeyType(int keyType) {
  for (size_t k = 1; k < kKeyTypes.size(); ++k)
    if (kKeyTypes[k] == keyType) return static_cast<int>(k);
  return 0;
}

std::string SettingsPrefix(int keyType, int version, int serial) {
  char text[32];
  std::snprintf(text, sizeof text, "%02x-%02x-%08x", static_cast<unsigned>(keyType),
                static_cast<unsigned>(version), static_cast<unsigned>(serial));
  return text;
}

int NameSerial(const std::string& text) {
  uint32_t hash = kFnvOffset;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= kFnvPrime;
  }
  return static_cast<int>(hash & kSerialBits);
}

int StateOfLamps(int red, int yellow, int green) {
  for (const LampRow& row : kLampTable)
    if (row.red == red && row.yellow == yellow && row.green == green) return row.state;
  return kStateUnreachable;
}

std::array<int, 3> LampsOf(int state) {
  for (const LampRow& row : kLampTable)
    if (row.state == state) return {row.red, row.yellow, row.green};
  return {-1, -1, -1};
}

DeviceClass ClassifyDevice(CPivlink& lib, int device) {
  DeviceClass dc;
  dc.type = lib.GetUSBType(device);
  if (!IsSwitchType(dc.type)) return {};
  int channels = 1, button = 0;
  if (!lib.GetSwitchConfig(device, &channels, &button)) {
    // One retry after this query; its answer itself is not needed.
    lib.GetOnlineOnCount(device);
    if (!lib.GetSwitchConfig(device, &channels, &button)) return {};
  }
  dc.channels = channels;
  dc.trafficLight = lib.IsAmpel(device) != 0;
  dc.usable = true;
  return dc;
}

int ReadChannelState(CPivlink& lib, int device, int switchId, int type, bool trafficLight,
                     int* multiMask) {
  if (trafficLight) {
    const int red = lib.GetSwitch(device, kLampRed);
    const int yellow = lib.GetSwitch(device, kLampYellow);
    const int green = lib.GetSwitch(device, kLampGreen);
    if (red < 0 || yellow < 0 || green < 0) return kLampsUnread;
    return StateOfLamps(red, yellow, green);
  }
  if (type == kTypeMultiSwitch) {
    int mask = multiMask && *multiMask != kMultiUnread ? *multiMask : MultiMask(lib, device);
    if (multiMask) *multiMask = mask;
    const int bit = switchId - kFirstSwitchId;
    if (mask < 0 || bit < 0 || bit >= kMultiChannels) return kStateUnreachable;
    return (mask >> bit) & 1;
  }
  const int v = lib.GetSwitch(device, switchId);
  return v < 0 ? kStateUnreachable : v;
}

}  // namespace toggra

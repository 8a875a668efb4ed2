// The channel layer: what every part that names, classifies or reads a
// channel agrees on, written once. The dialog's poll, toggra-ctl, the MQTT
// bridge and the mqtt back-end all go through these tables and functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/Ids.h"

namespace toggra {

class CPivlink;

// Device type codes that discovery takes as switch devices. A back-end that
// offers plain switches reports kTypeSwitch8 unless it models another type;
// type kTypeMultiSwitch is read with GetMultiSwitch instead of GetSwitch.
constexpr int kTypeSwitch5 = 5;
constexpr int kTypeSwitch8 = 8;
constexpr int kTypeMultiSwitch = 40;
constexpr int kTypeSwitch48 = 48;

inline constexpr std::array<int, 4> kSwitchTypes{kTypeSwitch8, kTypeMultiSwitch, kTypeSwitch48,
                                                 kTypeSwitch5};
bool IsSwitchType(int type);

// IsCutter answers one of these for a device whose channels are inverted
// (the value 0 switches the power on).
inline constexpr int kCutterPlain = 1;
inline constexpr int kCutterAlt = 17;
inline bool IsCutterCode(int cutter) { return cutter == kCutterPlain || cutter == kCutterAlt; }

// The key type is the first field of a channel's settings names, one per
// channel (from 0). The first channel has the device's own type. The values
// are part of the names under which settings are already stored, so they stay
// as they are where they jump (channel 5 has 0x34, not 12).
inline constexpr int kDeviceTypeKey = 0;
inline constexpr std::array<int, 8> kKeyTypes{kDeviceTypeKey, 0x09, 0x0a, 0x0b,
                                              0x34,           0x35, 0x36, 0x37};
// The key type of channel `channel` (from 0) of a device of type `type`, or
// -1 past the table (such channels have no stored settings).
int KeyTypeOf(int type, int channel);
// The channel (from 0) a key type stands for; 0 also for a device type.
int ChannelOfKeyType(int keyType);

// "%02x-%02x-%08x" of key type, version and serial: the settings prefix of a
// channel (the MQTT topics use it with version and key type cut to a byte).
std::string SettingsPrefix(int keyType, int version, int serial);

// The 32-bit FNV-1a hash of `text` with the top bit cleared: the serial
// number a back-end reports for a device it names by text, so that it stays
// positive in "%d" captions and the same name gives the same settings.
int NameSerial(const std::string& text);

// The lamps of a traffic light (red, yellow, green) and the state they show:
// exactly one lamp lit, or none (dark). Any other combination, or a lamp that
// cannot be read, is kStateUnreachable.
struct LampRow {
  int red, yellow, green;
  int state;
};
inline constexpr std::array<LampRow, 4> kLampTable{{
    {1, 0, 0, kStateOff},
    {0, 1, 0, kStateYellow},
    {0, 0, 1, kStateOn},
    {0, 0, 0, kStateDark},
}};
int StateOfLamps(int red, int yellow, int green);
// The lamps of a state; all -1 for a state that is no colour.
std::array<int, 3> LampsOf(int state);

// What a device is, as discovery and toggra-ctl see it: a usable switch
// device, its type, channel count and whether it is a traffic light.
struct DeviceClass {
  bool usable = false;
  int type = 0;
  int channels = 0;
  bool trafficLight = false;
};
DeviceClass ClassifyDevice(CPivlink& lib, int device);

// A traffic light with a lamp that could not be read: the callers that keep
// the last state for it (the dialog's poll) tell it from an unknown colour.
inline constexpr int kLampsUnread = -2;

// The state of one channel as the device reports it now: for a plain channel
// the raw value (1 on, 0 off, before any inversion; a device may report other
// values), kStateUnreachable when it cannot be read; for a traffic light its
// colour, kStateUnreachable for an unknown combination or kLampsUnread. A type-40 device is read with
// GetMultiSwitch; `multiMask`, when given, holds that device's reading of
// this tick (kMultiUnread for not read yet) so that it is read once.
inline constexpr int kMultiUnread = -2;
int ReadChannelState(CPivlink& lib, int device, int switchId, int type, bool trafficLight,
                     int* multiMask = nullptr);

}  // namespace toggra

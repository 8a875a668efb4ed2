// The pieces of the main dialog's start-up that share one settings store:
// the channel table, captions and layout.
#pragma once

#include <array>
#include <string>

#include "app/ToggraDlg.h"

namespace toggra {

// One row per channel c of a device (c from 1). The key type is the first
// field of the channel's settings names: 0 in the first row stands for the
// device's own type. The key types are part of the names under which settings
// are already stored, so they stay as they are where they jump (channel 5 has
// 0x34, not 12).
struct ChannelRow {
  int switchId;
  int keyType;
  const char* suffix;  // appended to the serial number in default captions
};

inline constexpr int kDeviceTypeKey = 0;

inline constexpr std::array<ChannelRow, 8> kChannelTable{{
    {16, kDeviceTypeKey, ""},
    {17, 9, "/2"},
    {18, 10, "/3"},
    {19, 11, "/4"},
    {20, 0x34, "/5"},
    {21, 0x35, "/6"},
    {22, 0x36, "/7"},
    {23, 0x37, "/8"},
}};

// The row of a switch id, or null for an id outside the table.
const ChannelRow* ChannelRowOf(int switchId);

// The simulated device: type, version and serial number.
inline constexpr int kSimulatedType = 8;
inline constexpr int kSimulatedVersion = 5;
inline constexpr int kSimulatedSerial = 1;

// Caption of column i, reading "devID" through `settings`, else toggra.conf.
std::string CaptionWith(CToggraDlg& dlg, CDeviceSettings& settings, int i);

// The stable id BACKEND:DEVICE:CHANNEL of a device's channel, or empty when
// the library is no composite of back-ends.
std::string StableChannelId(CPivlink& lib, int device, int switchId);

// Captions, duration texts, window size and rows for the k shown columns.
void LayoutWith(CToggraDlg& dlg, CDeviceSettings& settings, int k);

}  // namespace toggra

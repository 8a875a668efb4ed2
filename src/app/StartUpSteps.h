// The pieces of the main dialog's start-up that share one settings store:
// the channel table, captions and layout.
#pragma once

#include <array>
#include <string>

#include "app/ToggraDlg.h"
#include "device/Channels.h"

namespace toggra {

// One row per channel c of a device (c from 1), with its key type from the
// channel layer's table (kKeyTypes, device/Channels.h).
struct ChannelRow {
  int switchId;
  int keyType;
  const char* suffix;  // appended to the serial number in default captions
};

inline constexpr std::array<ChannelRow, 8> kChannelTable{{
    {16, kKeyTypes[0], ""},
    {17, kKeyTypes[1], "/2"},
    {18, kKeyTypes[2], "/3"},
    {19, kKeyTypes[3], "/4"},
    {20, kKeyTypes[4], "/5"},
    {21, kKeyTypes[5], "/6"},
    {22, kKeyTypes[6], "/7"},
    {23, kKeyTypes[7], "/8"},
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

// Captions, duration texts, window size and rows for the k shown columns;
// `again` when the window was laid out before (devices that came later).
void LayoutWith(CToggraDlg& dlg, CDeviceSettings& settings, int k, bool again = false);

}  // namespace toggra

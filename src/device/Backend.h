// A driver back-end: a CPivlink over one kind of hardware, plus the names
// that tools and bridges give its devices and channels. The composite library
// (DeviceRegistry.h) presents the devices of several back-ends as one list.
#pragma once

#include <string>

#include "device/Channels.h"
#include "device/Pivlink.h"

namespace toggra {

// What the hardware says of a device, for Home Assistant's device registry;
// empty where it says nothing.
struct DeviceHardware {
  std::string manufacturer;
  std::string model;
};

class CBackendPivlink : public CPivlink {
 public:
  // The DEVICE part of a channel's stable id `BACKEND:DEVICE:CHANNEL`: what
  // names the device within its back-end ("1-1.4", "ABCDE", "0"). Valid after
  // OpenArvendal for the devices it counted.
  virtual std::string DeviceName(int device) = 0;
  // The CHANNEL part of the stable id of the channel with the id
  // 16 + `channel`; channels are counted from 1 unless the hardware numbers
  // them itself (a hub's port numbers).
  virtual std::string ChannelName(int device, int channel) {
    (void)device;
    return std::to_string(channel + 1);
  }
  // Maker and model of a device, as far as the hardware tells.
  virtual DeviceHardware Hardware(int device) {
    (void)device;
    return {};
  }
  // Waits (at most `limitMs`) until the writes given so far are carried out
  // and a reading taken after them is in; at once for a library that works
  // on the caller's thread. False when the limit passed.
  virtual bool Settle(int device, int limitMs) {
    (void)device;
    (void)limitMs;
    return true;
  }
};

}  // namespace toggra

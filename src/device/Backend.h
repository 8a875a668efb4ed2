// A driver back-end: a CPivlink over one kind of hardware, plus the names
// that tools and bridges give its devices and channels. The composite library
// (DeviceRegistry.h) presents the devices of several back-ends as one list.
#pragma once

#include <string>

#include "device/Pivlink.h"

namespace toggra {

// Device type codes that discovery takes as switch devices. A back-end that
// offers plain switches reports kTypeSwitch8 unless it models another type;
// type kTypeMultiSwitch is read with GetMultiSwitch instead of GetSwitch.
constexpr int kTypeSwitch5 = 5;
constexpr int kTypeSwitch8 = 8;
constexpr int kTypeMultiSwitch = 40;
constexpr int kTypeSwitch48 = 48;

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
};

}  // namespace toggra

// The driver kit: what a hardware family has to provide. A driver finds its
// devices, reads all channels of one device at once, writes one channel and
// resets; everything else (numbering, names, caching, threads, retries, the
// program's device types) is done once by CDriverPivlink (DriverPivlink.h).
//
// Threads: calls for one device never overlap, but calls for different
// devices of one driver may run at the same time on different threads, so a
// driver keeps the state of each device apart (or guards what they share).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/Channels.h"

namespace toggra {

struct DriverDevice {
  std::string name;                   // the DEVICE of `BACKEND:DEVICE:CHANNEL`, stable
  std::vector<std::string> channels;  // the CHANNEL names, in channel order
  bool trafficLight = false;          // channels are the red, yellow and green lamp
  // False: the hardware cannot be read back; its channels report the levels
  // last written.
  bool readBack = true;
  // What the channels' settings are stored under: the first channel's key
  // type is the type, then version and serial (SettingsPrefix).
  int type = kTypeSwitch8;
  int version = 0;
  int serial = 0;
  bool inverted = false;  // the value 0 switches the power on
  // What the hardware says of itself (USB strings, ids); empty when nothing.
  std::string manufacturer{};
  std::string model{};
};

// One reading of all channels of a device: bit n is channel n (from 0).
struct DriverReading {
  uint32_t on = 0;
  uint32_t known = ~0u;  // channels the reading says something about
};

class IDriver {
 public:
  virtual ~IDriver() = default;
  // The devices present now. Called before any other call, and again when
  // the program looks for its devices anew; device numbers index the result.
  virtual std::vector<DriverDevice> Enumerate() = 0;
  // False and *error when the device cannot be read.
  virtual bool Read(int device, DriverReading* reading, std::string* error) = 0;
  virtual bool Write(int device, int channel, bool on, std::string* error) = 0;
  // The devices that came since Enumerate or the last EnumerateMore; their
  // numbers follow the present ones, which stay. Called off the event thread
  // while the present devices are served. A family whose devices are fixed
  // by its entry (one hub, named lines) finds none.
  virtual std::vector<DriverDevice> EnumerateMore() { return {}; }
  // What the program's end does to the device; most leave it as it is.
  virtual bool Reset(int device, std::string* error) {
    (void)device;
    (void)error;
    return true;
  }
};

}  // namespace toggra

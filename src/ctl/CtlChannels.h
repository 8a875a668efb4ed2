// The channels toggra-ctl shows and switches: every channel of every switch
// device of the configured back-ends, named by its stable id.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace toggra {

class CCompositePivlink;
class CDeviceRegistry;
class CDeviceSettings;

inline constexpr const char* kCtlUnreachable = "unreachable";

struct CtlChannel {
  std::string id;      // BACKEND:DEVICE:CHANNEL
  std::string prefix;  // the settings prefix "%02x-%02x-%08x"; empty past channel 8
  std::string backend;
  std::string state;  // on, off, unreachable; traffic lights: red, yellow, green, dark
  std::string caption;
  int device = 0;
  int switchId = 0;
  int type = 0;
  int version = 0;
  int serial = 0;
  bool trafficLight = false;
  bool inverted = false;  // a cutter: the value 0 switches the power on
};

// `settings` may be null (no hives): captions are then the default ones.
std::vector<CtlChannel> ListChannels(CCompositePivlink& lib, int devices,
                                     CDeviceSettings* settings);
// By stable id or settings prefix (case does not matter in the prefix).
CtlChannel* FindChannel(std::vector<CtlChannel>& channels, const std::string& id);
bool IsOnState(const std::string& state);
// Switches the channel on (traffic lights: green) or off (red), reads it
// back into channel.state, and fails with *reason when the device refused,
// cannot be read or reads otherwise afterwards.
bool SwitchChannel(CCompositePivlink& lib, CtlChannel& channel, bool on, std::string* reason);

// One JSON object.
std::string ChannelJson(const CtlChannel& channel);
std::string AvailableJson(const std::string& entry, const std::string& description);
// The hardware the back-ends offer that no configured entry names.
std::vector<std::pair<std::string, std::string>> AvailableEntries(
    const CDeviceRegistry& backends, const std::vector<std::string>& configured);

}  // namespace toggra

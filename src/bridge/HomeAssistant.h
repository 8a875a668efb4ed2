// Home Assistant's MQTT discovery: the retained configs that make each
// channel an entity without any set-up on the Home Assistant side.
//
// One config per device (device-based discovery):
//   DISCOVERY/device/NODE/config
// with the device (`dev`), the origin (`o`) and `cmps`, one component per
// entity: per channel a `switch` (switch channel) or a `select` (traffic
// light), a `button` (start/stop) and a `sensor` (when the phase ends).
// NODE holds only [a-zA-Z0-9_-] (SafeId): "toggra_", the machine id's first
// 12 characters, the topic prefix and the device ("BACKEND:DEVICE").
// Unique ids are "toggra_MACHINE_ID" with the whole machine id and the
// channel's topic id, as in the per-entity configs of earlier versions, so
// that Home Assistant keeps its entities when they move into the device;
// under a topic prefix other than the default, "toggra_MACHINE_PREFIX_ID"
// (the prefix as in NODE), so that two instances never share one.
#pragma once

#include <string>
#include <vector>

namespace toggra {

// What the entities of one channel are made from.
struct DiscoveryChannel {
  std::string id;       // the channel's topic id ("hidrelay:ABCDE:1")
  std::string machine;  // the machine id
  std::string caption;  // the column's caption; the id when it has none
  bool trafficLight = false;
  int version = 0;
  // What the hardware says of its device; empty where it says nothing.
  std::string manufacturer;
  std::string model;
};

struct DiscoveryConfig {
  std::string topic;
  std::string payload;  // JSON
};

// `text` with every byte but [a-zA-Z0-9-] written as _XX (upper-case hex):
// one to one, and what Home Assistant takes in discovery topics.
std::string SafeId(const std::string& text);
// The node part of the per-entity topics of the previous version, for a
// machine and topic prefix.
std::string DiscoveryNodeId(const std::string& machine, const std::string& prefix);
// The node id of versions before that (the prefix with '/', '+', '#' and ' '
// as '_'), whose retained configs are cleaned up once.
std::string LegacyDiscoveryNodeId(const std::string& prefix);

// The device a channel belongs to: "BACKEND:DEVICE" of its stable id, or for
// a channel without one (the simulation, "kk-vv-ssssssss") "vv-ssssssss".
std::string DeviceKeyOf(const std::string& topicId);
// The device's name in Home Assistant: what it is and its name in its
// back-end ("Relaisplatine ABCDE", "USB-Hub 1-1.4").
std::string DeviceTitle(const std::string& deviceKey, bool trafficLight);
// DISCOVERY/device/NODE/config of a device.
std::string DeviceConfigTopic(const std::string& discoveryPrefix, const std::string& machine,
                              const std::string& prefix, const std::string& deviceKey);
// The config of one device from its channels (all with the same device key),
// in channel order. A device of one channel names its main entity null, so
// it takes the device's name (the caption's, when the column has one).
DiscoveryConfig DeviceConfig(const std::string& discoveryPrefix, const std::string& prefix,
                             const std::vector<DiscoveryChannel>& channels);
// A device config (as DeviceConfig makes them) with the components of the
// channel `id` cut down to their platform, which removes them in Home
// Assistant; empty when no other component is left (the whole device goes).
// `payload` itself when it has no component of the channel.
std::string DeviceConfigWithout(const std::string& payload, const std::string& id);

// The per-entity config topics of the previous version for channel `id`
// (switch, select, button, sensor), which a start migrates into the device.
std::vector<std::string> EntityConfigTopics(const std::string& discoveryPrefix,
                                            const std::string& machine, const std::string& prefix,
                                            const std::string& id);
// What tells Home Assistant that an entity moves into a device config.
inline constexpr const char* kMigratePayload = "{\"migrate_discovery\":true}";

// Every retained channel topic the bridge of `machine` publishes for the
// channel `id`, and its per-entity configs of the previous version:
// `toggra-ctl forget` empties them (and cuts the device config).
std::vector<std::string> ChannelRetainedTopics(const std::string& discoveryPrefix,
                                               const std::string& prefix,
                                               const std::string& machine, const std::string& id);

// Splits DISCOVERY/COMPONENT/NODE/OBJECT/config for `node`; false otherwise.
bool SplitDiscoveryTopic(const std::string& topic, const std::string& discoveryPrefix,
                         const std::string& node, std::string* object);

// A JSON string literal of `text` (UTF-8 kept, control characters escaped,
// each byte that is not part of valid UTF-8 replaced by U+FFFD).
std::string JsonString(const std::string& text);

}  // namespace toggra

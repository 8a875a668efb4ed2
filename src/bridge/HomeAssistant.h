// Home Assistant's MQTT discovery: the retained configs that make each
// channel an entity without any set-up on the Home Assistant side.
//
// Per channel: a `switch` (switch channel) or a `select` (traffic light), a
// `button` (OBJECT_run, start/stop) and a `sensor` (OBJECT_countdown).
// Topics: DISCOVERY/COMPONENT/NODE/OBJECT/config. NODE and OBJECT hold only
// [a-zA-Z0-9_-] (SafeId): NODE is "toggra_" with the machine id's first 12
// characters and the topic prefix, OBJECT the channel's topic id. Unique ids
// are "toggra_MACHINE_ID" with the whole machine id and the topic id, so two
// hosts, or two prefixes on one, never share one.
#pragma once

#include <string>
#include <vector>

namespace toggra {

// What the configs of one channel are made from.
struct DiscoveryChannel {
  std::string id;       // the channel's topic id ("hidrelay:ABCDE:1")
  std::string machine;  // the machine id
  std::string caption;  // the column's caption
  bool trafficLight = false;
  int usbType = 0;
  int version = 0;
  int serial = 0;
};

struct DiscoveryConfig {
  std::string topic;
  std::string payload;  // JSON
};

// `text` with every byte but [a-zA-Z0-9-] written as _XX (upper-case hex):
// one to one, and what Home Assistant takes in discovery topics.
std::string SafeId(const std::string& text);
// The node part of the discovery topics for a machine and topic prefix.
std::string DiscoveryNodeId(const std::string& machine, const std::string& prefix);
// The node id of earlier versions (the prefix with '/', '+', '#' and ' ' as '_'),
// whose retained configs are cleaned up once.
std::string LegacyDiscoveryNodeId(const std::string& prefix);

// The configs of one channel, in a fixed order.
std::vector<DiscoveryConfig> DiscoveryConfigs(const std::string& discoveryPrefix,
                                              const std::string& prefix,
                                              const DiscoveryChannel& channel);


// Every retained topic the bridge of `machine` publishes for the channel with
// topic id `id`: its discovery configs (as switch and as select) and its
// channel topics. `toggra-ctl forget` empties them.
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

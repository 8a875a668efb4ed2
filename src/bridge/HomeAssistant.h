// Home Assistant's MQTT discovery: the retained configs that make each
// channel an entity without any set-up on the Home Assistant side.
//
// Per channel: a `switch` (switch channel) or a `select` (traffic light) under
// the channel id, a `button` (`ID_run`, start/stop) and a `sensor`
// (`ID_countdown`). Topics: DISCOVERY/COMPONENT/NODE/OBJECT/config, NODE the
// topic prefix with '/' as '_'.
#pragma once

#include <string>
#include <vector>

namespace toggra {

// What the configs of one channel are made from.
struct DiscoveryChannel {
  std::string id;       // the channel id ("28-1f-00001a2b")
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

// The node part of the discovery topics for a topic prefix.
std::string DiscoveryNodeId(const std::string& prefix);

// The configs of one channel, in a fixed order.
std::vector<DiscoveryConfig> DiscoveryConfigs(const std::string& discoveryPrefix,
                                              const std::string& prefix,
                                              const DiscoveryChannel& channel);

// The object ids a channel's configs use: its id and the suffixed ones.
std::vector<std::string> DiscoveryObjectIds(const std::string& id);

// Splits DISCOVERY/COMPONENT/NODE/OBJECT/config for `node`; false otherwise.
bool SplitDiscoveryTopic(const std::string& topic, const std::string& discoveryPrefix,
                         const std::string& node, std::string* object);

// A JSON string literal of `text` (UTF-8 kept, control characters escaped).
std::string JsonString(const std::string& text);

}  // namespace toggra

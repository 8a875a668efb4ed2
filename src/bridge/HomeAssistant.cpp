#include "bridge/HomeAssistant.h"

#include <cstdio>

#include "bridge/Topics.h"

namespace toggra {

namespace {

constexpr const char* kRunSuffix = "_run";
constexpr const char* kCountdownSuffix = "_countdown";
constexpr const char* kManufacturer = "Arvendal GmbH";

// "key":value pairs joined into one object.
class CJsonObject {
 public:
  CJsonObject& Raw(const char* key, const std::string& value) {
    m_text += (m_text.empty() ? "{" : ",") + JsonString(key) + ":" + value;
    return *this;
  }
  CJsonObject& Text(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
  std::string Done() const { return m_text.empty() ? "{}" : m_text + "}"; }

 private:
  std::string m_text;
};

std::string DeviceBlock(const DiscoveryChannel& c) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", static_cast<unsigned>(c.serial));
  const std::string identifier = "toggra_" + std::to_string(c.usbType) + "_" +
                                 std::to_string(c.version) + "_" + serial;
  return CJsonObject()
      .Raw("identifiers", "[" + JsonString(identifier) + "]")
      .Text("name", "Toggra " + std::to_string(c.serial))
      .Text("manufacturer", kManufacturer)
      .Text("model", "USB type " + std::to_string(c.usbType))
      .Text("sw_version", std::to_string(c.version))
      .Text("serial_number", std::to_string(c.serial))
      .Done();
}

// Available while the program is online and the channel reads.
std::string Availability(const std::string& prefix, const std::string& id) {
  const std::string program = CJsonObject().Text("topic", prefix + "/" + kTopicStatus).Done();
  const std::string channel =
      CJsonObject()
          .Text("topic", prefix + "/" + id + "/" + kTopicState)
          .Text("value_template",
                std::string("{{ 'offline' if value == '") + kPayloadUnavailable +
                    "' else 'online' }}")
          .Done();
  return "[" + program + "," + channel + "]";
}

std::string Topic(const std::string& discovery, const char* component, const std::string& node,
                  const std::string& object) {
  return discovery + "/" + component + "/" + node + "/" + object + "/config";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string DiscoveryNodeId(const std::string& prefix) {
  std::string node = prefix;
  for (char& c : node)
    if (c == '/' || c == ' ' || c == '+' || c == '#') c = '_';
  return node;
}

std::vector<std::string> DiscoveryObjectIds(const std::string& id) {
  return {id, id + kRunSuffix, id + kCountdownSuffix};
}

std::vector<DiscoveryConfig> DiscoveryConfigs(const std::string& discoveryPrefix,
                                              const std::string& prefix,
                                              const DiscoveryChannel& c) {
  const std::string node = DiscoveryNodeId(prefix);
  const std::string base = prefix + "/" + c.id + "/";
  const std::string device = DeviceBlock(c);
  const std::string availability = Availability(prefix, c.id);
  const std::string uniqueBase = "toggra_" + c.id;
  std::vector<DiscoveryConfig> configs;

  CJsonObject main;
  main.Text("name", c.caption)
      .Text("unique_id", uniqueBase)
      .Text("command_topic", base + kTopicSet)
      .Text("state_topic", base + kTopicState)
      .Raw("availability", availability)
      .Text("availability_mode", "all")
      .Raw("qos", "1")
      .Raw("device", device);
  if (c.trafficLight) {
    main.Raw("options", "[\"red\",\"yellow\",\"green\",\"dark\"]");
    configs.push_back({Topic(discoveryPrefix, "select", node, c.id), main.Done()});
  } else {
    main.Text("payload_on", "ON").Text("payload_off", "OFF").Text("state_on", "ON").Text("state_off", "OFF");
    configs.push_back({Topic(discoveryPrefix, "switch", node, c.id), main.Done()});
  }
  const std::string button = CJsonObject()
                                 .Text("name", c.caption + " Start/Stop")
                                 .Text("unique_id", uniqueBase + kRunSuffix)
                                 .Text("command_topic", base + kTopicRun)
                                 .Text("payload_press", "TOGGLE")
                                 .Raw("availability", availability)
                                 .Text("availability_mode", "all")
                                 .Raw("qos", "1")
                                 .Raw("device", device)
                                 .Done();
  configs.push_back({Topic(discoveryPrefix, "button", node, c.id + kRunSuffix), button});
  const std::string sensor = CJsonObject()
                                 .Text("name", c.caption + " Countdown")
                                 .Text("unique_id", uniqueBase + kCountdownSuffix)
                                 .Text("state_topic", base + kTopicCountdown)
                                 .Text("unit_of_measurement", "s")
                                 .Text("device_class", "duration")
                                 .Raw("availability", availability)
                                 .Text("availability_mode", "all")
                                 .Raw("device", device)
                                 .Done();
  configs.push_back({Topic(discoveryPrefix, "sensor", node, c.id + kCountdownSuffix), sensor});
  return configs;
}

bool SplitDiscoveryTopic(const std::string& topic, const std::string& discoveryPrefix,
                         const std::string& node, std::string* object) {
  const std::string head = discoveryPrefix + "/";
  const std::string tail = "/config";
  if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
      topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string middle = topic.substr(head.size(), topic.size() - head.size() - tail.size());
  // COMPONENT/NODE/OBJECT
  const size_t a = middle.find('/');
  if (a == std::string::npos) return false;
  const size_t b = middle.find('/', a + 1);
  if (b == std::string::npos || middle.find('/', b + 1) != std::string::npos) return false;
  if (middle.compare(a + 1, b - a - 1, node) != 0 || b - a - 1 != node.size()) return false;
  *object = middle.substr(b + 1);
  return !object->empty();
}

}  // namespace toggra

#include "bridge/HomeAssistant.h"

#include <cctype>
#include <cstdio>

#include "bridge/Topics.h"

namespace toggra {

namespace {

constexpr const char* kRunSuffix = "_run";
constexpr const char* kCountdownSuffix = "_countdown";
constexpr const char* kManufacturer = "Arvendal GmbH";
constexpr size_t kMachineInNode = 12;

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
  // The device is the id without its channel.
  std::string stable, backend, device, channel;
  std::string name = c.id;
  if (StableIdOfTopic(c.id, &stable) && SplitStableId(stable, &backend, &device, &channel))
    name = backend + " " + device;
  const std::string identifier = "toggra_" + c.machine + "_" + name;
  return CJsonObject()
      .Raw("identifiers", "[" + JsonString(identifier) + "]")
      .Text("name", name)
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
      CJsonObject().Text("topic", prefix + "/" + id + "/" + kTopicAvailability).Done();
  return "[" + program + "," + channel + "]";
}

// Where a byte sequence of valid UTF-8 starting at s[k] ends, or k when none.
size_t Utf8End(const std::string& s, size_t k) {
  const auto b = [&](size_t n) { return static_cast<unsigned char>(s[n]); };
  const unsigned char c = b(k);
  size_t len = 0;
  unsigned min = 0, cp = 0;
  if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1Fu; min = 0x80; }
  else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0Fu; min = 0x800; }
  else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07u; min = 0x10000; }
  else return k;
  if (k + len > s.size()) return k;
  for (size_t n = 1; n < len; ++n) {
    if ((b(k + n) & 0xC0u) != 0x80u) return k;
    cp = (cp << 6) | (b(k + n) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return k;
  return k + len;
}

std::string Topic(const std::string& discovery, const char* component, const std::string& node,
                  const std::string& object) {
  return discovery + "/" + component + "/" + node + "/" + object + "/config";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t k = 0; k < text.size(); ++k) {
    const char ch = text[k];
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      const size_t end = Utf8End(text, k);
      if (end == k) {
        out += "\xEF\xBF\xBD";  // U+FFFD
      } else {
        out.append(text, k, end - k);
        k = end - 1;
      }
    } else if (c == '"' || c == '\\') {
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

std::string SafeId(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    if (std::isalnum(static_cast<unsigned char>(ch)) && static_cast<unsigned char>(ch) < 0x80) {
      out += ch;
    } else if (ch == '-') {
      out += ch;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "_%02X", static_cast<unsigned char>(ch));
      out += hex;
    }
  }
  return out;
}

std::string DiscoveryNodeId(const std::string& machine, const std::string& prefix) {
  return "toggra_" + SafeId(machine.substr(0, kMachineInNode)) + "_" + SafeId(prefix);
}

std::string LegacyDiscoveryNodeId(const std::string& prefix) {
  std::string node = prefix;
  for (char& c : node)
    if (c == '/' || c == ' ' || c == '+' || c == '#') c = '_';
  return node;
}

std::vector<DiscoveryConfig> DiscoveryConfigs(const std::string& discoveryPrefix,
                                              const std::string& prefix,
                                              const DiscoveryChannel& c) {
  const std::string node = DiscoveryNodeId(c.machine, prefix);
  const std::string object = SafeId(c.id);
  const std::string base = prefix + "/" + c.id + "/";
  const std::string device = DeviceBlock(c);
  const std::string availability = Availability(prefix, c.id);
  const std::string uniqueBase = "toggra_" + c.machine + "_" + c.id;
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
    configs.push_back({Topic(discoveryPrefix, "select", node, object), main.Done()});
  } else {
    main.Text("payload_on", "ON").Text("payload_off", "OFF").Text("state_on", "ON").Text("state_off", "OFF");
    configs.push_back({Topic(discoveryPrefix, "switch", node, object), main.Done()});
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
  configs.push_back({Topic(discoveryPrefix, "button", node, object + kRunSuffix), button});
  const std::string sensor = CJsonObject()
                                 .Text("name", c.caption + " Countdown")
                                 .Text("unique_id", uniqueBase + kCountdownSuffix)
                                 .Text("state_topic", base + kTopicEnds)
                                 .Text("device_class", "timestamp")
                                 .Raw("availability", availability)
                                 .Text("availability_mode", "all")
                                 .Raw("device", device)
                                 .Done();
  configs.push_back({Topic(discoveryPrefix, "sensor", node, object + kCountdownSuffix), sensor});
  return configs;
}

std::vector<std::string> ChannelRetainedTopics(const std::string& discoveryPrefix,
                                               const std::string& prefix,
                                               const std::string& machine, const std::string& id) {
  const std::string node = DiscoveryNodeId(machine, prefix);
  const std::string object = SafeId(id);
  std::vector<std::string> topics{Topic(discoveryPrefix, "switch", node, object),
                                  Topic(discoveryPrefix, "select", node, object),
                                  Topic(discoveryPrefix, "button", node, object + kRunSuffix),
                                  Topic(discoveryPrefix, "sensor", node, object + kCountdownSuffix)};
  for (const char* leaf : {kTopicState, kTopicAvailability, kTopicCountdown, kTopicEnds, kTopicKind})
    topics.push_back(prefix + "/" + id + "/" + leaf);
  return topics;
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

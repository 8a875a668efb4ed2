#include "bridge/HomeAssistant.h"
#include "bridge/MqttConfig.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "Version.h"
#include "bridge/Topics.h"

namespace toggra {

namespace {

constexpr const char* kRunSuffix = "_run";
constexpr const char* kCountdownSuffix = "_countdown";
constexpr size_t kMachineInNode = 12;
constexpr const char* kOriginName = "Toggra";

// What a device of each back-end is called, as a switch and as a traffic
// light; a back-end not named here is called by its own name.
struct DeviceWord {
  const char* backend;
  const char* device;
  const char* trafficLight;
};
constexpr std::array<DeviceWord, 7> kDeviceWords{{
    {"hidrelay", "Relaisplatine", "Relaisplatinen-Ampel"},
    {"usbhub", "USB-Hub", "USB-Hub-Ampel"},
    {"gpio", "GPIO-Leiste", "GPIO-Ampel"},
    {"gpio-light", "GPIO-Ampel", "GPIO-Ampel"},
    {"bench", "Prüfstand", "Prüfstandsampel"},
    {"mqtt", "Fernschalter", "Fernampel"},
    {"plugin", "USB-Schalter", "USB-Ampel"},
}};
// The simulation's channels have no back-end.
constexpr const char* kSimulationWord = "Simulation";

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

// BACKEND, DEVICE and CHANNEL of a topic id; false for one without a stable id.
bool PartsOf(const std::string& topicId, std::string* backend, std::string* device,
             std::string* channel) {
  std::string stable;
  return StableIdOfTopic(topicId, &stable) && SplitStableId(stable, backend, device, channel);
}

// The component ids of a channel within its device: its CHANNEL (the whole
// id without a stable one), then the suffixes, which SafeId never makes.
std::string ComponentBase(const std::string& id) {
  std::string backend, device, channel;
  return SafeId(PartsOf(id, &backend, &device, &channel) ? channel : id);
}

std::string DeviceBlock(const std::string& key, const std::string& name, const DiscoveryChannel& c) {
  // "BACKEND DEVICE", as earlier versions named the device.
  std::string ident = key;
  if (const size_t colon = ident.find(':'); colon != std::string::npos) ident[colon] = ' ';
  CJsonObject device;
  device.Raw("identifiers", "[" + JsonString("toggra_" + c.machine + "_" + ident) + "]")
      .Text("name", name);
  if (!c.manufacturer.empty()) device.Text("manufacturer", c.manufacturer);
  if (!c.model.empty()) device.Text("model", c.model);
  if (c.version > 0) device.Text("hw_version", std::to_string(c.version));
  return device.Done();
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

std::string DeviceKeyOf(const std::string& topicId) {
  std::string backend, device, channel;
  if (PartsOf(topicId, &backend, &device, &channel)) return backend + ":" + device;
  // "kk-vv-ssssssss": the key type tells the channels of a device apart.
  return topicId.size() > 3 ? topicId.substr(3) : topicId;
}

std::string DeviceTitle(const std::string& deviceKey, bool trafficLight) {
  const size_t colon = deviceKey.find(':');
  if (colon == std::string::npos) return std::string(kSimulationWord) + " " + deviceKey;
  const std::string backend = deviceKey.substr(0, colon);
  const std::string device = deviceKey.substr(colon + 1);
  for (const DeviceWord& w : kDeviceWords)
    if (backend == w.backend) return std::string(trafficLight ? w.trafficLight : w.device) + " " + device;
  return backend + " " + device;
}

std::string DeviceConfigTopic(const std::string& discoveryPrefix, const std::string& machine,
                              const std::string& prefix, const std::string& deviceKey) {
  return discoveryPrefix + "/device/" + DiscoveryNodeId(machine, prefix) + "_" + SafeId(deviceKey) +
         "/config";
}

DiscoveryConfig DeviceConfig(const std::string& discoveryPrefix, const std::string& prefix,
                             const std::vector<DiscoveryChannel>& channels) {
  if (channels.empty()) return {};
  const DiscoveryChannel& first = channels.front();
  const std::string key = DeviceKeyOf(first.id);
  const bool alone = channels.size() == 1;
  std::string components;
  const auto add = [&](const std::string& id, const std::string& config) {
    components += (components.empty() ? "" : ",") + JsonString(id) + ":" + config;
  };
  // Two instances of one machine bridge one channel only under two prefixes
  // (an instance owns its prefix); a prefix of one's own is in the unique ids,
  // so they stay apart. The default prefix adds nothing.
  const std::string ownPrefix = prefix == DefaultTopicPrefix() ? "" : SafeId(prefix) + "_";
  for (const DiscoveryChannel& c : channels) {
    const std::string uniqueStart = "toggra_" + c.machine + "_" + ownPrefix;
    std::string backend, device, channel;
    const bool stable = PartsOf(c.id, &backend, &device, &channel);
    // Entity names are relative to the device's: a caption the user gave, or
    // "Kanal N"; the one channel of a device is the device itself.
    const bool captioned = c.caption != c.id && !c.caption.empty();
    const std::string name = captioned ? c.caption : stable ? "Kanal " + channel : c.id;
    const std::string base = prefix + "/" + c.id + "/";
    const std::string availability = Availability(prefix, c.id);
    const std::string uniqueBase = uniqueStart + c.id;
    const std::string component = ComponentBase(c.id);
    CJsonObject main;
    main.Text("p", c.trafficLight ? "select" : "switch")
        .Raw("name", alone ? "null" : JsonString(name))
        .Text("unique_id", uniqueBase)
        .Text("command_topic", base + kTopicSet)
        .Text("state_topic", base + kTopicState)
        .Raw("availability", availability)
        .Text("availability_mode", "all");
    if (c.trafficLight)
      main.Raw("options", "[\"red\",\"yellow\",\"green\",\"dark\"]");
    else
      main.Text("payload_on", "ON").Text("payload_off", "OFF").Text("state_on", "ON").Text("state_off", "OFF");
    add(component, main.Done());
    add(component + kRunSuffix, CJsonObject()
                                    .Text("p", "button")
                                    .Text("name", alone ? "Start/Stop" : name + " Start/Stop")
                                    .Text("unique_id", uniqueBase + kRunSuffix)
                                    .Text("command_topic", base + kTopicRun)
                                    .Text("payload_press", "TOGGLE")
                                    .Raw("availability", availability)
                                    .Text("availability_mode", "all")
                                    .Done());
    add(component + kCountdownSuffix, CJsonObject()
                                          .Text("p", "sensor")
                                          .Text("name", alone ? "Ende" : name + " Ende")
                                          .Text("unique_id", uniqueBase + kCountdownSuffix)
                                          .Text("state_topic", base + kTopicEnds)
                                          .Text("device_class", "timestamp")
                                          .Raw("availability", availability)
                                          .Text("availability_mode", "all")
                                          .Done());
  }
  // A one-channel device with a caption is called by it.
  const bool captioned = alone && first.caption != first.id && !first.caption.empty();
  const std::string device =
      DeviceBlock(key, captioned ? first.caption : DeviceTitle(key, first.trafficLight), first);
  const std::string origin =
      CJsonObject().Text("name", kOriginName).Text("sw", TOGGRA_VERSION).Done();
  const std::string payload = CJsonObject()
                                  .Raw("dev", device)
                                  .Raw("o", origin)
                                  .Raw("qos", "1")
                                  .Raw("cmps", "{" + components + "}")
                                  .Done();
  return {DeviceConfigTopic(discoveryPrefix, first.machine, prefix, key), payload};
}

namespace {

// Where the JSON value that starts at text[k] ends (one past it); npos when
// it does not end. Strings are skipped whole, so braces in captions count not.
size_t ValueEnd(const std::string& text, size_t k) {
  int depth = 0;
  for (; k < text.size(); ++k) {
    const char c = text[k];
    if (c == '"') {
      for (++k; k < text.size() && text[k] != '"'; ++k)
        if (text[k] == '\\') ++k;
      if (k >= text.size()) return std::string::npos;
      if (depth == 0) return k + 1;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth == 0) return k + 1;
      if (depth < 0) return std::string::npos;
    } else if (depth == 0 && c == ',') {
      return k;
    }
  }
  return depth == 0 ? k : std::string::npos;
}

}  // namespace

std::string DeviceConfigWithout(const std::string& payload, const std::string& id) {
  const std::string head = "\"cmps\":{";
  size_t k = payload.find(head);
  if (k == std::string::npos) return payload;
  k += head.size();
  const std::string base = ComponentBase(id);
  const std::vector<std::string> mine{JsonString(base), JsonString(base + kRunSuffix),
                                      JsonString(base + kCountdownSuffix)};
  std::string out = payload.substr(0, k);
  bool cut = false, othersLeft = false;
  while (k < payload.size() && payload[k] != '}') {
    if (payload[k] == ',') out += payload[k++];
    const size_t keyEnd = ValueEnd(payload, k);
    if (keyEnd == std::string::npos || keyEnd >= payload.size() || payload[keyEnd] != ':') return payload;
    const std::string key = payload.substr(k, keyEnd - k);
    const size_t valueEnd = ValueEnd(payload, keyEnd + 1);
    if (valueEnd == std::string::npos) return payload;
    const std::string value = payload.substr(keyEnd + 1, valueEnd - keyEnd - 1);
    // Every component starts with its platform: {"p":"switch",...
    const size_t platformEnd = value.find('"', 6);
    const bool stub = platformEnd != std::string::npos && platformEnd + 2 == value.size();
    if (std::find(mine.begin(), mine.end(), key) != mine.end() && value.rfind("{\"p\":\"", 0) == 0 &&
        platformEnd != std::string::npos) {
      out += key + ":" + value.substr(0, platformEnd + 1) + "}";
      cut = true;
    } else {
      out += key + ":" + value;
      if (!stub) othersLeft = true;
    }
    k = valueEnd;
  }
  if (!cut) return payload;
  return othersLeft ? out + payload.substr(k) : std::string();
}

std::vector<std::string> EntityConfigTopics(const std::string& discoveryPrefix,
                                            const std::string& machine, const std::string& prefix,
                                            const std::string& id) {
  const std::string node = DiscoveryNodeId(machine, prefix);
  const std::string object = SafeId(id);
  return {Topic(discoveryPrefix, "switch", node, object), Topic(discoveryPrefix, "select", node, object),
          Topic(discoveryPrefix, "button", node, object + kRunSuffix),
          Topic(discoveryPrefix, "sensor", node, object + kCountdownSuffix)};
}

std::vector<std::string> ChannelRetainedTopics(const std::string& discoveryPrefix,
                                               const std::string& prefix,
                                               const std::string& machine, const std::string& id) {
  std::vector<std::string> topics = EntityConfigTopics(discoveryPrefix, machine, prefix, id);
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

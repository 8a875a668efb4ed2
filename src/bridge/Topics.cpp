#include "bridge/Topics.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <unistd.h>

#include "app/Ids.h"

namespace toggra {

namespace {

// "kk-vv-ssssssss"
constexpr size_t kIdLength = 14;

struct Word {
  const char* text;
  MqttCommand command;
};

constexpr std::array<Word, 3> kSwitchWords{{
    {"ON", MqttCommand::kOn}, {"OFF", MqttCommand::kOff}, {"TOGGLE", MqttCommand::kToggle}}};
constexpr std::array<Word, 4> kColourWords{{{"red", MqttCommand::kRed},
                                            {"yellow", MqttCommand::kYellow},
                                            {"green", MqttCommand::kGreen},
                                            {"dark", MqttCommand::kDark}}};
constexpr std::array<Word, 3> kRunWords{{
    {"START", MqttCommand::kStart}, {"STOP", MqttCommand::kStop}, {"TOGGLE", MqttCommand::kToggle}}};

// The traffic-light colour of each state code.
struct Colour {
  int state;
  const char* text;
};
constexpr std::array<Colour, 4> kColours{{{kStateOff, "red"},
                                          {kStateYellow, "yellow"},
                                          {kStateOn, "green"},
                                          {kStateDark, "dark"}}};

bool SameWord(const std::string& a, const char* b) {
  size_t k = 0;
  for (; k < a.size() && b[k]; ++k)
    if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
      return false;
  return k == a.size() && !b[k];
}

template <size_t N>
bool Find(const std::array<Word, N>& words, const std::string& payload, MqttCommand* command) {
  if (payload.size() > kMaxCommandPayload) return false;
  for (const Word& w : words) {
    if (SameWord(payload, w.text)) {
      *command = w.command;
      return true;
    }
  }
  return false;
}

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What a topic level must not hold as it is.
bool Escaped(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return c <= ' ' || c > '~' || c == '%' || c == '/' || c == '+' || c == '#';
}

}  // namespace

std::string TopicIdOf(const std::string& stableId) {
  std::string out;
  for (const char ch : stableId) {
    if (Escaped(ch)) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(ch));
      out += hex;
    } else {
      out += ch;
    }
  }
  return out;
}

bool StableIdOfTopic(const std::string& topicId, std::string* stableId) {
  std::string out;
  for (size_t k = 0; k < topicId.size(); ++k) {
    const char ch = topicId[k];
    if (ch != '%') {
      if (Escaped(ch)) return false;
      out += ch;
      continue;
    }
    if (k + 2 >= topicId.size()) return false;
    const int hi = UpperHexValue(topicId[k + 1]), lo = UpperHexValue(topicId[k + 2]);
    if (hi < 0 || lo < 0) return false;
    const char decoded = static_cast<char>(hi * 16 + lo);
    // Only what TopicIdOf escapes, so that each id has one spelling.
    if (!Escaped(decoded)) return false;
    out += decoded;
    k += 2;
  }
  if (out.empty()) return false;
  *stableId = std::move(out);
  return true;
}

bool SplitStableId(const std::string& id, std::string* backend, std::string* device,
                   std::string* channel) {
  const size_t first = id.find(':');
  const size_t last = id.rfind(':');
  if (first == std::string::npos || first == last || first == 0 || last + 1 == id.size() ||
      last == first + 1)
    return false;
  *backend = id.substr(0, first);
  *device = id.substr(first + 1, last - first - 1);
  *channel = id.substr(last + 1);
  return true;
}

bool IsLegacyTopicId(const std::string& id) {
  if (id.size() != kIdLength || id[2] != '-' || id[5] != '-') return false;
  for (size_t k = 0; k < id.size(); ++k)
    if (k != 2 && k != 5 && !IsLowerHex(id[k])) return false;
  return true;
}

std::string StateText(int state, bool trafficLight) {
  if (trafficLight) {
    for (const Colour& c : kColours)
      if (c.state == state) return c.text;
    return kPayloadUnavailable;
  }
  if (state < 0) return kPayloadUnavailable;
  return state > 0 ? "ON" : "OFF";
}

bool ParseStateText(const std::string& text, bool trafficLight, int* state) {
  if (text == kPayloadUnavailable) {
    *state = kStateUnreachable;
    return true;
  }
  if (trafficLight) {
    for (const Colour& c : kColours) {
      if (text == c.text) {
        *state = c.state;
        return true;
      }
    }
    return false;
  }
  if (text == "ON" || text == "OFF") {
    *state = text == "ON" ? kStateOn : kStateOff;
    return true;
  }
  return false;
}

bool ParseSetCommand(const std::string& payload, bool trafficLight, MqttCommand* command) {
  return trafficLight ? Find(kColourWords, payload, command) : Find(kSwitchWords, payload, command);
}

bool ParseRunCommand(const std::string& payload, MqttCommand* command) {
  return Find(kRunWords, payload, command);
}

std::string SetPayloadOf(int state, bool trafficLight) {
  if (trafficLight) return StateText(state, true);
  return state > 0 ? "ON" : "OFF";
}

std::string IsoTimeUtc(int64_t seconds) {
  const auto t = static_cast<time_t>(seconds);
  struct tm parts {};
  gmtime_r(&t, &parts);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", &parts);
  return text;
}

std::string MachineId() {
  if (const char* env = std::getenv("TOGGRA_MACHINE_ID"); env && *env) return env;
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::string line;
    if (std::ifstream in(path); in && std::getline(in, line) && !line.empty()) return line;
  }
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
  return "unknown";
}

namespace {

// The value of "key": in the flat objects ClaimPayload writes; strings
// without escapes, or a number.
bool ClaimField(const std::string& payload, const std::string& key, std::string* value) {
  const std::string head = "\"" + key + "\":";
  const size_t at = payload.find(head);
  if (at == std::string::npos) return false;
  size_t k = at + head.size();
  if (k < payload.size() && payload[k] == '"') {
    const size_t end = payload.find('"', k + 1);
    if (end == std::string::npos) return false;
    *value = payload.substr(k + 1, end - k - 1);
    return true;
  }
  const size_t end = payload.find_first_of(",}", k);
  if (end == std::string::npos || end == k) return false;
  *value = payload.substr(k, end - k);
  return true;
}

std::string Plain(const std::string& text) {
  std::string out;
  for (const char ch : text)
    if (ch != '"' && ch != '\\' && static_cast<unsigned char>(ch) >= ' ') out += ch;
  return out;
}

}  // namespace

std::string ClaimPayload(const std::string& machine, long pid, const std::string& host) {
  return "{\"machine\":\"" + Plain(machine) + "\",\"pid\":" + std::to_string(pid) +
         ",\"host\":\"" + Plain(host) + "\"}";
}

bool ParseClaim(const std::string& payload, std::string* machine, long* pid, std::string* host) {
  std::string p;
  if (payload.size() > 1024 || !ClaimField(payload, "machine", machine) ||
      !ClaimField(payload, "pid", &p))
    return false;
  if (!ClaimField(payload, "host", host)) host->clear();
  char* end = nullptr;
  *pid = std::strtol(p.c_str(), &end, 10);
  return end && *end == '\0' && !machine->empty();
}

bool SplitChannelTopic(const std::string& topic, const std::string& prefix, std::string* id,
                       std::string* leaf) {
  if (topic.size() <= prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0 ||
      topic[prefix.size()] != '/')
    return false;
  const std::string rest = topic.substr(prefix.size() + 1);
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0 || rest.find('/', slash + 1) != std::string::npos)
    return false;
  *id = rest.substr(0, slash);
  *leaf = rest.substr(slash + 1);
  return !leaf->empty();
}

}  // namespace toggra

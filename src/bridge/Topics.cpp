#include "bridge/Topics.h"

#include <array>
#include <cctype>
#include <cstdio>

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

}  // namespace

std::string ChannelTopicId(int keyType, int version, int serial) {
  char text[32];
  std::snprintf(text, sizeof text, "%02x-%02x-%08x", static_cast<unsigned>(keyType) & 0xFFu,
                static_cast<unsigned>(version) & 0xFFu, static_cast<unsigned>(serial));
  return text;
}

bool ParseChannelTopicId(const std::string& id, int* keyType, int* version, int* serial) {
  if (id.size() != kIdLength || id[2] != '-' || id[5] != '-') return false;
  for (size_t k = 0; k < id.size(); ++k)
    if (k != 2 && k != 5 && !IsLowerHex(id[k])) return false;
  *keyType = static_cast<int>(std::stoul(id.substr(0, 2), nullptr, 16));
  *version = static_cast<int>(std::stoul(id.substr(3, 2), nullptr, 16));
  *serial = static_cast<int>(static_cast<unsigned>(std::stoul(id.substr(6), nullptr, 16)));
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

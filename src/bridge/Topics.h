// The topics and payloads of the bridge, shared with the `mqtt:` back-end,
// which reads what another Toggra's bridge publishes.
//
//   PREFIX/status           online (retained) / offline (last will, clean end)
//   PREFIX/ID/state         ON OFF | red yellow green dark | unavailable (retained)
//   PREFIX/ID/set           ON OFF TOGGLE | red yellow green dark
//   PREFIX/ID/run           START STOP TOGGLE
//   PREFIX/ID/countdown     whole seconds left, 0 when none runs (retained)
//   PREFIX/ID/kind          switch | traffic_light (retained)
//
// ID is the channel's settings prefix: key type, version and serial number in
// lower-case hex ("28-1f-00001a2b"), so it stays the same across restarts.
#pragma once

#include <cstddef>
#include <string>

namespace toggra {

inline constexpr const char* kTopicStatus = "status";
inline constexpr const char* kTopicState = "state";
inline constexpr const char* kTopicSet = "set";
inline constexpr const char* kTopicRun = "run";
inline constexpr const char* kTopicCountdown = "countdown";
inline constexpr const char* kTopicKind = "kind";

inline constexpr const char* kPayloadOnline = "online";
inline constexpr const char* kPayloadOffline = "offline";
inline constexpr const char* kPayloadUnavailable = "unavailable";
inline constexpr const char* kKindSwitch = "switch";
inline constexpr const char* kKindTrafficLight = "traffic_light";

// Commands and states are short words; anything longer is refused unread.
inline constexpr size_t kMaxCommandPayload = 64;

// "%02x-%02x-%08x" of key type, version and serial number.
std::string ChannelTopicId(int keyType, int version, int serial);
// The inverse; false when `id` has not exactly that form.
bool ParseChannelTopicId(const std::string& id, int* keyType, int* version, int* serial);

// The published state of a column state code (m_state): ON / OFF for a
// switch, the colour for a traffic light, "unavailable" for an unreadable one.
std::string StateText(int state, bool trafficLight);
// The inverse, for the back-end; false for a text it does not know.
bool ParseStateText(const std::string& text, bool trafficLight, int* state);

enum class MqttCommand { kOn, kOff, kToggle, kRed, kYellow, kGreen, kDark, kStart, kStop };

// A `set` payload (case is ignored); false for one that does not fit the
// channel's kind.
bool ParseSetCommand(const std::string& payload, bool trafficLight, MqttCommand* command);
// A `run` payload: START, STOP or TOGGLE.
bool ParseRunCommand(const std::string& payload, MqttCommand* command);
// The `set` payload that asks for a state code (the back-end's commands).
std::string SetPayloadOf(int state, bool trafficLight);

// Splits "PREFIX/ID/LEAF" for a known prefix; false for any other topic.
bool SplitChannelTopic(const std::string& topic, const std::string& prefix, std::string* id,
                       std::string* leaf);

}  // namespace toggra

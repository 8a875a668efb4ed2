// The topics and payloads of the bridge, shared with the `mqtt:` back-end,
// which reads what another Toggra's bridge publishes.
//
//   PREFIX/status           online (retained) / offline (last will, clean end)
//   PREFIX/claim            the instance that owns the prefix (retained JSON)
//   PREFIX/ID/state         ON OFF | red yellow green dark (retained)
//   PREFIX/ID/availability  online | offline: the channel reads (retained)
//   PREFIX/ID/set           ON OFF TOGGLE | red yellow green dark
//   PREFIX/ID/run           START STOP TOGGLE
//   PREFIX/ID/countdown     whole seconds left, 0 when none runs (retained)
//   PREFIX/ID/ends          when the running phase ends, ISO 8601 UTC, once per
//                           phase; None when none runs (retained)
//   PREFIX/ID/kind          switch | traffic_light (retained)
//
// ID is the channel's stable id BACKEND:DEVICE:CHANNEL as `toggra-ctl list`
// prints it ("hidrelay:ABCDE:1"), with '%', '/', '+', '#' and bytes below '!'
// or above '~' written as %XX (upper-case hex), which is one to one. A channel
// without a stable id (the simulation) uses its settings prefix. Earlier
// versions used the settings prefix with key type and version cut to a byte
// ("09-1f-00001a2b"); such topics are cleaned up once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace toggra {

inline constexpr const char* kTopicStatus = "status";
inline constexpr const char* kTopicState = "state";
inline constexpr const char* kTopicSet = "set";
inline constexpr const char* kTopicRun = "run";
inline constexpr const char* kTopicCountdown = "countdown";
inline constexpr const char* kTopicKind = "kind";
inline constexpr const char* kTopicAvailability = "availability";
inline constexpr const char* kTopicClaim = "claim";
inline constexpr const char* kTopicEnds = "ends";
// The `ends` payload while no countdown runs (Home Assistant's "no value").
inline constexpr const char* kPayloadNone = "None";

inline constexpr const char* kPayloadOnline = "online";
inline constexpr const char* kPayloadOffline = "offline";
inline constexpr const char* kPayloadUnavailable = "unavailable";
inline constexpr const char* kKindSwitch = "switch";
inline constexpr const char* kKindTrafficLight = "traffic_light";

// Commands and states are short words; anything longer is refused unread.
inline constexpr size_t kMaxCommandPayload = 64;

// The topic spelling of a stable id, and back; false for a text that is no
// such spelling (a bad escape, a character that must be escaped).
std::string TopicIdOf(const std::string& stableId);
bool StableIdOfTopic(const std::string& topicId, std::string* stableId);
// Splits a stable id BACKEND:DEVICE:CHANNEL at its first and last colon (the
// DEVICE may hold colons); false when it has fewer than two or an empty part.
bool SplitStableId(const std::string& id, std::string* backend, std::string* device,
                   std::string* channel);
// The "kk-vv-ssssssss" ids of earlier versions.
bool IsLegacyTopicId(const std::string& id);

// The published state of a column state code (m_state): ON / OFF for a
// switch, the colour for a traffic light, "unavailable" for an unreadable one
// (the bridge itself publishes no such state, it marks the channel offline).
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

// This machine's id: TOGGRA_MACHINE_ID when set, else /etc/machine-id (then
// /var/lib/dbus/machine-id), else the host name.
std::string MachineId();

// The retained claim on a prefix: {"machine":"…","pid":N,"host":"…"}. Claims
// are the same when machine and pid agree; an empty text for none.
std::string ClaimPayload(const std::string& machine, long pid, const std::string& host);
bool ParseClaim(const std::string& payload, std::string* machine, long* pid, std::string* host);

// "2026-12-09T22:41:07+00:00" for seconds since 1970.
std::string IsoTimeUtc(int64_t seconds);

// Splits "PREFIX/ID/LEAF" for a known prefix; false for any other topic.
bool SplitChannelTopic(const std::string& topic, const std::string& prefix, std::string* id,
                       std::string* leaf);

}  // namespace toggra

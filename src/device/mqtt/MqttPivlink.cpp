#include "device/mqtt/MqttPivlink.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "app/Ids.h"
#include "bridge/Topics.h"
#include "device/DeviceRegistry.h"
#include "settings/HiveRegistry.h"

namespace toggra {

namespace {

// The key types of channels 2 to 8 (the first channel's key type is the
// device type): a channel id's first field tells its channel.
constexpr std::array<int, 7> kLaterKeyTypes = {0x09, 0x0a, 0x0b, 0x34, 0x35, 0x36, 0x37};
constexpr int kTrafficLightLamps = 3;
constexpr int kLampIndexRed = 0, kLampIndexYellow = 1, kLampIndexGreen = 2;

int ChannelOfKeyType(int keyType) {
  for (size_t k = 0; k < kLaterKeyTypes.size(); ++k)
    if (kLaterKeyTypes[k] == keyType) return static_cast<int>(k) + 1;
  return 0;
}

bool IsSwitchType(int type) {
  return type == kTypeSwitch5 || type == kTypeSwitch8 || type == kTypeMultiSwitch ||
         type == kTypeSwitch48;
}

std::array<int, 3> LampsOf(int state) {
  switch (state) {
    case kStateOff: return {1, 0, 0};
    case kStateYellow: return {0, 1, 0};
    case kStateOn: return {0, 0, 1};
    case kStateDark: return {0, 0, 0};
    default: return {-1, -1, -1};
  }
}

int StateOfLamps(const std::array<int, 3>& l) {
  for (int s : {kStateOff, kStateYellow, kStateOn, kStateDark})
    if (LampsOf(s) == l) return s;
  return kStateUnreachable;
}

void Say(const std::string& line) {
  std::fprintf(stderr, "toggra: mqtt: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

CMqttPivlink::CMqttPivlink(MqttConfig config, std::string remotePrefix, IMqttTransport* transport)
    : m_config(std::move(config)), m_prefix(std::move(remotePrefix)), m_transport(transport) {
  if (!m_transport) {
    const std::string id = "toggra-" + std::to_string(::getpid()) + "-remote-" + m_prefix;
    m_client = std::make_unique<CMqttClient>(m_config, id, *this);
    m_transport = m_client.get();
  }
}

CMqttPivlink::~CMqttPivlink() {
  if (m_client) m_client->Stop();
}

int CMqttPivlink::OpenArvendal() {
  if (m_client && !m_started) {
    std::string reason;
    if (!m_client->Start(&reason)) Say("mqtt:" + m_prefix + ": " + reason);
    m_started = true;
    // The retained states come right after the subscription: wait for the
    // connection, then until they stop arriving, within fixed limits.
    std::unique_lock lock(m_mutex);
    m_arrived.wait_for(lock, kConnectWait, [this] { return m_connected; });
    if (m_connected) {
      int seen = -1;
      const auto end = std::chrono::steady_clock::now() + kConnectWait;
      while (seen != m_messages && std::chrono::steady_clock::now() < end) {
        seen = m_messages;
        m_arrived.wait_for(lock, kQuietWait, [&] { return seen != m_messages; });
      }
    } else {
      Say("mqtt:" + m_prefix + ": no connection to the broker yet; its channels are not shown");
    }
  }
  BuildDevices();
  return static_cast<int>(m_devices.size());
}

void CMqttPivlink::BuildDevices() {
  std::lock_guard lock(m_mutex);
  m_devices.clear();
  std::map<std::tuple<int, int>, Device> byDevice;  // (serial, version)
  for (const auto& [id, remote] : m_remote) {
    if (!remote.haveState) continue;
    int keyType = 0, version = 0, serial = 0;
    if (!ParseChannelTopicId(id, &keyType, &version, &serial)) continue;
    Device& d = byDevice[{serial, version}];
    d.version = version;
    d.serial = serial;
    const int channel = ChannelOfKeyType(keyType);
    if (channel == 0) d.type = IsSwitchType(keyType) ? keyType : kTypeSwitch8;
    if (remote.trafficLight) {
      d.trafficLight = true;
      d.channels = kTrafficLightLamps;
      d.ids[0] = id;
      continue;
    }
    if (d.trafficLight) continue;
    d.ids[static_cast<size_t>(channel)] = id;
    d.channels = std::max(d.channels, channel + 1);
  }
  for (auto& [key, d] : byDevice) m_devices.push_back(d);
}

const CMqttPivlink::Device* CMqttPivlink::Find(int device) const {
  if (device < 0 || device >= static_cast<int>(m_devices.size())) return nullptr;
  return &m_devices[static_cast<size_t>(device)];
}

int CMqttPivlink::StateOf(const std::string& id) const {
  const bool connected = m_client ? m_client->Connected() : m_connected;
  if (!connected || !m_remoteOnline || id.empty()) return kStateUnreachable;
  const auto it = m_remote.find(id);
  return it == m_remote.end() || !it->second.haveState ? kStateUnreachable : it->second.state;
}

int CMqttPivlink::GetUSBType(int device) {
  const Device* d = Find(device);
  return d ? d->type : 0;
}

int CMqttPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  const Device* d = Find(device);
  if (!d) return 0;
  if (switchCount) *switchCount = d->channels;
  if (buttonAvailable) *buttonAvailable = 0;
  return 1;
}

int CMqttPivlink::GetOnlineOnCount(int device) { return Find(device) ? 1 : 0; }
int CMqttPivlink::IsAmpel(int device) {
  const Device* d = Find(device);
  return d && d->trafficLight ? 1 : 0;
}
int CMqttPivlink::GetVersion(int device) {
  const Device* d = Find(device);
  return d ? d->version : 0;
}
int CMqttPivlink::GetSerialNumber(int device) {
  const Device* d = Find(device);
  return d ? d->serial : 0;
}
// The remote program has already turned an inverted channel's raw value into
// its published state.
int CMqttPivlink::IsCutter(int device) {
  (void)device;
  return 0;
}

int CMqttPivlink::GetSwitch(int device, int switchId) {
  const Device* d = Find(device);
  const int channel = switchId - kFirstSwitchId;
  if (!d || channel < 0 || channel >= d->channels) return kStateUnreachable;
  std::lock_guard lock(m_mutex);
  if (d->trafficLight) {
    const int state = StateOf(d->ids[0]);
    if (state < 0) return kStateUnreachable;
    return LampsOf(state)[static_cast<size_t>(channel)];
  }
  const int state = StateOf(d->ids[static_cast<size_t>(channel)]);
  return state < 0 ? kStateUnreachable : state;
}

int CMqttPivlink::GetMultiSwitch(int device, unsigned long* mask, unsigned long* value, int seq) {
  (void)seq;
  const Device* d = Find(device);
  if (!d) return -1;
  std::lock_guard lock(m_mutex);
  if (!(m_client ? m_client->Connected() : m_connected) || !m_remoteOnline) return -1;
  unsigned long bits = 0, known = 0;
  for (int c = 0; c < d->channels; ++c) {
    const int state = StateOf(d->ids[static_cast<size_t>(c)]);
    if (state < 0) continue;
    known |= 1ul << c;
    if (state > 0) bits |= 1ul << c;
  }
  if (mask) *mask = known;
  if (value) *value = bits;
  return 1;
}

int CMqttPivlink::SetSwitch(int device, int switchId, int on) {
  const int channel = switchId - kFirstSwitchId;
  if (device < 0 || device >= static_cast<int>(m_devices.size())) return 0;
  Device& d = m_devices[static_cast<size_t>(device)];
  if (channel < 0 || channel >= d.channels) return 0;
  if (!d.trafficLight) {
    Command(d.ids[static_cast<size_t>(channel)], on ? kStateOn : kStateOff, false);
    return 1;
  }
  // A colour is three lamp writes, and the program writes the green lamp last
  // in every colour change: only then is the colour complete.
  {
    std::lock_guard lock(m_mutex);
    if (channel != kLampIndexGreen && channel != kLampIndexRed && channel != kLampIndexYellow) return 0;
    d.lamps[static_cast<size_t>(channel)] = on ? 1 : 0;
  }
  if (channel != kLampIndexGreen) return 1;
  const int colour = StateOfLamps(d.lamps);
  if (colour == kStateUnreachable) return 0;
  Command(d.ids[0], colour, true);
  return 1;
}

void CMqttPivlink::Command(const std::string& id, int state, bool trafficLight) {
  if (id.empty()) return;
  {
    std::lock_guard lock(m_mutex);
    Remote& r = m_remote[id];
    // The same state again (the start-up re-send, a second click) would
    // restart the remote end's timed switch-on: leave it alone.
    const int current = r.commanded != kNoCommand ? r.commanded : r.state;
    if (r.haveState && current == state) return;
    r.commanded = state;
  }
  if (m_transport)
    m_transport->Publish(m_prefix + "/" + id + "/" + kTopicSet, SetPayloadOf(state, trafficLight), false);
}

// The remote device belongs to the program that publishes it; ending this one
// must not switch it.
int CMqttPivlink::ResetDevice(int device) { return Find(device) ? 1 : 0; }

std::string CMqttPivlink::DeviceName(int device) {
  const Device* d = Find(device);
  if (!d) return {};
  char name[32];
  std::snprintf(name, sizeof name, "%02x-%08x", static_cast<unsigned>(d->version) & 0xFFu,
                static_cast<unsigned>(d->serial));
  return name;
}

void CMqttPivlink::OnConnected() {
  for (const char* leaf : {kTopicState, kTopicKind})
    m_transport->Subscribe(m_prefix + "/+/" + leaf);
  m_transport->Subscribe(m_prefix + "/" + kTopicStatus);
  std::lock_guard lock(m_mutex);
  m_connected = true;
  m_arrived.notify_all();
}

void CMqttPivlink::OnMessage(const MqttMessage& message) {
  std::lock_guard lock(m_mutex);
  ++m_messages;
  m_arrived.notify_all();
  if (message.payload.size() > kMaxCommandPayload) return;
  if (message.topic == m_prefix + "/" + kTopicStatus) {
    m_remoteOnline = message.payload != kPayloadOffline;
    return;
  }
  std::string id, leaf;
  if (!SplitChannelTopic(message.topic, m_prefix, &id, &leaf)) return;
  int keyType, version, serial;
  if (!ParseChannelTopicId(id, &keyType, &version, &serial)) return;
  if (leaf == kTopicKind) {
    if (message.payload.empty()) return;
    m_remote[id].trafficLight = message.payload == kKindTrafficLight;
    return;
  }
  if (leaf != kTopicState) return;
  if (message.payload.empty()) {  // the channel is gone
    m_remote.erase(id);
    return;
  }
  Remote& r = m_remote[id];
  int state = kStateUnreachable;
  // A colour word marks a traffic light even before its kind arrives.
  if (!r.trafficLight && ParseStateText(message.payload, true, &state) && state != kStateUnreachable &&
      !ParseStateText(message.payload, false, &state))
    r.trafficLight = true;
  if (!ParseStateText(message.payload, r.trafficLight, &state)) return;
  r.state = state;
  r.haveState = true;
  r.commanded = kNoCommand;
}

void CMqttPivlink::OnProblem(const std::string& text) { Say("mqtt:" + m_prefix + ": " + text); }

void RegisterMqtt(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "mqtt";
  info.open = [](const std::string& prefix, std::string* reason) -> std::unique_ptr<CBackendPivlink> {
    if (!ValidTopicPrefix(prefix)) {
      *reason = "no topic prefix named (mqtt:PREFIX, without + # or a trailing /)";
      return nullptr;
    }
    CHiveRegistry hive = CHiveRegistry::FromEnvironment();
    MqttConfig config;
    switch (LoadMqttConfig(&hive, &config, reason)) {
      case MqttConfigResult::kOff:
        *reason = "no MQTT broker configured (TOGGRA_MQTT or the setting \"MQTT\")";
        return nullptr;
      case MqttConfigResult::kError:
        return nullptr;
      case MqttConfigResult::kOk:
        break;
    }
    return std::make_unique<CMqttPivlink>(config, prefix);
  };
  registry.Register(std::move(info));
}

}  // namespace toggra

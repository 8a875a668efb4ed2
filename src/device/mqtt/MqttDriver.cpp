#include "device/mqtt/MqttDriver.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "app/Ids.h"
#include "bridge/Topics.h"
#include "device/DeviceRegistry.h"
#include "settings/HiveRegistry.h"

namespace toggra {

namespace {

constexpr int kTrafficLightLamps = 3;
constexpr int kLampIndexGreen = 2;

// Channel names in the order of their numbers where they are numbers.
bool ChannelBefore(const std::string& a, const std::string& b) {
  char* endA = nullptr;
  char* endB = nullptr;
  const long na = std::strtol(a.c_str(), &endA, 10), nb = std::strtol(b.c_str(), &endB, 10);
  if (*endA == '\0' && *endB == '\0' && !a.empty() && !b.empty() && na != nb) return na < nb;
  return a < b;
}

void Say(const std::string& line) {
  std::fprintf(stderr, "toggra: mqtt: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

CMqttDriver::CMqttDriver(MqttConfig config, std::string remotePrefix, IMqttTransport* transport)
    : m_config(std::move(config)), m_prefix(std::move(remotePrefix)), m_transport(transport) {
  if (!m_transport) {
    const std::string id = "toggra-" + std::to_string(::getpid()) + "-remote-" + m_prefix;
    m_client = std::make_unique<CMqttClient>(m_config, id, *this);
    m_transport = m_client.get();
  }
}

CMqttDriver::~CMqttDriver() {
  if (m_client) m_client->Stop();
}

std::vector<DriverDevice> CMqttDriver::Enumerate() {
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
  std::vector<DriverDevice> devices;
  for (const Device& d : m_devices) devices.push_back(d.facts);
  return devices;
}

void CMqttDriver::BuildDevices() {
  std::lock_guard lock(m_mutex);
  m_devices.clear();
  // The remote stable id BACKEND:DEVICE:CHANNEL becomes the channel
  // mqtt:PREFIX:BACKEND:DEVICE:CHANNEL here: the entry, then the remote id.
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> byDevice;
  for (const auto& [id, remote] : m_remote) {
    if (!remote.haveState) continue;
    std::string backend, device, channel;
    if (!SplitStableId(id, &backend, &device, &channel)) continue;
    byDevice[backend + ":" + device].emplace_back(channel, id);
  }
  for (auto& [name, channels] : byDevice) {
    std::sort(channels.begin(), channels.end(),
              [](const auto& a, const auto& b) { return ChannelBefore(a.first, b.first); });
    Device d;
    d.facts.name = m_prefix + ":" + name;
    d.facts.type = kTypeSwitch8;
    d.facts.serial = NameSerial(d.facts.name);
    // The remote program has already turned an inverted channel's raw value
    // into its published state, so no channel is inverted here.
    if (m_remote[channels.front().second].trafficLight) {
      d.facts.trafficLight = true;
      d.channels = kTrafficLightLamps;
      d.ids[0] = channels.front().second;
      for (const char* lamp : {"red", "yellow", "green"}) d.facts.channels.push_back(lamp);
    } else {
      for (const auto& [channel, id] : channels) {
        if (d.channels == kMaxChannels) break;
        d.ids[static_cast<size_t>(d.channels++)] = id;
        d.facts.channels.push_back(channel);
      }
    }
    m_devices.push_back(d);
  }
}

CMqttDriver::Device* CMqttDriver::Find(int device) {
  if (device < 0 || device >= static_cast<int>(m_devices.size())) return nullptr;
  return &m_devices[static_cast<size_t>(device)];
}

int CMqttDriver::StateOf(const std::string& id) const {
  const bool connected = m_client ? m_client->Connected() : m_connected;
  if (!connected || !m_remoteOnline || id.empty()) return kStateUnreachable;
  const auto it = m_remote.find(id);
  return it == m_remote.end() || !it->second.haveState ? kStateUnreachable : it->second.state;
}

bool CMqttDriver::Read(int device, DriverReading* reading, std::string* /*error*/) {
  const Device* d = Find(device);
  if (!d) return false;
  std::unique_lock lock(m_mutex);
  // A reading right after a command waits (briefly) for the remote program's
  // answer, so that it does not report the state from before the command.
  m_arrived.wait_for(lock, m_answerWait, [&] {
    for (int c = 0; c < (d->facts.trafficLight ? 1 : d->channels); ++c) {
      const auto it = m_remote.find(d->ids[static_cast<size_t>(c)]);
      if (it != m_remote.end() && it->second.commanded != kNoCommand) return false;
    }
    return true;
  });
  reading->on = reading->known = 0;
  if (d->facts.trafficLight) {
    const std::array<int, 3> lamps = LampsOf(StateOf(d->ids[0]));
    if (lamps[0] < 0) return true;
    for (size_t n = 0; n < lamps.size(); ++n)
      if (lamps[n] > 0) reading->on |= 1u << n;
    reading->known = (1u << kTrafficLightLamps) - 1u;
    return true;
  }
  for (int c = 0; c < d->channels; ++c) {
    const int state = StateOf(d->ids[static_cast<size_t>(c)]);
    if (state < 0) continue;
    reading->known |= 1u << c;
    if (state > 0) reading->on |= 1u << c;
  }
  return true;
}

bool CMqttDriver::Write(int device, int channel, bool on, std::string* error) {
  Device* d = Find(device);
  if (!d || channel < 0 || channel >= d->channels) return false;
  if (!d->facts.trafficLight) {
    Command(d->ids[static_cast<size_t>(channel)], on ? kStateOn : kStateOff, false);
    return true;
  }
  // A colour is three lamp writes, and the program writes the green lamp last
  // in every colour change: only then is the colour complete.
  std::array<int, 3> lamps;
  {
    std::lock_guard lock(m_mutex);
    d->lamps[static_cast<size_t>(channel)] = on ? 1 : 0;
    lamps = d->lamps;
  }
  if (channel != kLampIndexGreen) return true;
  const int colour = StateOfLamps(lamps[0], lamps[1], lamps[2]);
  if (colour == kStateUnreachable) {
    *error = "no colour of a traffic light";
    return false;
  }
  Command(d->ids[0], colour, true);
  return true;
}

void CMqttDriver::Command(const std::string& id, int state, bool trafficLight) {
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
    m_transport->Publish(m_prefix + "/" + TopicIdOf(id) + "/" + kTopicSet,
                         SetPayloadOf(state, trafficLight), false);
}

// The remote device belongs to the program that publishes it; ending this one
// must not switch it (IDriver::Reset).

void CMqttDriver::OnConnected() {
  for (const char* leaf : {kTopicState, kTopicKind})
    m_transport->Subscribe(m_prefix + "/+/" + leaf);
  m_transport->Subscribe(m_prefix + "/" + kTopicStatus);
  std::lock_guard lock(m_mutex);
  m_connected = true;
  m_arrived.notify_all();
}

void CMqttDriver::OnMessage(const MqttMessage& message) {
  std::lock_guard lock(m_mutex);
  ++m_messages;
  m_arrived.notify_all();
  if (message.payload.size() > kMaxCommandPayload) return;
  if (message.topic == m_prefix + "/" + kTopicStatus) {
    m_remoteOnline = message.payload != kPayloadOffline;
    return;
  }
  std::string topicId, leaf, id;
  if (!SplitChannelTopic(message.topic, m_prefix, &topicId, &leaf)) return;
  std::string backend, device, channel;
  if (!StableIdOfTopic(topicId, &id) || !SplitStableId(id, &backend, &device, &channel)) return;
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

void CMqttDriver::OnProblem(const std::string& text) { Say("mqtt:" + m_prefix + ": " + text); }

void RegisterMqtt(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "mqtt";
  // Its channels are what the remote end published at start, not devices.
  info.hotplug = false;
  info.driver = [](const std::string& prefix, std::string* reason) -> std::unique_ptr<IDriver> {
    if (!ValidTopicPrefix(prefix)) {
      *reason = "no topic prefix named (mqtt:PREFIX, without + # or a trailing /)";
      return nullptr;
    }
    CHiveRegistry hive = CHiveRegistry::FromEnvironment();
    MqttConfig config;
    if (!LoadNeededMqttConfig(&hive, &config, reason)) return nullptr;
    return std::make_unique<CMqttDriver>(config, prefix);
  };
  registry.Register(std::move(info));
}

}  // namespace toggra

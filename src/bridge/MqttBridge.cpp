// Publishing: states after the read-back, countdowns, discovery, the
// program's availability, and the clean-up of what earlier runs left behind.
#include "bridge/MqttBridge.h"

#include <unistd.h>

#include <cstdio>
#include <map>

#include "app/StartUpSteps.h"
#include "app/ToggraDlg.h"
#include "device/Backend.h"
#include "device/Channels.h"
#include "trafficlight/ColumnSteps.h"

namespace toggra {

namespace {

// A read-back that disagrees with the program is tried again for this many
// ticks; the poll reconciles the column itself after its quiet period (3 s).
constexpr int kUnsettledTicks = 40;
// How far a phase's end may move between two publications of its seconds
// before it counts as a new phase.
constexpr int64_t kEndsSlack = 1;
constexpr const char* kClassicManufacturer = "Arvendal GmbH";

void WriteStderr(const std::string& line) {
  std::fprintf(stderr, "toggra: mqtt: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

int ReadBackState(CToggraDlg& d, int i) {
  const SwitchRecord& r = d.m_records[i];
  if (d.m_simulation || !d.m_device) return r.m_state;
  const int state =
      ReadChannelState(*d.m_device, r.m_devNo, r.m_switchId, r.m_usbType, d.m_trafficLight);
  return state < 0 ? kStateUnreachable : state;
}

std::string TopicIdOfRecord(const CToggraDlg& d, int i) {
  const SwitchRecord& r = d.m_records[i];
  std::string stable;
  if (!d.m_simulation && d.m_device) stable = StableChannelId(*d.m_device, r.m_devNo, r.m_switchId);
  return stable.empty() ? SettingsPrefix(r.m_keyType, r.m_version, r.m_serial) : TopicIdOf(stable);
}

int CountdownSeconds(const CToggraDlg& d, int i) {
  const SwitchRecord& r = d.m_records[i];
  int ticks = r.m_countdown;
  // The phase that runs, in the order the tick steps them.
  if (d.m_trafficLight) {
    for (int counter : {r.m_countdownT, r.m_countdown, r.m_countdown2}) {
      if (counter > 0) {
        ticks = counter;
        break;
      }
    }
  }
  if (ticks <= 0) return 0;
  return (ticks + column::kTicksPerSecond - 1) / column::kTicksPerSecond;
}

CMqttBridge::CMqttBridge(std::string prefix, std::string discoveryPrefix, IEventQueue& events)
    : m_prefix(std::move(prefix)),
      m_discoveryPrefix(std::move(discoveryPrefix)),
      m_legacyNode(LegacyDiscoveryNodeId(m_prefix)),
      m_events(events),
      m_log(WriteStderr) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  SetIdentity(MachineId(), static_cast<long>(::getpid()), host);
}

void CMqttBridge::SetIdentity(std::string machine, long pid, std::string host) {
  m_machine = std::move(machine);
  m_pid = pid;
  m_host = std::move(host);
  m_node = DiscoveryNodeId(m_machine, m_prefix);
  m_syncTopic = m_prefix + "/" + kTopicClaim + "/" + SafeId(m_machine) + "-" + std::to_string(m_pid);
}

std::string CMqttBridge::ClaimText() const { return ClaimPayload(m_machine, m_pid, m_host); }

CMqttBridge::~CMqttBridge() { *m_alive = false; }

void CMqttBridge::Attach(CToggraDlg* dlg) { m_dlg = dlg; }

void CMqttBridge::Log(const std::string& line) {
  if (m_log) m_log(line);
  if (m_dlg) m_dlg->AppendLog("mqtt: " + line + "\r\n");
}

void CMqttBridge::Publish(const std::string& topic, const std::string& payload, bool retain) {
  // Nothing goes out under a prefix this instance does not own.
  if (m_transport && m_owner == Owner::kOwn) m_transport->Publish(topic, payload, retain);
}

std::string CMqttBridge::ChannelTopic(size_t i, const char* leaf) const {
  return m_prefix + "/" + m_channels[i].id + "/" + leaf;
}

std::vector<std::string> CMqttBridge::Subscriptions() const {
  // The claim and status first: their retained messages arrive before the
  // echo on the sync topic, which the connect publishes after subscribing.
  std::vector<std::string> topics{ClaimTopic(), StatusTopic(), m_syncTopic,
                                  m_prefix + "/+/" + kTopicSet, m_prefix + "/+/" + kTopicRun,
                                  m_prefix + "/+/" + kTopicState,
                                  m_discoveryPrefix + "/+/" + m_node + "/+/config",
                                  m_discoveryPrefix + "/status"};
  if (m_legacyNode != m_node) topics.push_back(m_discoveryPrefix + "/+/" + m_legacyNode + "/+/config");
  return topics;
}

std::vector<std::string> CMqttBridge::RetainedOnlySubscriptions() const {
  std::vector<std::string> topics{m_prefix + "/+/" + kTopicState,
                                  m_discoveryPrefix + "/+/" + m_node + "/+/config"};
  if (m_legacyNode != m_node) topics.push_back(m_discoveryPrefix + "/+/" + m_legacyNode + "/+/config");
  return topics;
}

// ---- the network thread ----

void CMqttBridge::OnConnected() {
  // Subscribing only queues packets, so it may happen here; everything that
  // reads the columns waits for the event thread.
  if (m_transport) {
    for (const std::string& topic : Subscriptions()) m_transport->Subscribe(topic);
    // Answered after the retained messages of the subscriptions before it.
    m_transport->Publish(m_syncTopic, "sync", false);
  }
  std::weak_ptr<bool> alive = m_alive;
  m_events.Post([this, alive] {
    if (auto a = alive.lock(); a && *a) HandleConnected();
  });
}

void CMqttBridge::OnMessage(const MqttMessage& message) {
  std::weak_ptr<bool> alive = m_alive;
  m_events.Post([this, alive, message] {
    if (auto a = alive.lock(); a && *a) HandleMessage(message);
  });
}

void CMqttBridge::OnProblem(const std::string& text) {
  std::weak_ptr<bool> alive = m_alive;
  m_events.Post([this, alive, text] {
    if (auto a = alive.lock(); a && *a) Log(text);
  });
}

// ---- the event thread ----

void CMqttBridge::HandleConnected() {
  m_connected = true;
  // Who owns the prefix is decided anew on every connection, when the sync
  // echo arrives.
  m_owner = Owner::kUnknown;
  m_claimSeen.clear();
  m_statusSeen.clear();
}

void CMqttBridge::Decide() {
  std::string machine, host;
  long pid = 0;
  const bool claimed = !m_claimSeen.empty() && ParseClaim(m_claimSeen, &machine, &pid, &host);
  const bool mine = claimed && machine == m_machine && pid == m_pid;
  if (claimed && !mine && m_statusSeen == kPayloadOnline) {
    Refuse("the prefix " + m_prefix + " belongs to a running instance (machine " + machine +
           ", process " + std::to_string(pid) + (host.empty() ? "" : ", host " + host) +
           "); not bridging; give this one another prefix (TOGGRA_MQTT_PREFIX)");
    return;
  }
  TakeOver();
}

void CMqttBridge::Refuse(const std::string& why) {
  if (m_owner == Owner::kRefused) return;
  m_owner = Owner::kRefused;
  Log(why);
  if (m_onRefused) m_onRefused(why);
}

void CMqttBridge::TakeOver() {
  m_owner = Owner::kOwn;
  Publish(ClaimTopic(), ClaimText(), true);
  Publish(StatusTopic(), kPayloadOnline, true);
  // Configs of earlier versions first: an entity moves into its device
  // before the device config names it.
  RemoveStale();
  PublishAllDevices();
  // The broker may have lost everything (restarted without persistence).
  for (size_t i = 0; i < m_channels.size(); ++i) {
    m_channels[i].state.clear();
    m_channels[i].countdown = -1;
    m_channels[i].ends = -1;
    PublishChannel(i);
  }
  for (const std::string& topic : m_retainedCommands) Publish(topic, "", true);
  m_retainedCommands.clear();
}

void CMqttBridge::OnColumnsReset(const CToggraDlg& dlg) {
  (void)dlg;
  RebuildChannels();
  m_haveColumns = true;
  // A device that was missing and is back is no longer missing.
  for (const Channel& c : m_channels) m_missing.erase(c.id);
  RemoveStale();
  PublishAllDevices();
  for (size_t i = 0; i < m_channels.size(); ++i) PublishChannel(i);
  for (const std::string& id : m_missing)
    Publish(m_prefix + "/" + id + "/" + kTopicAvailability, kPayloadOffline, true);
}

void CMqttBridge::OnDialogEnding(const CToggraDlg& dlg) {
  (void)dlg;
  // A run cut short by the end leaves no countdown behind on the broker.
  for (size_t i = 0; i < m_channels.size(); ++i)
    if (m_channels[i].countdown > 0) {
      Publish(ChannelTopic(i, kTopicCountdown), "0", true);
      Publish(ChannelTopic(i, kTopicEnds), kPayloadNone, true);
    }
  m_dlg = nullptr;
}

void CMqttBridge::OnColumnChanged(const CToggraDlg& dlg, int i, unsigned what) {
  (void)dlg;
  if (i < 0 || static_cast<size_t>(i) >= m_channels.size()) return;
  const auto k = static_cast<size_t>(i);
  if (what & kChangeState) ScheduleReadBack(k);
  // Cheap, and the countdown also ends with a state change.
  PublishCountdown(k);
  if (what & kChangeCaption) {
    const std::string caption = CaptionOf(i);
    if (caption != m_channels[k].discovery.caption) {
      m_channels[k].discovery.caption = caption;
      PublishDevice(m_channels[k].device);
    }
  }
}

void CMqttBridge::RebuildChannels() {
  m_channels.clear();
  m_byId.clear();
  if (!m_dlg) return;
  const CToggraDlg& d = *m_dlg;
  for (int i = 0; i < d.m_switchCount; ++i) {
    const SwitchRecord& r = d.m_records[i];
    Channel c;
    c.id = TopicIdOfRecord(d, i);
    c.trafficLight = d.m_trafficLight != 0;
    c.device = DeviceKeyOf(c.id);
    c.discovery = {c.id, m_machine, CaptionOf(i), c.trafficLight, r.m_version, {}, {}};
    if (auto* lib = dynamic_cast<CBackendPivlink*>(d.m_device.get()); lib && !d.m_simulation) {
      const DeviceHardware hardware = lib->Hardware(r.m_devNo);
      c.discovery.manufacturer = hardware.manufacturer;
      c.discovery.model = hardware.model;
    } else if (d.m_simulation) {
      // The simulation stands for the classic devices.
      c.discovery.manufacturer = kClassicManufacturer;
      c.discovery.model = "USB type " + std::to_string(r.m_usbType);
    }
    // Two columns of one channel would share topics: only the first gets
    // them. Channels stay index for index with the records.
    c.shadow = m_byId.count(c.id) != 0;
    if (c.shadow) {
      Log("column " + std::to_string(i) + " has the channel id " + c.id +
          " of an earlier column; it is not published");
    } else {
      m_byId[c.id] = m_channels.size();
    }
    m_channels.push_back(std::move(c));
  }
}

std::string CMqttBridge::CaptionOf(int i) const {
  if (!m_dlg) return {};
  const CToggraDlg& d = *m_dlg;
  const std::string id = TopicIdOfRecord(d, i);
  if (d.m_groupMode || i >= d.ShownColumns()) return id;
  const CControl* box = d.FindControl(kIdGroupBox + i);
  if (!box || box->text.empty()) return id;
  // The caption a column gets when nobody named it (its serial number, or
  // "Simulation") names no entity: the entity is then called after the channel.
  const SwitchRecord& r = d.m_records[i];
  const ChannelRow* row = ChannelRowOf(r.m_switchId);
  const std::string serialCaption = std::to_string(r.m_serial) + (row ? row->suffix : "");
  if (box->text == serialCaption || box->text == kStrSimulation) return id;
  return box->text;
}

void CMqttBridge::PublishChannel(size_t i) {
  if (m_channels[i].shadow) return;
  Publish(ChannelTopic(i, kTopicKind), m_channels[i].trafficLight ? kKindTrafficLight : kKindSwitch,
          true);
  PublishState(i);
  PublishCountdown(i);
}

void CMqttBridge::PublishDevice(const std::string& key) {
  std::vector<DiscoveryChannel> channels;
  for (const Channel& c : m_channels)
    if (!c.shadow && c.device == key) channels.push_back(c.discovery);
  if (channels.empty()) return;
  const DiscoveryConfig config = DeviceConfig(m_discoveryPrefix, m_prefix, channels);
  Publish(config.topic, config.payload, true);
}

void CMqttBridge::PublishAllDevices() {
  std::set<std::string> done;
  for (const Channel& c : m_channels)
    if (!c.shadow && done.insert(c.device).second) PublishDevice(c.device);
}

void CMqttBridge::ScheduleReadBack(size_t i) {
  // The change is reported from inside the operation, before its device
  // command may have gone out: read back once the operation is over.
  if (m_channels[i].readBackPending) return;
  m_channels[i].readBackPending = true;
  std::weak_ptr<bool> alive = m_alive;
  m_events.Post([this, alive, i] {
    auto a = alive.lock();
    if (!a || !*a || i >= m_channels.size()) return;
    m_channels[i].readBackPending = false;
    m_channels[i].unsettledTicks = PublishState(i) ? 0 : kUnsettledTicks;
    // The operation may arm its countdown after it changed the state.
    PublishCountdown(i);
  });
}

bool CMqttBridge::PublishState(size_t i) {
  if (!m_dlg || m_dlg->Ended() || m_channels[i].shadow) return true;
  const int state = ReadBackState(*m_dlg, static_cast<int>(i));
  const bool trafficLight = m_channels[i].trafficLight;
  // Compared as published: a plain channel's dark (3) reads back as on.
  const bool agrees = StateText(state, trafficLight) ==
                      StateText(m_dlg->m_records[static_cast<size_t>(i)].m_state, trafficLight);
  // An unreadable channel keeps its last state and is marked offline, so a
  // state topic only ever carries a valid state.
  const std::string text = StateText(state, trafficLight);
  if (text != m_channels[i].state) {
    const bool wasReadable = !m_channels[i].state.empty() && m_channels[i].state != kPayloadUnavailable;
    const bool readable = text != kPayloadUnavailable;
    if (readable) Publish(ChannelTopic(i, kTopicState), text, true);
    if (readable != wasReadable || m_channels[i].state.empty())
      Publish(ChannelTopic(i, kTopicAvailability), readable ? kPayloadOnline : kPayloadOffline, true);
    m_channels[i].state = text;
  }
  return agrees;
}

void CMqttBridge::Tick() {
  for (size_t i = 0; i < m_channels.size(); ++i) {
    if (m_channels[i].unsettledTicks <= 0) continue;
    if (PublishState(i))
      m_channels[i].unsettledTicks = 0;
    else
      --m_channels[i].unsettledTicks;
  }
}

void CMqttBridge::PublishCountdown(size_t i) {
  if (!m_dlg || m_channels[i].shadow) return;
  const int seconds = CountdownSeconds(*m_dlg, static_cast<int>(i));
  if (seconds == m_channels[i].countdown) return;
  m_channels[i].countdown = seconds;
  Publish(ChannelTopic(i, kTopicCountdown), std::to_string(seconds), true);
  // The end of the phase, once per phase: a countdown that goes on as
  // expected moves its end by less than the rounding of whole seconds.
  Channel& c = m_channels[i];
  const int64_t ends = seconds > 0 ? m_dlg->m_services.clock->Time64() + seconds : 0;
  const bool samePhase = c.ends > 0 && ends > 0 && ends >= c.ends - kEndsSlack && ends <= c.ends + kEndsSlack;
  if (ends == c.ends || samePhase) return;
  c.ends = ends;
  Publish(ChannelTopic(i, kTopicEnds), ends > 0 ? IsoTimeUtc(ends) : kPayloadNone, true);
}

void CMqttBridge::RemoveStale() {
  if (!m_haveColumns || m_owner != Owner::kOwn) return;
  std::set<std::string> current;
  std::map<std::string, std::string> entities;  // per-entity config topic: device
  for (const Channel& c : m_channels) {
    if (c.shadow) continue;
    for (const char* leaf : {kTopicState, kTopicCountdown, kTopicKind, kTopicAvailability, kTopicEnds})
      current.insert(m_prefix + "/" + c.id + "/" + leaf);
    for (const std::string& topic : EntityConfigTopics(m_discoveryPrefix, m_machine, m_prefix, c.id))
      entities[topic] = c.device;
  }
  // The per-entity configs of the previous version move into the device
  // configs: each is told so, the device config follows, then they are emptied.
  std::set<std::string> moved;
  std::vector<std::string> migrated;
  // What earlier versions published (ids of the settings prefix, configs under
  // the old node id) is emptied once. A channel of ours that this run lacks
  // (its device is missing) keeps its topics and configs and shows offline.
  for (const std::string& topic : m_seenRetained) {
    if (current.count(topic)) continue;
    std::string id, leaf;
    if (SplitChannelTopic(topic, m_prefix, &id, &leaf)) {
      if (!IsLegacyTopicId(id)) {
        if (leaf == kTopicState && m_missing.insert(id).second)
          Publish(m_prefix + "/" + id + "/" + kTopicAvailability, kPayloadOffline, true);
        continue;
      }
      Publish(topic, "", true);
      for (const char* gone : {kTopicCountdown, kTopicKind})
        Publish(m_prefix + "/" + id + "/" + gone, "", true);
      continue;
    }
    if (const auto it = entities.find(topic); it != entities.end()) {
      Publish(topic, kMigratePayload, true);
      moved.insert(it->second);
      migrated.push_back(topic);
      continue;
    }
    // Configs of a channel that is missing now stay as they are.
    std::string object;
    if (SplitDiscoveryTopic(topic, m_discoveryPrefix, m_legacyNode, &object) && m_legacyNode != m_node)
      Publish(topic, "", true);
  }
  m_seenRetained.clear();
  for (const std::string& key : moved) PublishDevice(key);
  for (const std::string& topic : migrated) Publish(topic, "", true);
}

void CMqttBridge::HandleMessage(const MqttMessage& message) {
  if (message.topic == ClaimTopic()) {
    if (m_owner == Owner::kUnknown) {
      m_claimSeen = message.payload;
    } else if (m_owner == Owner::kOwn && !message.payload.empty() && message.payload != ClaimText()) {
      // Another instance claimed it meanwhile (both started at once): the
      // smaller identity keeps the prefix.
      if (message.payload < ClaimText())
        Refuse("the prefix " + m_prefix + " was claimed by another instance (" + message.payload +
               "); not bridging any more");
      else
        Publish(ClaimTopic(), ClaimText(), true);
    }
    return;
  }
  if (message.topic == StatusTopic()) {
    if (m_owner == Owner::kUnknown) m_statusSeen = message.payload;
    // The last will of an instance that died while it checked the claim.
    else if (m_owner == Owner::kOwn && message.payload == kPayloadOffline)
      Publish(StatusTopic(), kPayloadOnline, true);
    return;
  }
  if (message.topic == m_syncTopic) {
    if (m_owner != Owner::kUnknown) return;
    Decide();
    // What these bring live is this instance's own echo: every state it
    // publishes would come back and wake both threads in the middle of the
    // next command. Their retained messages, all this connect wanted, are in.
    if (m_transport)
      for (const std::string& topic : RetainedOnlySubscriptions()) m_transport->Unsubscribe(topic);
    return;
  }
  if (m_owner == Owner::kRefused) return;
  if (message.topic == m_discoveryPrefix + "/status") {
    if (message.payload == kPayloadOnline) PublishAllDevices();
    return;
  }
  std::string object;
  if (SplitDiscoveryTopic(message.topic, m_discoveryPrefix, m_node, &object) ||
      SplitDiscoveryTopic(message.topic, m_discoveryPrefix, m_legacyNode, &object)) {
    // Only what the broker kept from before: our own live configs come back
    // without the retain flag.
    if (message.retained && !message.payload.empty()) {
      m_seenRetained.insert(message.topic);
      RemoveStale();
    }
    return;
  }
  std::string id, leaf;
  if (!SplitChannelTopic(message.topic, m_prefix, &id, &leaf)) return;
  if (leaf == kTopicState) {
    if (message.retained && !message.payload.empty()) {
      m_seenRetained.insert(message.topic);
      RemoveStale();
    }
    return;
  }
  HandleCommand(id, leaf, message);
}

}  // namespace toggra

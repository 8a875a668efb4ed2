// The bridge between the main dialog's columns and the broker: it publishes
// every channel's state, countdown and Home Assistant discovery config, and
// carries commands from the broker out through the dialog's own routing.
//
// Threads: the observer calls and every Handle... run on the event thread;
// the IMqttHandler calls come from the network thread and only post onto the
// event thread. Nothing here waits for the network: a publish only queues.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/ColumnObserver.h"
#include "bridge/HomeAssistant.h"
#include "bridge/MqttClient.h"
#include "bridge/Topics.h"

namespace toggra {

class CMqttBridge : public IColumnObserver, public IMqttHandler {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  CMqttBridge(std::string prefix, std::string discoveryPrefix, IEventQueue& events);
  ~CMqttBridge() override;
  CMqttBridge(const CMqttBridge&) = delete;
  CMqttBridge& operator=(const CMqttBridge&) = delete;

  // Where messages go; may be set after construction, null for none.
  void SetTransport(IMqttTransport* transport) { m_transport = transport; }
  // The dialog that commands are carried out on (null while there is none).
  void Attach(CToggraDlg* dlg);
  // Receives each log line (without "toggra: "); by default stderr. The line
  // also goes to the dialog's -L log.
  void SetLog(LogSink log) { m_log = std::move(log); }

  std::string StatusTopic() const { return m_prefix + "/" + kTopicStatus; }
  std::string ClaimTopic() const { return m_prefix + "/" + kTopicClaim; }
  // Echoed to this instance after its subscriptions at every connect: the
  // retained claim and status have arrived by then.
  const std::string& SyncTopic() const { return m_syncTopic; }
  // Who this instance is in its claim (the machine id by default).
  void SetIdentity(std::string machine, long pid, std::string host);
  const std::string& Machine() const { return m_machine; }
  // Called on the event thread when another live instance owns the prefix:
  // this one then publishes and carries out nothing until a later connect
  // finds the prefix free.
  void SetRefusedHandler(std::function<void(const std::string& why)> handler) {
    m_onRefused = std::move(handler);
  }
  // True once this instance has claimed the prefix on the current connection.
  bool Owns() const { return m_owner == Owner::kOwn; }
  bool Refused() const { return m_owner == Owner::kRefused; }
  const std::string& Prefix() const { return m_prefix; }

  // ---- IColumnObserver ----
  void OnColumnChanged(const CToggraDlg& dlg, int i, unsigned what) override;
  void OnColumnsReset(const CToggraDlg& dlg) override;
  void OnDialogEnding(const CToggraDlg& dlg) override;

  // ---- IMqttHandler (network thread) ----
  void OnConnected() override;
  void OnMessage(const MqttMessage& message) override;
  void OnProblem(const std::string& text) override;

  // ---- the event thread's side of the network calls ----
  void HandleConnected();
  void HandleMessage(const MqttMessage& message);

  // Runs after every tick of the dialog: a channel whose read-back did not
  // yet agree with the program's state (a remote device that answers later)
  // is read again, until it agrees or the poll takes over.
  void Tick();

  // The topics subscribed on every connect.
  std::vector<std::string> Subscriptions() const;
  // Those of them wanted for their retained messages only: given up once the
  // connect's sync echo is in.
  std::vector<std::string> RetainedOnlySubscriptions() const;

 private:
  struct Channel {
    std::string id;
    bool trafficLight = false;
    std::string device;  // DeviceKeyOf(id)
    DiscoveryChannel discovery;
    std::string state;      // last published; empty: none yet
    int countdown = -1;     // last published; -1: none yet
    int64_t ends = -1;      // end of the phase last published; 0: none runs; -1: not yet
    bool readBackPending = false;
    bool shadow = false;  // a later column with an earlier column's id
    int unsettledTicks = 0;  // ticks left to read again; 0: settled
  };

  enum class Owner { kUnknown, kOwn, kRefused };
  void Log(const std::string& line);
  void Decide();
  void TakeOver();
  void Refuse(const std::string& why);
  std::string ClaimText() const;
  void Publish(const std::string& topic, const std::string& payload, bool retain);
  void RebuildChannels();
  void PublishChannel(size_t i);
  // The device config of the channels with device key `key`.
  void PublishDevice(const std::string& key);
  void PublishAllDevices();
  void ScheduleReadBack(size_t i);
  // Publishes the read-back when it changed; true when it agrees with the
  // program's state.
  bool PublishState(size_t i);
  void PublishCountdown(size_t i);
  void RemoveStale();
  std::string ChannelTopic(size_t i, const char* leaf) const;
  std::string CaptionOf(int i) const;

  // BridgeCommands.cpp
  void HandleCommand(const std::string& id, const std::string& leaf, const MqttMessage& message);
  void RunSetCommand(int i, MqttCommand command);
  void RunStartStop(int i, MqttCommand command);

  std::string m_prefix;
  std::string m_discoveryPrefix;
  std::string m_node;
  std::string m_legacyNode;
  std::string m_machine;
  long m_pid = 0;
  std::string m_host;
  std::string m_syncTopic;
  Owner m_owner = Owner::kUnknown;
  std::string m_claimSeen;   // the retained claim found at connect
  std::string m_statusSeen;  // the retained status found at connect
  std::function<void(const std::string&)> m_onRefused;
  // Ids of channels that an earlier run published and this one lacks (a
  // device missing at start): kept, shown offline.
  std::set<std::string> m_missing;
  // Retained commands found before the claim was decided: emptied then.
  std::set<std::string> m_retainedCommands;
  IEventQueue& m_events;
  IMqttTransport* m_transport = nullptr;
  CToggraDlg* m_dlg = nullptr;
  LogSink m_log;
  std::vector<Channel> m_channels;  // by record index
  std::unordered_map<std::string, size_t> m_byId;
  bool m_haveColumns = false;
  bool m_connected = false;
  // Retained topics of ours (states, configs) seen on the broker; those of
  // channels this run does not have are emptied once the columns are known.
  std::set<std::string> m_seenRetained;
  // Posted work checks that the bridge still exists.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The state of record i as the device reports it now (the read-back), not
// as the last command set it: plain channels by GetSwitch or GetMultiSwitch,
// traffic lights by their three lamps. A simulation reports m_state.
int ReadBackState(CToggraDlg& dlg, int i);

// Whole seconds left of the countdown that runs on record i, 0 for none.
int CountdownSeconds(const CToggraDlg& dlg, int i);

// The topic id of record i: its stable id as spelled in topics, or the
// settings prefix when it has none (the simulation).
std::string TopicIdOfRecord(const CToggraDlg& dlg, int i);

}  // namespace toggra

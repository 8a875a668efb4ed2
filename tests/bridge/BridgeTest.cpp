// The bridge on a dialog wired to fakes: what it publishes, and what the
// commands from the broker make the devices do.
#include <gtest/gtest.h>

#include "bridge/MqttBridge.h"
#include "bridge/BridgeFakes.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

constexpr const char* kPrefix = "toggra/box";

class Bridge : public ::testing::Test {
 protected:
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  ManualQueue queue;
  FakeTransport net;
  CMqttBridge bridge{kPrefix, "homeassistant", queue};
  std::vector<std::string> logged;

  // n plain channels of one 8-channel device, serial 0x1a2b, all off.
  void Start(int n, bool trafficLight = false) {
    t.device->devices.push_back({});
    t.device->devices[0].switches = n;
    d.m_trafficLight = trafficLight;
    for (int j = 0; j < n; ++j) {
      SwitchRecord& r = t.AddColumn(0, kFirstSwitchId + (trafficLight ? 0 : j), 0);
      r.m_keyType = j == 0 ? 8 : 8 + j;
      r.m_version = 0x1f;
      r.m_serial = 0x1a2b;
    }
    if (trafficLight) t.device->devices[0].state = {{kLampRed, 1}};
    bridge.SetTransport(&net);
    bridge.SetLog([this](const std::string& line) { logged.push_back(line); });
    bridge.SetIdentity("m1", 1, "host");
    bridge.Attach(&d);
    // Connected, with no claim on the prefix.
    bridge.HandleConnected();
    bridge.HandleMessage({bridge.SyncTopic(), "sync", false});
    bridge.OnColumnsReset(d);
    queue.Run();
  }
  std::string Topic(int j, const char* leaf) const {
    const SwitchRecord& r = d.m_records[j];
    return std::string(kPrefix) + "/" + SettingsPrefix(r.m_keyType, r.m_version, r.m_serial) + "/" + leaf;
  }
  void Send(int j, const char* leaf, const std::string& payload, bool retained = false) {
    bridge.HandleMessage({Topic(j, leaf), payload, retained});
    // What the dialog reports to its observers once the change is made.
    for (int i = 0; i < d.m_switchCount; ++i) bridge.OnColumnChanged(d, i, kChangeState | kChangeCountdown);
    queue.Run();
  }
  std::vector<std::string> Sent() const { return t.device->CallsOf("SetSwitch"); }
};

TEST_F(Bridge, AnnouncesEveryChannelWithItsReadBackState) {
  Start(2);
  EXPECT_EQ(net.Last(Topic(0, "state")), "OFF");
  EXPECT_EQ(net.Last(Topic(1, "kind")), "switch");
  EXPECT_EQ(net.Last(Topic(1, "countdown")), "0");
  // One config for the device, sent once.
  const std::string device = "homeassistant/device/toggra_m1_toggra_2Fbox_1f-00001a2b/config";
  ASSERT_EQ(net.To(device).size(), 1u);
  EXPECT_NE(net.Last(device).find("\"unique_id\":\"toggra_m1_toggra_2Fbox_08-1f-00001a2b\""), std::string::npos);
  EXPECT_NE(net.Last(device).find("toggra/box/09-1f-00001a2b/run"), std::string::npos);
  for (const Published& p : net.published) EXPECT_TRUE(p.retain) << p.topic;

  // The device, not the command, decides what is published.
  t.device->devices[0].state[kFirstSwitchId] = 1;
  bridge.OnColumnChanged(d, 0, kChangeState);
  EXPECT_EQ(net.Last(Topic(0, "state")), "OFF") << "published before the operation was over";
  queue.Run();
  EXPECT_EQ(net.Last(Topic(0, "state")), "ON");
}

TEST_F(Bridge, SwitchCommandsGoThroughTheRouting) {
  Start(4);
  d.m_exclusive = 1;
  Send(0, "set", "ON");
  // Exclusive switching sends the whole lower half, as the window's button does.
  EXPECT_EQ(Sent(), (std::vector<std::string>{"SetSwitch 0 16 1", "SetSwitch 0 17 0"}));
  EXPECT_EQ(net.Last(Topic(0, "state")), "ON");
  Send(0, "set", "on");  // already on: nothing to do
  EXPECT_EQ(Sent().size(), 2u);
  Send(0, "set", "TOGGLE");
  EXPECT_EQ(Sent().back(), "SetSwitch 0 17 0");
  EXPECT_EQ(net.Last(Topic(0, "state")), "OFF");
}

TEST_F(Bridge, OneLineAndInvertedChannelsEndInTheStateAskedFor) {
  Start(2);
  d.m_oneLine = 1;
  Send(0, "set", "OFF");
  EXPECT_TRUE(Sent().empty()) << "the one-line button would have toggled it on";
  Send(0, "set", "ON");
  EXPECT_EQ(Sent(), std::vector<std::string>{"SetSwitch 0 16 1"});
  d.m_oneLine = 0;
  d.m_records[1].m_inverted = 1;
  Send(1, "set", "ON");
  EXPECT_EQ(Sent().back(), "SetSwitch 0 17 1");
  EXPECT_EQ(net.Last(Topic(1, "state")), "ON");
}

TEST_F(Bridge, TrafficLightColoursAndStartStop) {
  Start(1, true);
  EXPECT_EQ(net.Last(Topic(0, "state")), "red");
  Send(0, "set", "yellow");
  EXPECT_EQ(Sent(), (std::vector<std::string>{"SetSwitch 0 17 1", "SetSwitch 0 16 0", "SetSwitch 0 18 0"}));
  EXPECT_EQ(net.Last(Topic(0, "state")), "yellow");
  Send(0, "set", "dark");
  EXPECT_EQ(net.Last(Topic(0, "state")), "dark");

  d.m_records[0].m_timer = 20;
  Send(0, "run", "STOP");  // nothing runs
  EXPECT_EQ(net.Last(Topic(0, "countdown")), "0");
  Send(0, "run", "START");
  EXPECT_EQ(net.Last(Topic(0, "state")), "green");
  EXPECT_EQ(net.Last(Topic(0, "countdown")), "20");
  const size_t sent = Sent().size();
  Send(0, "run", "START");  // runs already
  EXPECT_EQ(Sent().size(), sent);
  Send(0, "run", "STOP");
  EXPECT_EQ(net.Last(Topic(0, "state")), "red");
  EXPECT_EQ(net.Last(Topic(0, "countdown")), "0");
}

TEST_F(Bridge, BadMessagesAreIgnoredWithOneLineEach) {
  Start(1);
  Send(0, "set", "EIN");
  Send(0, "set", std::string(kMaxCommandPayload + 1, 'O'));
  Send(0, "set", "ON", true);
  bridge.HandleMessage({std::string(kPrefix) + "/28-00-00000000/set", "ON", false});
  d.m_pushButton = 1;
  Send(0, "set", "ON");
  EXPECT_TRUE(Sent().empty());
  ASSERT_EQ(logged.size(), 5u);
  EXPECT_NE(logged[0].find("unknown command \"EIN\""), std::string::npos);
  EXPECT_NE(logged[1].find("too long"), std::string::npos);
  EXPECT_NE(logged[2].find("retained"), std::string::npos);
  EXPECT_NE(logged[3].find("no such channel"), std::string::npos);
  EXPECT_NE(logged[4].find("push-button"), std::string::npos);
}

TEST_F(Bridge, EmptiesWhatGoneChannelsLeftOnTheBroker) {
  Start(1);
  net.published.clear();
  const std::string gone = std::string(kPrefix) + "/37-01-00000005/state";
  const std::string goneConfig = "homeassistant/switch/toggra_box/37-01-00000005/config";
  // The previous version's per-entity configs: one of this channel, one of
  // a channel whose device is missing now.
  const std::string entity = "homeassistant/switch/toggra_m1_toggra_2Fbox/08-1f-00001a2b/config";
  const std::string missing = "homeassistant/switch/toggra_m1_toggra_2Fbox/hidrelay_3AX_3A1/config";
  bridge.HandleMessage({gone, "ON", true});
  bridge.HandleMessage({goneConfig, "{}", true});
  bridge.HandleMessage({Topic(0, "state"), "OFF", true});  // ours: kept
  bridge.HandleMessage({"homeassistant/switch/other_node/x/config", "{}", true});
  bridge.HandleMessage({entity, "{}", true});
  bridge.HandleMessage({missing, "{}", true});
  EXPECT_EQ(net.To(gone), std::vector<std::string>{""});
  EXPECT_EQ(net.To(std::string(kPrefix) + "/37-01-00000005/kind"), std::vector<std::string>{""});
  EXPECT_EQ(net.To(goneConfig), std::vector<std::string>{""});
  // Migrated: told so, the device config, then emptied.
  ASSERT_EQ(net.published.size(), 7u);  // state, countdown, kind, config; the migration
  EXPECT_EQ(net.published[4].topic + " " + net.published[4].payload, entity + " " + kMigratePayload);
  EXPECT_EQ(net.published[5].topic, "homeassistant/device/toggra_m1_toggra_2Fbox_1f-00001a2b/config");
  EXPECT_EQ(net.published[6].topic + " " + net.published[6].payload, entity + " ");
  EXPECT_TRUE(net.To(missing).empty());
}

TEST_F(Bridge, ReconnectRepublishesAndALateDeviceIsReadAgain) {
  Start(1);
  net.published.clear();
  net.unsubscribed.clear();
  bridge.OnConnected();
  queue.Run();
  bridge.HandleMessage({bridge.SyncTopic(), "sync", false});
  EXPECT_EQ(net.subscribed, bridge.Subscriptions());
  // Past the sync, its own states would only come back as echoes.
  EXPECT_EQ(net.unsubscribed, bridge.RetainedOnlySubscriptions());
  EXPECT_EQ(net.unsubscribed[0], std::string(kPrefix) + "/+/state");
  EXPECT_EQ(net.Last(std::string(kPrefix) + "/status"), "online");
  EXPECT_EQ(net.Last(Topic(0, "state")), "OFF");

  // The command is out, the device answers only later (a remote one).
  d.m_records[0].m_state = kStateOn;
  bridge.OnColumnChanged(d, 0, kChangeState);
  queue.Run();
  EXPECT_EQ(net.To(Topic(0, "state")).size(), 1u);
  bridge.Tick();
  t.device->devices[0].state[kFirstSwitchId] = 1;
  bridge.Tick();
  EXPECT_EQ(net.Last(Topic(0, "state")), "ON");
}

}  // namespace
TEST_F(Bridge, AnotherLiveInstancesClaimSilencesThisOneUntilItIsGone) {
  Start(1);
  net.published.clear();
  const auto connect = [&](const std::string& claim, const char* status) {
    bridge.OnConnected();
    queue.Run();
    bridge.HandleMessage({bridge.ClaimTopic(), claim, true});
    bridge.HandleMessage({bridge.StatusTopic(), status, true});
    bridge.HandleMessage({bridge.SyncTopic(), "sync", false});
  };
  connect(ClaimPayload("m2", 7, "pi"), "online");
  EXPECT_TRUE(bridge.Refused());
  for (const Published& p : net.published) EXPECT_EQ(p.topic, bridge.SyncTopic());
  Send(0, "set", "ON");
  EXPECT_TRUE(Sent().empty());
  // Its own claim from before a reconnect, or one whose owner is offline:
  // this instance bridges.
  connect(ClaimPayload("m2", 7, "pi"), "offline");
  EXPECT_TRUE(bridge.Owns());
  EXPECT_EQ(net.Last(bridge.ClaimTopic()), ClaimPayload("m1", 1, "host"));
  EXPECT_EQ(net.Last(std::string(kPrefix) + "/status"), "online");
}

}  // namespace toggra::test

// `mqtt:PREFIX`: the channels that another Toggra's bridge publishes under
// PREFIX, as devices of this program. States come from the retained state
// topics, commands go to the set topics; the broker is the one configured for
// the bridge (TOGGRA_MQTT or the setting "MQTT").
//
// The boundary calls answer from what the network thread last received and
// never wait for the network, except OpenArvendal, which waits a short,
// bounded time for the retained states at start.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/MqttClient.h"
#include "device/Backend.h"

namespace toggra {

class CDeviceRegistry;

class CMqttPivlink : public CBackendPivlink, public IMqttHandler {
 public:
  static constexpr int kMaxChannels = 8;
  // How long OpenArvendal waits for the connection and for the retained
  // states to stop arriving.
  static constexpr std::chrono::milliseconds kConnectWait{2000};
  static constexpr std::chrono::milliseconds kQuietWait{200};

  // `transport` null: a client of its own for `config`. Tests pass a fake and
  // feed OnConnected / OnMessage themselves.
  CMqttPivlink(MqttConfig config, std::string remotePrefix, IMqttTransport* transport = nullptr);
  ~CMqttPivlink() override;

  int OpenArvendal() override;
  int GetUSBType(int device) override;
  int GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) override;
  int GetOnlineOnCount(int device) override;
  int IsAmpel(int device) override;
  int GetVersion(int device) override;
  int GetSerialNumber(int device) override;
  int IsCutter(int device) override;
  int GetSwitch(int device, int switchId) override;
  int SetSwitch(int device, int switchId, int on) override;
  int GetMultiSwitch(int device, unsigned long* mask, unsigned long* value, int seq) override;
  int ResetDevice(int device) override;
  std::string DeviceName(int device) override;

  // ---- IMqttHandler (network thread) ----
  void OnConnected() override;
  void OnMessage(const MqttMessage& message) override;
  void OnProblem(const std::string& text) override;

 private:
  static constexpr int kNoCommand = -100;

  struct Remote {
    int state = -1;  // kStateUnreachable until a state arrives
    bool haveState = false;
    bool trafficLight = false;
    // The last command sent and not yet answered by a state, or kNoCommand.
    int commanded = kNoCommand;
  };
  struct Device {
    int type = kTypeSwitch8;
    int version = 0;
    int serial = 0;
    bool trafficLight = false;
    int channels = 0;
    std::array<std::string, kMaxChannels> ids;  // by channel (id - 16)
    std::array<int, 3> lamps{};                  // pending traffic-light lamps
  };

  void BuildDevices();
  const Device* Find(int device) const;
  int StateOf(const std::string& id) const;  // with m_mutex held
  void Command(const std::string& id, int state, bool trafficLight);

  MqttConfig m_config;
  std::string m_prefix;
  std::unique_ptr<CMqttClient> m_client;
  IMqttTransport* m_transport = nullptr;
  bool m_started = false;

  mutable std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::map<std::string, Remote> m_remote;  // by channel id
  bool m_connected = false;
  bool m_remoteOnline = true;
  int m_messages = 0;  // counts arrivals, for the quiet wait

  std::vector<Device> m_devices;  // fixed by OpenArvendal
};

// Registers the `mqtt` back-end.
void RegisterMqtt(CDeviceRegistry& registry);

}  // namespace toggra

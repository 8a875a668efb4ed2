// `mqtt:PREFIX`: the channels that another Toggra's bridge publishes under
// PREFIX, as devices of this program. States come from the retained state
// topics, commands go to the set topics; the broker is the one configured for
// the bridge (TOGGRA_MQTT or the setting "MQTT").
//
// Reads answer from what the network thread last received and never wait
// for the network, except Enumerate, which waits a short, bounded time for
// the retained states at start.
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
#include "device/kit/Driver.h"

namespace toggra {

class CDeviceRegistry;

class CMqttDriver : public IDriver, public IMqttHandler {
 public:
  static constexpr int kMaxChannels = 8;
  // How long Enumerate waits for the connection and for the retained states
  // to stop arriving.
  static constexpr std::chrono::milliseconds kConnectWait{2000};
  static constexpr std::chrono::milliseconds kQuietWait{200};
  // How long a reading waits for the answer to a command just sent.
  static constexpr std::chrono::milliseconds kAnswerWait{1000};

  // `transport` null: a client of its own for `config`. Tests pass a fake and
  // feed OnConnected / OnMessage themselves.
  CMqttDriver(MqttConfig config, std::string remotePrefix, IMqttTransport* transport = nullptr);
  ~CMqttDriver() override;

  // One device per remote device, named PREFIX:BACKEND:DEVICE after the
  // remote stable ids, so that a remote channel BACKEND:DEVICE:CHANNEL is
  // mqtt:PREFIX:BACKEND:DEVICE:CHANNEL here; remote channels without a
  // stable id (a simulation) are not shown.
  std::vector<DriverDevice> Enumerate() override;
  // Channels without a state, or all while the broker or the remote program
  // is away, are not known.
  bool Read(int device, DriverReading* reading, std::string* error) override;
  bool Write(int device, int channel, bool on, std::string* error) override;

  // Tests that feed the answers themselves wait for none.
  void SetAnswerWait(std::chrono::milliseconds wait) { m_answerWait = wait; }

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
    DriverDevice facts;
    int channels = 0;
    std::array<std::string, kMaxChannels> ids;  // by channel (id - 16)
    std::array<int, 3> lamps{};                  // pending traffic-light lamps
  };

  void BuildDevices();
  Device* Find(int device);
  int StateOf(const std::string& id) const;  // with m_mutex held
  void Command(const std::string& id, int state, bool trafficLight);

  MqttConfig m_config;
  std::string m_prefix;
  std::unique_ptr<CMqttClient> m_client;
  IMqttTransport* m_transport = nullptr;
  bool m_started = false;
  std::chrono::milliseconds m_answerWait = kAnswerWait;

  mutable std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::map<std::string, Remote> m_remote;  // by channel id
  bool m_connected = false;
  bool m_remoteOnline = true;
  int m_messages = 0;  // counts arrivals, for the quiet wait

  std::vector<Device> m_devices;  // fixed by Enumerate; the lamps by m_mutex
};

// Registers the `mqtt` back-end.
void RegisterMqtt(CDeviceRegistry& registry);

}  // namespace toggra

// One connection to the broker on libmosquitto's own network thread.
//
// The thread connects, reconnects with a growing delay after every loss and
// calls the handler; the handler runs on that thread and must hand anything
// that touches the program's state to the event thread. Publish and Subscribe
// may be called from any thread: they only queue the packet for the network
// thread and never wait for the network.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "bridge/MqttConfig.h"

struct mosquitto;
struct mosquitto_message;

namespace toggra {

// What the bridge and the back-end publish through; tests record it.
class IMqttTransport {
 public:
  virtual ~IMqttTransport() = default;
  // Queues one message (QoS 1); false when it cannot be queued (not
  // connected): the next connect republishes everything anyway.
  virtual bool Publish(const std::string& topic, const std::string& payload, bool retain) = 0;
  virtual bool Subscribe(const std::string& pattern) = 0;
  virtual bool Unsubscribe(const std::string& pattern) {
    (void)pattern;
    return false;
  }
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// Called on the network thread.
class IMqttHandler {
 public:
  virtual ~IMqttHandler() = default;
  // Connected (again): subscribe here, and republish.
  virtual void OnConnected() = 0;
  virtual void OnMessage(const MqttMessage& message) = 0;
  // A connection ended or could not be made, or the broker refused the login;
  // `text` is one line for the log ("toggra: ..." is added by the caller).
  virtual void OnProblem(const std::string& text) = 0;
};

// A broker connection as the programs see it. The programs get theirs from
// the mqtt back-end module (CreateMqttClient in device/BackendModule.h), so
// that only the module links libmosquitto.
class IMqttClient : public IMqttTransport {
 public:
  // Starts the network thread, which connects in the background; a broker
  // that is down is no failure. False (with *reason) only for settings the
  // library refuses (TLS files, an unresolvable host name).
  virtual bool Start(std::string* reason) = 0;
  // Publishes `lastTopic`/`lastPayload` (retained) when connected, ends the
  // connection cleanly and joins the thread. Waits at most for the packets
  // already queued on a live connection.
  virtual void Stop(const std::string& lastTopic, const std::string& lastPayload) = 0;
  virtual bool Connected() const = 0;
  // Connections made so far (for tests and figures).
  virtual int Connects() const = 0;
  // The TLS handshake failed (the library does not try again).
  virtual bool TlsFailed() const = 0;
  // The QoS of what Publish sends (1 unless set before Start). The bridge
  // uses 0: no acknowledgement then comes back from the broker, which with a
  // stock broker (Nagle on its side) held the next command up to 40 ms behind
  // it; everything is published again on every connect anyway. Subscriptions
  // stay at QoS 1: the acknowledgement of a command goes out at once and
  // carries the TCP acknowledgement of its segment with it (p99 8.8-12.0 ms
  // against 11.5-12.9 ms with QoS 0 on a loaded machine: within its noise).
  virtual void SetPublishQos(int qos) = 0;
  // Reads the password file again and, while not connected, tries at once
  // (SIGHUP).
  virtual void Reload() = 0;
};

class CMqttClient : public IMqttClient {
 public:
  // `will` is published by the broker with retain when the connection breaks
  // without a clean end; empty topic for none.
  CMqttClient(MqttConfig config, std::string clientId, IMqttHandler& handler,
              std::string willTopic = {}, std::string willPayload = {});
  ~CMqttClient() override;  // Stop()
  CMqttClient(const CMqttClient&) = delete;
  CMqttClient& operator=(const CMqttClient&) = delete;

  bool Start(std::string* reason) override;
  void Stop(const std::string& lastTopic, const std::string& lastPayload) override;
  void Stop() { Stop({}, {}); }

  bool Publish(const std::string& topic, const std::string& payload, bool retain) override;
  bool Subscribe(const std::string& pattern) override;
  bool Unsubscribe(const std::string& pattern) override;
  bool Connected() const override { return m_connected; }
  bool TlsFailed() const override { return m_tlsFailed; }
  void SetPublishQos(int qos) override { m_publishQos = qos; }
  void Reload() override;
  int Connects() const override { return m_connects; }
  const MqttConfig& Config() const { return m_config; }

 private:
  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnDisconnect(mosquitto*, void* self, int rc);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void OnLog(mosquitto*, void* self, int level, const char* text);
  std::string Where() const;
  // The one line for a failed TLS handshake, with the setting to check.
  std::string TlsFailure(const std::string& what) const;
  void ReloadPassword(mosquitto* mosq);

  MqttConfig m_config;
  std::string m_clientId;
  IMqttHandler& m_handler;
  std::string m_willTopic;
  std::string m_willPayload;
  mosquitto* m_mosq = nullptr;
  bool m_running = false;
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_connects{0};
  // One message per kind of failure until a connect succeeds again: a broker
  // that stays down gives one line, not one per retry.
  std::atomic<bool> m_lossReported{false};
  int m_publishQos = 1;
  std::atomic<bool> m_tlsFailed{false};
  std::mutex m_textMutex;
  std::string m_lastRefusal;  // the refusal last reported
};

// The library's text for a connect or error code.
std::string MqttErrorText(int rc);

}  // namespace toggra

#include "bridge/MqttClient.h"

#include <mosquitto.h>

#include <mutex>

namespace toggra {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;
// Reconnect after 1, 4, 9, 16, 25, then every 30 seconds.
constexpr unsigned kReconnectDelay = 1;
constexpr unsigned kReconnectDelayMax = 30;
constexpr const char* kSystemCaPath = "/etc/ssl/certs";
// CONNACK codes that no retry can change.
constexpr int kConnackBadLogin = 4;
constexpr int kConnackNotAuthorised = 5;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

std::string MqttErrorText(int rc) { return mosquitto_strerror(rc); }

CMqttClient::CMqttClient(MqttConfig config, std::string clientId, IMqttHandler& handler,
                         std::string willTopic, std::string willPayload)
    : m_config(std::move(config)),
      m_clientId(std::move(clientId)),
      m_handler(handler),
      m_willTopic(std::move(willTopic)),
      m_willPayload(std::move(willPayload)) {
  InitLibrary();
}

CMqttClient::~CMqttClient() {
  Stop();
  if (m_mosq) mosquitto_destroy(m_mosq);
}

std::string CMqttClient::Where() const {
  return "MQTT broker " + m_config.host + ":" + std::to_string(m_config.port);
}

bool CMqttClient::Start(std::string* reason) {
  if (m_running) return true;
  m_mosq = mosquitto_new(m_clientId.c_str(), true, this);
  if (!m_mosq) {
    *reason = "cannot create an MQTT client";
    return false;
  }
  mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_callback_set(m_mosq, &CMqttClient::OnConnect);
  mosquitto_disconnect_callback_set(m_mosq, &CMqttClient::OnDisconnect);
  mosquitto_message_callback_set(m_mosq, &CMqttClient::OnMessage);
  mosquitto_reconnect_delay_set(m_mosq, kReconnectDelay, kReconnectDelayMax, true);
  if (!m_config.user.empty()) {
    mosquitto_username_pw_set(m_mosq, m_config.user.c_str(),
                              m_config.password.empty() ? nullptr : m_config.password.c_str());
  }
  if (m_config.tls) {
    int rc;
    const char* cert = m_config.certFile.empty() ? nullptr : m_config.certFile.c_str();
    const char* key = m_config.keyFile.empty() ? nullptr : m_config.keyFile.c_str();
    if (m_config.caFile.empty() && !cert) {
      rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    } else if (m_config.caFile.empty()) {
      // A client certificate needs the CA named: the system's folder of them.
      rc = mosquitto_tls_set(m_mosq, nullptr, kSystemCaPath, cert, key, nullptr);
    } else {
      rc = mosquitto_tls_set(m_mosq, m_config.caFile.c_str(), nullptr, cert, key, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
      *reason = "TLS for " + Where() + ": " + MqttErrorText(rc);
      return false;
    }
  }
  if (!m_willTopic.empty()) {
    mosquitto_will_set(m_mosq, m_willTopic.c_str(), static_cast<int>(m_willPayload.size()),
                       m_willPayload.data(), kQos, true);
  }
  const int rc = mosquitto_connect_async(m_mosq, m_config.host.c_str(), m_config.port,
                                         kKeepAliveSeconds);
  // A broker that is not up yet is found later by the thread's reconnects.
  if (rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_INVAL) {
    *reason = Where() + ": " + (rc == MOSQ_ERR_EAI ? "host name not found" : MqttErrorText(rc));
    return false;
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    m_handler.OnProblem(Where() + " not reachable (" + MqttErrorText(rc) + "); trying again");
    m_lossReported = true;
  }
  if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) {
    *reason = "cannot start the MQTT network thread";
    return false;
  }
  m_running = true;
  return true;
}

void CMqttClient::Stop(const std::string& lastTopic, const std::string& lastPayload) {
  if (!m_running) return;
  m_stopping = true;
  if (m_connected && !lastTopic.empty()) Publish(lastTopic, lastPayload, true);
  // The disconnect packet queues behind the last publish; the thread sends
  // both and ends.
  mosquitto_disconnect(m_mosq);
  mosquitto_loop_stop(m_mosq, false);
  m_running = false;
  m_connected = false;
}

bool CMqttClient::Publish(const std::string& topic, const std::string& payload, bool retain) {
  if (!m_mosq || !m_connected) return false;
  return mosquitto_publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                           payload.data(), kQos, retain) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Subscribe(const std::string& pattern) {
  if (!m_mosq) return false;
  return mosquitto_subscribe(m_mosq, nullptr, pattern.c_str(), kQos) == MOSQ_ERR_SUCCESS;
}

void CMqttClient::OnConnect(mosquitto* mosq, void* self, int rc) {
  auto* c = static_cast<CMqttClient*>(self);
  if (rc == 0) {
    c->m_connected = true;
    ++c->m_connects;
    if (c->m_lossReported.exchange(false)) c->m_handler.OnProblem(c->Where() + " connected again");
    c->m_handler.OnConnected();
    return;
  }
  if (rc == kConnackBadLogin || rc == kConnackNotAuthorised) {
    // Retrying with the same login only floods the broker's log.
    c->m_handler.OnProblem(c->Where() + " refused the login of user \"" + c->m_config.user +
                           "\" (" + mosquitto_connack_string(rc) +
                           "); check the user name and the password file; not trying again");
    c->m_stopping = true;
    mosquitto_disconnect(mosq);
    return;
  }
  if (!c->m_lossReported.exchange(true))
    c->m_handler.OnProblem(c->Where() + " refused the connection (" + mosquitto_connack_string(rc) +
                           "); trying again");
}

void CMqttClient::OnDisconnect(mosquitto*, void* self, int rc) {
  auto* c = static_cast<CMqttClient*>(self);
  c->m_connected = false;
  if (c->m_stopping || rc == 0) return;
  if (!c->m_lossReported.exchange(true))
    c->m_handler.OnProblem(c->Where() + ": connection lost; reconnecting");
}

void CMqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* c = static_cast<CMqttClient*>(self);
  MqttMessage m;
  m.topic = message->topic ? message->topic : "";
  if (message->payload && message->payloadlen > 0)
    m.payload.assign(static_cast<const char*>(message->payload),
                     static_cast<size_t>(message->payloadlen));
  m.retained = message->retain;
  c->m_handler.OnMessage(m);
}

}  // namespace toggra

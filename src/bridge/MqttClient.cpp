#include "bridge/MqttClient.h"

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
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
  mosquitto_log_callback_set(m_mosq, &CMqttClient::OnLog);
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
  // The library reports a TLS read or write that failed as errno EPROTO.
  const bool protocol = rc == MOSQ_ERR_PROTOCOL || rc == MOSQ_ERR_TLS || (rc == MOSQ_ERR_ERRNO && errno == EPROTO);
  if (rc != MOSQ_ERR_SUCCESS && m_config.tls && protocol) {
    // The broker was reached and ended the handshake: a broker that wants a
    // client certificate ends it after ours is missing or not of its CA.
    // No retry mends that.
    m_tlsFailed = true;
    m_handler.OnProblem(TlsFailure("the broker ended the handshake (" + MqttErrorText(rc) + ")"));
  } else if (rc != MOSQ_ERR_SUCCESS) {
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
                           payload.data(), m_publishQos, retain) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Subscribe(const std::string& pattern) {
  if (!m_mosq) return false;
  return mosquitto_subscribe(m_mosq, nullptr, pattern.c_str(), kQos) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Unsubscribe(const std::string& pattern) {
  if (!m_mosq) return false;
  return mosquitto_unsubscribe(m_mosq, nullptr, pattern.c_str()) == MOSQ_ERR_SUCCESS;
}

void CMqttClient::OnConnect(mosquitto* mosq, void* self, int rc) {
  auto* c = static_cast<CMqttClient*>(self);
  if (rc == 0) {
    c->m_connected = true;
    ++c->m_connects;
    {
      std::lock_guard lock(c->m_textMutex);
      c->m_lastRefusal.clear();
    }
    if (c->m_lossReported.exchange(false)) c->m_handler.OnProblem(c->Where() + " connected again");
    c->m_handler.OnConnected();
    return;
  }
  std::string text;
  if (rc == kConnackBadLogin || rc == kConnackNotAuthorised) {
    // The thread tries again, further apart each time; the password file is
    // read anew before each attempt, so a fixed password is taken up without
    // a restart.
    text = c->Where() + " refused the login of user \"" + c->m_config.user + "\" (" +
           mosquitto_connack_string(rc) +
           "); check the user name and the password file; trying again";
    c->ReloadPassword(mosq);
  } else {
    text = c->Where() + " refused the connection (" + mosquitto_connack_string(rc) + "); trying again";
  }
  // Once per change: the same refusal again says nothing new.
  c->m_lossReported = true;
  std::lock_guard lock(c->m_textMutex);
  if (text != c->m_lastRefusal) {
    c->m_lastRefusal = text;
    c->m_handler.OnProblem(text);
  }
}

void CMqttClient::ReloadPassword(mosquitto* mosq) {
  if (m_config.passwordFile.empty() || m_config.user.empty()) return;
  std::string password, reason;
  if (!ReadPasswordFile(m_config.passwordFile, &password, &reason)) return;
  m_config.password = password;
  mosquitto_username_pw_set(mosq, m_config.user.c_str(), password.empty() ? nullptr : password.c_str());
}

void CMqttClient::Reload() {
  if (!m_mosq || !m_running) return;
  ReloadPassword(m_mosq);
  // Tried again now rather than after the growing wait.
  if (!m_connected) mosquitto_reconnect_async(m_mosq);
}

void CMqttClient::OnLog(mosquitto* mosq, void* self, int level, const char* text) {
  auto* c = static_cast<CMqttClient*>(self);
  if (!(level & MOSQ_LOG_ERR) || !text || std::string(text).find("OpenSSL Error") == std::string::npos)
    return;
  // The handshake failed; the library ends its thread for good after a TLS
  // error. Name the certificate check that failed, as OpenSSL words it.
  std::string why;
  if (auto* ssl = static_cast<SSL*>(mosquitto_ssl_get(mosq))) {
    const long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) why = X509_verify_cert_error_string(verify);
  }
  const std::string line =
      c->TlsFailure(why.empty() ? std::string(text) : "the broker's certificate was not accepted: " + why);
  c->m_tlsFailed = true;
  std::lock_guard lock(c->m_textMutex);
  if (line != c->m_lastRefusal) {
    c->m_lastRefusal = line;
    c->m_handler.OnProblem(line);
  }
}

std::string CMqttClient::TlsFailure(const std::string& what) const {
  // Which setting to look at: the broker's certificate is checked against the
  // CA setting; a handshake the broker ends is about the client's certificate.
  // A reset or an early end of the stream is the broker ending it too (newer
  // OpenSSL words a TLS 1.3 refusal that way when the alert is not read).
  const bool ours = what.find("certificate required") != std::string::npos ||
                    what.find("ended the handshake") != std::string::npos ||
                    what.find("reset by peer") != std::string::npos ||
                    what.find("unexpected eof") != std::string::npos ||
                    what.find("alert bad certificate") != std::string::npos ||
                    what.find("alert unknown ca") != std::string::npos;
  std::string check;
  if (ours)
    check = m_config.certFile.empty()
                ? "the broker may want a client certificate: TOGGRA_MQTT_CERT_FILE, TOGGRA_MQTT_KEY_FILE"
                : "the client certificate " + m_config.certFile + " (TOGGRA_MQTT_CERT_FILE)";
  else
    check = "check " + std::string(m_config.caFile.empty() ? "the system's CA store" : "the CA file " + m_config.caFile) +
            "; TOGGRA_MQTT_CA_FILE";
  return "TLS with " + Where() + " failed: " + what + " (" + check + "); not trying again";
}

void CMqttClient::OnDisconnect(mosquitto* mosq, void* self, int rc) {
  auto* c = static_cast<CMqttClient*>(self);
  c->m_connected = false;
  if (c->m_stopping || rc == 0) return;
  // A TLS connection the broker closes before it ever answered a login: under
  // TLS 1.3 a broker that wants a client certificate ends the handshake after
  // the client thinks it done, and the alert may come after the close was
  // seen. Named as the TLS failure it is, and not tried again, as after any.
  const int error = errno;  // of the read or write that ended it
  const bool closedByBroker = rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_PROTOCOL ||
                              (rc == MOSQ_ERR_ERRNO && (error == ECONNRESET || error == EPIPE || error == EPROTO));
  if (c->m_config.tls && closedByBroker && c->m_connects == 0 && !c->m_tlsFailed.exchange(true)) {
    mosquitto_disconnect(mosq);
    const std::string line = c->TlsFailure("the broker ended the handshake");
    std::lock_guard lock(c->m_textMutex);
    c->m_lastRefusal = line;
    c->m_handler.OnProblem(line);
    return;
  }
  if (!c->m_lossReported.exchange(true))
    c->m_handler.OnProblem(c->Where() + ": connection lost; reconnecting");
}

void CMqttClient::OnMessage(mosquitto* mosq, void* self, const mosquitto_message* message) {
  auto* c = static_cast<CMqttClient*>(self);
  // Acknowledge what came in at once. A stock broker sends with Nagle on: a
  // message of ours echoed back (a state we subscribe to) left waiting for a
  // delayed ACK holds the broker's next segment, a command, for up to 40 ms.
  const int fd = mosquitto_socket(mosq);
  if (fd >= 0) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
  }
  MqttMessage m;
  m.topic = message->topic ? message->topic : "";
  if (message->payload && message->payloadlen > 0)
    m.payload.assign(static_cast<const char*>(message->payload),
                     static_cast<size_t>(message->payloadlen));
  m.retained = message->retain;
  c->m_handler.OnMessage(m);
}

}  // namespace toggra

// A real mosquitto broker on a free loopback port, and a watcher connected to
// it that records every message and publishes for the test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <mutex>

#include "bridge/MqttClient.h"
#include "e2e/E2ESupport.h"

namespace toggra::mqtt_test {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using e2e::WaitUntil;

inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

inline bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

class CBroker {
 public:
  // `extra` lines go into the configuration (a password file, say).
  CBroker(const std::string& dir, const std::string& extra = "allow_anonymous true\n")
      : m_dir(dir), m_port(FreeLoopbackPort()) {
    std::ofstream(dir + "/mosquitto.conf")
        << "listener " << m_port << " 127.0.0.1\n" << extra << "persistence false\n"
        // Started as root, the broker would become the user mosquitto, who
        // cannot read the test's private folder.
        << (::geteuid() == 0 ? "user root\n" : "");
    Start();
  }
  void Start() {
    m_process = std::make_unique<ChildProcess>(
        std::vector<std::string>{TOGGRA_MOSQUITTO, "-c", m_dir + "/mosquitto.conf"},
        std::map<std::string, std::string>{}, m_dir + "/broker.out", m_dir + "/broker.err");
    EXPECT_TRUE(WaitUntil([this] { return Accepts(m_port); }, 5s, 5ms))
        << "broker did not start: " << e2e::TempDir::Read(m_dir + "/broker.err")
        << e2e::TempDir::Read(m_dir + "/broker.out");
  }
  void Stop() {
    m_process->Signal(SIGTERM);
    m_process->WaitExit(5s);
  }
  int Port() const { return m_port; }
  std::string Url(const std::string& user = {}) const {
    return "mqtt://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(m_port);
  }

 private:
  std::string m_dir;
  int m_port;
  std::unique_ptr<ChildProcess> m_process;
};

// Subscribes to everything; records in arrival order.
class CWatcher : public IMqttHandler {
 public:
  explicit CWatcher(int port, const std::string& name = "watcher", const std::string& user = {},
                    const std::string& password = {})
      : CWatcher(PlainConfig(port, user, password), name) {}
  // With a configuration of its own (TLS, a client certificate).
  CWatcher(const MqttConfig& config, const std::string& name) {
    m_client = std::make_unique<CMqttClient>(config, "test-" + name + "-" + std::to_string(::getpid()), *this);
    std::string reason;
    EXPECT_TRUE(m_client->Start(&reason)) << reason;
    EXPECT_TRUE(WaitUntil([this] { return m_subscribed.load(); }, 5s, 5ms));
  }
  ~CWatcher() override { m_client->Stop(); }
  static MqttConfig PlainConfig(int port, const std::string& user, const std::string& password) {
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = port;
    config.user = user;
    config.password = password;
    return config;
  }

  void OnConnected() override {
    m_client->Subscribe("#");
    m_subscribed = true;
  }
  void OnMessage(const MqttMessage& m) override {
    std::lock_guard lock(m_mutex);
    m_messages.push_back(m);
    m_last[m.topic] = m.payload;
  }
  void OnProblem(const std::string&) override {}

  void Publish(const std::string& topic, const std::string& payload, bool retain = false) {
    EXPECT_TRUE(WaitUntil([&] { return m_client->Publish(topic, payload, retain); }, 5s, 5ms));
  }
  std::optional<std::string> Last(const std::string& topic) {
    std::lock_guard lock(m_mutex);
    auto it = m_last.find(topic);
    if (it == m_last.end()) return std::nullopt;
    return it->second;
  }
  bool WaitFor(const std::string& topic, const std::string& payload,
               std::chrono::milliseconds timeout = 5s) {
    return WaitUntil([&] { return Last(topic) == payload; }, timeout, 2ms);
  }
  // Messages to `topic` so far.
  std::vector<std::string> To(const std::string& topic) {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const MqttMessage& m : m_messages)
      if (m.topic == topic) out.push_back(m.payload);
    return out;
  }
  // Topics seen so far, and those that came as retained messages.
  std::vector<std::string> Topics() {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& [topic, payload] : m_last) out.push_back(topic);
    return out;
  }
  std::map<std::string, std::string> RetainedSeen() {
    std::lock_guard lock(m_mutex);
    std::map<std::string, std::string> out;
    for (const MqttMessage& m : m_messages)
      if (m.retained) out[m.topic] = m.payload;
    return out;
  }
  void Forget() {
    std::lock_guard lock(m_mutex);
    m_messages.clear();
    m_last.clear();
  }

 private:
  std::unique_ptr<CMqttClient> m_client;
  std::atomic<bool> m_subscribed{false};
  std::mutex m_mutex;
  std::vector<MqttMessage> m_messages;
  std::map<std::string, std::string> m_last;
};

}  // namespace toggra::mqtt_test

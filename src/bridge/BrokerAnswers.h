// What a broker has answered so far, for a short-lived client that waits for
// it: whether the connection is up, the first answer (connected or a
// problem), the last problem, how many messages on one watched topic have
// arrived, and what the broker keeps retained on one kept topic. The client's thread calls the handler; the caller waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "bridge/MqttClient.h"

namespace toggra {

class CBrokerAnswers : public IMqttHandler {
 public:
  struct Seen {
    bool answered = false;  // the first answer has come
    bool firstOk = false;   // it was the connection, not a problem
    std::string firstText;  // "connected" or the problem
    bool connected = false;
    std::string problem;   // the last problem
    bool watched = false;  // a message on the watched topic
    int watchedCount = 0;  // how many
    std::string kept;      // the retained payload of the kept topic
  };

  explicit CBrokerAnswers(std::string watched = {}) : m_watchedTopic(std::move(watched)) {}

  void OnConnected() override {
    Note([&] {
      First(true, "connected");
      m_seen.connected = true;
    });
  }
  void OnMessage(const MqttMessage& message) override {
    Note([&] {
      if (!m_watchedTopic.empty() && message.topic == m_watchedTopic) {
        m_seen.watched = true;
        ++m_seen.watchedCount;
      }
      if (message.retained && !m_keptTopic.empty() && message.topic == m_keptTopic)
        m_seen.kept = message.payload;
    });
  }
  void OnProblem(const std::string& text) override {
    Note([&] {
      First(false, text);
      m_seen.problem = text;
    });
  }

  // Keeps the retained payload of `topic` (subscribe to it after this).
  void Keep(const std::string& topic) {
    Note([&] { m_keptTopic = topic; });
  }

  // Waits until `done(seen)` holds or `timeout` has passed; what was seen by
  // then.
  template <class Done>
  Seen WaitFor(std::chrono::milliseconds timeout, Done done) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return done(m_seen); });
    return m_seen;
  }

 private:
  template <class Change>
  void Note(Change change) {
    const std::lock_guard lock(m_mutex);
    change();
    m_changed.notify_all();
  }
  void First(bool ok, const std::string& text) {
    if (m_seen.answered) return;
    m_seen.answered = true;
    m_seen.firstOk = ok;
    m_seen.firstText = text;
  }

  const std::string m_watchedTopic;
  std::string m_keptTopic;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  Seen m_seen;
};

}  // namespace toggra

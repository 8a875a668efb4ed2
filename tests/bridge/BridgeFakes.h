// A recording broker connection and an event queue run by hand.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/ColumnObserver.h"
#include "bridge/MqttClient.h"

namespace toggra::test {

struct Published {
  std::string topic, payload;
  bool retain;
};

class FakeTransport : public IMqttTransport {
 public:
  std::vector<Published> published;
  std::vector<std::string> subscribed;
  bool Publish(const std::string& t, const std::string& p, bool retain) override {
    published.push_back({t, p, retain});
    return true;
  }
  bool Subscribe(const std::string& pattern) override {
    subscribed.push_back(pattern);
    return true;
  }
  bool Unsubscribe(const std::string& pattern) override {
    unsubscribed.push_back(pattern);
    return true;
  }
  std::vector<std::string> unsubscribed;
  // The payloads published to `topic`, in order.
  std::vector<std::string> To(const std::string& topic) const {
    std::vector<std::string> out;
    for (const Published& p : published)
      if (p.topic == topic) out.push_back(p.payload);
    return out;
  }
  std::string Last(const std::string& topic) const {
    const auto all = To(topic);
    return all.empty() ? "<none>" : all.back();
  }
};

class ManualQueue : public IEventQueue {
 public:
  void Post(std::function<void()> work) override { m_work.push_back(std::move(work)); }
  // Runs what was posted, and what that posts, until nothing is left.
  void Run() {
    while (!m_work.empty()) {
      auto work = std::move(m_work.front());
      m_work.erase(m_work.begin());
      work();
    }
  }

 private:
  std::vector<std::function<void()>> m_work;
};

}  // namespace toggra::test

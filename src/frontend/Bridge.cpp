#include "frontend/Bridge.h"

#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "app/ToggraDlg.h"
#include "device/BackendModule.h"

namespace toggra::frontend {

// Passes the network thread's calls on to the bridge and notes how the first
// attempt to connect ended, for a start that waits for it.
class CBridgeRunner::Handler : public IMqttHandler {
 public:
  enum class First { kPending, kConnected, kAnswered, kUnreachable };
  explicit Handler(IMqttHandler& bridge) : m_bridge(bridge) {}

  void OnConnected() override {
    Note(First::kConnected, {});
    m_bridge.OnConnected();
  }
  void OnMessage(const MqttMessage& message) override { m_bridge.OnMessage(message); }
  void OnProblem(const std::string& text) override {
    // A broker that refuses (a login, say) has answered: the bridge goes on
    // trying and says so. Anything else before a first connection means the
    // broker was not reached.
    Note(text.find(" refused ") != std::string::npos ? First::kAnswered : First::kUnreachable, text);
    m_bridge.OnProblem(text);
  }

  First WaitFirst(std::chrono::milliseconds wait, std::string* text) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, wait, [this] { return m_first != First::kPending; });
    *text = m_text;
    return m_first;
  }

 private:
  void Note(First what, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_first != First::kPending) return;
    m_first = what;
    m_text = text;
    m_changed.notify_all();
  }

  IMqttHandler& m_bridge;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  First m_first = First::kPending;
  std::string m_text;
};

CBridgeRunner::CBridgeRunner() {
  m_tick.setInterval(kTickMs);
  connect(&m_tick, &QTimer::timeout, this, [this] { m_bridge->Tick(); });
}

CBridgeRunner::~CBridgeRunner() { Stop(); }

StartProblem CBridgeRunner::Start(IRegistry& registry, IEventQueue& events,
                                  const StartOptions& options, const Say& say,
                                  std::unique_ptr<CBridgeRunner>* runner) {
  runner->reset();
  std::unique_ptr<CBridgeRunner> r(new CBridgeRunner());
  std::string reason;
  switch (LoadMqttConfig(&registry, &r->m_config, &reason)) {
    case MqttConfigResult::kOff:
      return StartProblem::kNone;
    case MqttConfigResult::kError:
      say("MQTT: " + reason);
      return StartProblem::kConfiguration;
    case MqttConfigResult::kOk:
      break;
  }
  const MqttConfig& config = r->m_config;
  r->m_bridge = std::make_unique<CMqttBridge>(config.prefix, config.discoveryPrefix, events);
  r->m_handler = std::make_unique<Handler>(*r->m_bridge);
  const std::string clientId = "toggra-" + std::to_string(::getpid()) + "-" + config.prefix;
  // The client comes from the mqtt back-end module, loaded only now.
  r->m_client = CreateMqttClient(config, clientId, *r->m_handler, r->m_bridge->StatusTopic(),
                                 kPayloadOffline, &reason);
  if (!r->m_client) {
    // A build without the mqtt back-end, or its module missing.
    say("MQTT: " + reason);
    return StartProblem::kConfiguration;
  }
  r->m_bridge->SetTransport(r->m_client.get());
  if (!r->m_client->Start(&reason)) {
    // The library refused the settings: TLS files, a host name not found.
    say("MQTT: " + reason);
    return StartProblem::kConfiguration;
  }
  if (options.waitForBroker.count() > 0) {
    std::string text;
    switch (r->m_handler->WaitFirst(options.waitForBroker, &text)) {
      case Handler::First::kUnreachable: {
        // The client would go on trying; this start does not.
        const size_t again = text.rfind("; ");
        say("MQTT: " + text.substr(0, again) + "; not started");
        return StartProblem::kUnavailable;
      }
      case Handler::First::kPending:
        say("MQTT: the broker " + config.host + ":" + std::to_string(config.port) +
            " did not answer within " + std::to_string(options.waitForBroker.count()) + " ms");
        return StartProblem::kUnavailable;
      case Handler::First::kConnected:
      case Handler::First::kAnswered:
        break;
    }
  }
  *runner = std::move(r);
  return StartProblem::kNone;
}

void CBridgeRunner::Attach(CToggraDlg& dlg) {
  m_bridge->Attach(&dlg);
  dlg.AddObserver(m_bridge.get());
  m_tick.start();
}

void CBridgeRunner::Stop() {
  m_tick.stop();
  // The dialog's teardown has told the bridge; "offline" goes out last.
  if (m_client) m_client->Stop(m_bridge->StatusTopic(), kPayloadOffline);
  if (m_bridge) m_bridge->Attach(nullptr);
}

}  // namespace toggra::frontend

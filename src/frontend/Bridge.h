// The MQTT bridge of a Qt front-end: the settings, the broker connection, the
// attachment to the main dialog and the bridge's tick. The desktop program and
// `toggra --headless` run it the same way; only what a failed start means
// differs (the headless program ends, the window runs without a broker).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/StartProblem.h"
#include "bridge/MqttBridge.h"
#include "bridge/MqttClient.h"
#include "bridge/MqttConfig.h"

namespace toggra {
class CToggraDlg;
class IEventQueue;
class IRegistry;
}  // namespace toggra

namespace toggra::frontend {

class CBridgeRunner : public QObject {
 public:
  using Say = std::function<void(const std::string& line)>;
  struct StartOptions {
    // How long a start waits for the broker to answer; zero: not at all (the
    // connection is made in the background, as later reconnects are).
    std::chrono::milliseconds waitForBroker{0};
  };
  static constexpr int kTickMs = 100;

  // Reads the settings and connects. *runner stays null when no broker is
  // configured or the start failed; the problem says which failure it was:
  // kConfiguration for settings that cannot be used, kUnavailable for a
  // broker that cannot be reached within the wait. `say` gets one line each.
  static StartProblem Start(IRegistry& registry, IEventQueue& events, const StartOptions& options,
                            const Say& say, std::unique_ptr<CBridgeRunner>* runner);
  ~CBridgeRunner() override;

  // Before the dialog's start-up, which tells its observers the columns it
  // laid out; the bridge then ticks with the dialog until Stop.
  void Attach(CToggraDlg& dlg);
  // Publishes "offline" last and ends the connection.
  void Stop();

 private:
  class Handler;
  CBridgeRunner();

  MqttConfig m_config;
  std::unique_ptr<Handler> m_handler;
  std::unique_ptr<CMqttBridge> m_bridge;
  std::unique_ptr<IMqttClient> m_client;
  QTimer m_tick;
};

}  // namespace toggra::frontend

#include "headless/HeadlessMain.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "bridge/MqttBridge.h"
#include "bridge/MqttClient.h"
#include "device/BackendModule.h"
#include "bridge/MqttConfig.h"
#include "headless/HeadlessHost.h"

namespace toggra::headless {

namespace {

void Say(const std::string& line) {
  std::fprintf(stderr, "toggra: %s\n", line.c_str());
  std::fflush(stderr);
}

// The broker connection and the bridge, when a broker is configured.
struct Bridge {
  MqttConfig config;
  std::unique_ptr<CMqttBridge> bridge;
  std::unique_ptr<IMqttClient> client;
};

std::unique_ptr<Bridge> StartBridge(IRegistry& registry, IEventQueue& events) {
  auto b = std::make_unique<Bridge>();
  std::string reason;
  switch (LoadMqttConfig(&registry, &b->config, &reason)) {
    case MqttConfigResult::kOff:
      Say("no MQTT broker configured (TOGGRA_MQTT or the setting \"MQTT\"); running without");
      return nullptr;
    case MqttConfigResult::kError:
      Say("MQTT: " + reason + "; running without the broker");
      return nullptr;
    case MqttConfigResult::kOk:
      break;
  }
  b->bridge = std::make_unique<CMqttBridge>(b->config.prefix, b->config.discoveryPrefix, events);
  const std::string clientId =
      "toggra-" + std::to_string(::getpid()) + "-" + b->config.prefix;
  // The client comes from the mqtt back-end module, loaded only now.
  b->client = CreateMqttClient(b->config, clientId, *b->bridge, b->bridge->StatusTopic(),
                               kPayloadOffline, &reason);
  if (!b->client) {
    Say("MQTT: " + reason + "; running without the broker");
    return nullptr;
  }
  b->bridge->SetTransport(b->client.get());
  if (!b->client->Start(&reason)) {
    Say("MQTT: " + reason + "; running without the broker");
    return nullptr;
  }
  return b;
}

// The process arguments as they are: the start sequence takes Toggra's own
// "--" options (--headless among them) off before the classic parser.
std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace

bool WantsHeadless(int argc, char** argv) {
  return argc > 1 && TakeOwnOptions({argv + 1, argv + argc}).headless;
}

int RunHeadless(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("toggra"));
  // With Qt's own options taken off, an unknown "--" option is a usage error.
  if (argc > 1) {
    if (const auto answer = AnswerBeforeStart({argv + 1, argv + argc}, true)) {
      std::fputs(answer->standardOutput.c_str(), stdout);
      std::fputs(answer->standardError.c_str(), stderr);
      return answer->exitCode;
    }
  }

  CHeadlessHost host;
  CQtEventQueue events(&host);
  // The null tray shell, the non-interactive prompts (their answers on
  // stderr), clock, hives, files and the configured back-ends come from the
  // composition root.
  CServiceBuilder builder(CServiceBuilder::Kind::Headless);
  const DlgServices services = builder.Host(host).Events(events).Build();

  std::unique_ptr<Bridge> bridge = StartBridge(*services.registry, events);

  CToggraDlg* running = nullptr;
  const CHeadlessSignals endOnSignal([&running](int) {
    if (running) running->OnCommand(kCmdExit);
  });
  if (!endOnSignal.Installed()) Say("cannot catch SIGTERM; a signal ends the program without teardown");

  CToggraApp().InitInstance(ProgramArguments(argc, argv), services, [&](CToggraDlg& dlg) {
    running = &dlg;
    std::function<void()> afterTick;
    if (bridge) {
      // Before the start-up, which tells the observers the columns it laid out.
      bridge->bridge->Attach(&dlg);
      dlg.AddObserver(bridge->bridge.get());
      afterTick = [&bridge] { bridge->bridge->Tick(); };
    }
    const int result = host.RunModal(dlg, afterTick);
    running = nullptr;
    return result;
  });
  // The dialog's teardown has told the bridge; "offline" goes out last.
  if (bridge) bridge->client->Stop(bridge->bridge->StatusTopic(), kPayloadOffline);
  return 0;
}

}  // namespace toggra::headless

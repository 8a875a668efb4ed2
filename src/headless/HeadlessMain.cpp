#include "headless/HeadlessMain.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Clock.h"
#include "app/ToggraDlg.h"
#include "bridge/MqttBridge.h"
#include "bridge/MqttClient.h"
#include "bridge/MqttConfig.h"
#include "device/Pivlink.h"
#include "headless/HeadlessHost.h"
#include "settings/DeviceSettings.h"
#include "settings/HiveRegistry.h"
#include "trafficlight/PosixFileService.h"

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
  std::unique_ptr<CMqttClient> client;
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
  b->client = std::make_unique<CMqttClient>(b->config, clientId, *b->bridge,
                                            b->bridge->StatusTopic(), kPayloadOffline);
  b->bridge->SetTransport(b->client.get());
  if (!b->client->Start(&reason)) {
    Say("MQTT: " + reason + "; running without the broker");
    return nullptr;
  }
  return b;
}

// Until the dialog reports its column changes itself, the bridge learns of
// them by comparing every column after each tick and each posted command.
class CColumnWatch {
 public:
  explicit CColumnWatch(IColumnObserver& observer) : m_observer(observer) {}
  void Reset(const CToggraDlg& dlg) {
    m_seen.assign(static_cast<size_t>(dlg.m_switchCount), {});
    for (int i = 0; i < dlg.m_switchCount; ++i) m_seen[static_cast<size_t>(i)] = Take(dlg, i);
    m_observer.OnColumnsReset(dlg);
  }
  void Check(const CToggraDlg& dlg) {
    if (m_seen.size() != static_cast<size_t>(dlg.m_switchCount)) return Reset(dlg);
    for (int i = 0; i < dlg.m_switchCount; ++i) {
      const Seen now = Take(dlg, i);
      Seen& was = m_seen[static_cast<size_t>(i)];
      unsigned what = 0;
      if (now.state != was.state) what |= kChangeState;
      if (now.countdown != was.countdown) what |= kChangeCountdown;
      if (now.caption != was.caption) what |= kChangeCaption;
      was = now;
      if (what) m_observer.OnColumnChanged(dlg, i, what);
    }
  }

 private:
  struct Seen {
    int state = 0;
    int countdown = 0;
    std::string caption;
  };
  static Seen Take(const CToggraDlg& dlg, int i) {
    const CControl* box = dlg.FindControl(kIdGroupBox + i);
    return {dlg.m_records[i].m_state, CountdownSeconds(dlg, i), box ? box->text : std::string()};
  }
  IColumnObserver& m_observer;
  std::vector<Seen> m_seen;
};

// The process arguments without --headless.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int k = 0; k < argc; ++k)
    if (k == 0 || std::strcmp(argv[k], kHeadlessOption) != 0) args.emplace_back(argv[k]);
  return args;
}

}  // namespace

bool WantsHeadless(int argc, char** argv) {
  for (int k = 1; k < argc; ++k)
    if (std::strcmp(argv[k], kHeadlessOption) == 0) return true;
  return false;
}

int RunHeadless(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("toggra"));

  CSystemClock clock;
  CHiveRegistry registry = CHiveRegistry::FromEnvironment();
  DeviceSettingsRoot settingsRoot;
  CPosixFileService files;
  CHeadlessHost host;
  CHeadlessPrompts prompts;
  CNullTrayShell tray;
  CQtEventQueue events(&host);

  DlgServices services;
  services.host = &host;
  services.prompts = &prompts;
  services.clock = &clock;
  services.registry = &registry;
  services.settingsRoot = &settingsRoot;
  services.files = &files;
  services.trayShell = &tray;
  services.createDevice = [] { return CreatePivlink(); };

  std::unique_ptr<Bridge> bridge = StartBridge(registry, events);
  std::unique_ptr<CColumnWatch> watch;
  if (bridge) watch = std::make_unique<CColumnWatch>(*bridge->bridge);

  CToggraDlg* running = nullptr;
  const CHeadlessSignals endOnSignal([&running](int) {
    if (running) running->OnCommand(kCmdExit);
  });
  if (!endOnSignal.Installed()) Say("cannot catch SIGTERM; a signal ends the program without teardown");

  CToggraApp().InitInstance(ProgramArguments(argc, argv), services, [&](CToggraDlg& dlg) {
    running = &dlg;
    if (bridge) bridge->bridge->Attach(&dlg);
    bool reset = false;
    const int result = host.RunModal(dlg, [&] {
      if (!watch) return;
      if (!reset) {
        watch->Reset(dlg);
        reset = true;
      } else {
        watch->Check(dlg);
      }
      bridge->bridge->Tick();
    });
    if (bridge) {
      bridge->bridge->OnDialogEnding(dlg);
      bridge->bridge->Attach(nullptr);
    }
    running = nullptr;
    return result;
  });
  if (bridge) bridge->client->Stop(bridge->bridge->StatusTopic(), kPayloadOffline);
  return 0;
}

}  // namespace toggra::headless

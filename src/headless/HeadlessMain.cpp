#include "headless/HeadlessMain.h"

#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "app/StartProblem.h"
#include "frontend/Bridge.h"
#include "frontend/EventQueue.h"
#include "frontend/Hotplug.h"
#include "frontend/Startup.h"
#include "frontend/SignalPipe.h"
#include "headless/HeadlessHost.h"

namespace toggra::headless {

namespace {

// How long a start waits for the broker's first answer.
constexpr std::chrono::seconds kWaitForBroker{10};
// The lines of the -L log a daemon keeps.
constexpr size_t kHeadlessLogLines = 1000;

void Say(const std::string& line) {
  std::fprintf(stderr, "toggra: %s\n", line.c_str());
  std::fflush(stderr);
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
  frontend::CQtEventQueue events(&host);
  // The null tray shell, the non-interactive prompts (their answers on
  // stderr), clock, hives, files and the configured back-ends come from the
  // composition root.
  CServiceBuilder builder(CServiceBuilder::Kind::Headless);
  const DlgServices services = builder.Host(host).Events(events).Build();

  // A service manager restarts a program that failed, unless the status says
  // that the configuration must be fixed first.
  StartProblem problem = frontend::CheckDeviceEntries(services.registry, Say);
  std::unique_ptr<frontend::CBridgeRunner> bridge;
  if (problem == StartProblem::kNone) {
    frontend::CBridgeRunner::StartOptions options;
    options.waitForBroker = kWaitForBroker;
    problem = frontend::CBridgeRunner::Start(*services.registry, events, options, Say, &bridge);
    if (problem == StartProblem::kNone && !bridge)
      Say("no MQTT broker configured (TOGGRA_MQTT or the setting \"MQTT\"); running without");
  }
  if (problem != StartProblem::kNone) {
    const int status = ExitStatusOf(problem);
    Say("ending with exit status " + std::to_string(status));
    return status;
  }

  // Devices that come later; with none at start, the program waits for one.
  frontend::CHotplugRunner hotplug(events, Say);

  CToggraDlg* running = nullptr;
  // SIGHUP reads the broker's password file again and tries at once; the
  // other signals end the program.
  const frontend::CSignalPipe endOnSignal([&running, &bridge](int signal) {
    if (signal == SIGHUP && bridge) {
      Say("SIGHUP: reading the MQTT password file again");
      bridge->Reload();
      return;
    }
    if (running) running->OnCommand(kCmdExit);
  });
  if (!endOnSignal.Installed()) Say("cannot catch SIGTERM; a signal ends the program without teardown");

  CToggraApp().InitInstance(ProgramArguments(argc, argv), services, [&](CToggraDlg& dlg) {
    running = &dlg;
    // A daemon's -L log: the newest lines only, each also to the journal.
    dlg.m_logLimit = kHeadlessLogLines;
    dlg.m_logEcho = [](const std::string& line) {
      std::string shown = line;
      while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
      // The bridge's lines are on stderr already.
      if (shown.rfind("mqtt: ", 0) != 0) Say("log: " + shown);
    };
    if (bridge) {
      // Another live instance owns the prefix: this one ends rather than run
      // without its bridge.
      bridge->OnRefused([&running] {
        if (running) running->OnCommand(kCmdExit);
      });
      bridge->Attach(dlg);
    }
    hotplug.Attach(dlg, true);
    const int result = host.RunModal(dlg);
    hotplug.Detach();
    running = nullptr;
    return result;
  });
  if (bridge) bridge->Stop();
  if (bridge && bridge->Refused()) {
    const int status = ExitStatusOf(StartProblem::kConfiguration);
    Say("ending with exit status " + std::to_string(status));
    return status;
  }
  return 0;
}

}  // namespace toggra::headless

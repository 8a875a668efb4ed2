// The program: the platform services of the main dialog, then the start
// sequence, which runs the dialog modally in the main window.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Version.h"
#include "app/Application.h"
#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "frontend/Bridge.h"
#include "frontend/EventQueue.h"
#include "frontend/Hotplug.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompts.h"
#include "gui/QtTrayShell.h"
#include "gui/ShownReport.h"
#include "gui/TerminationSignals.h"
#include "headless/HeadlessMain.h"

namespace {

// The program name and the arguments, as the process got them.
std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

// The arguments after the program name.
std::vector<std::string> AfterName(const std::vector<std::string>& all) {
  return {all.begin() + (all.empty() ? 0 : 1), all.end()};
}

// Prints an early answer; its exit code is the program's.
int Answer(const toggra::EarlyExit& answer) {
  std::fputs(answer.standardOutput.c_str(), stdout);
  std::fputs(answer.standardError.c_str(), stderr);
  return answer.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace toggra;

  // Answered before any window, so that they work without a display; an
  // unknown own option too, unless it is one the toolkit reads.
  if (const auto answer = AnswerBeforeStart(AfterName(Arguments(argc, argv)), false))
    return Answer(*answer);

  // Without window and tray, before anything asks for a display.
  if (headless::WantsHeadless(argc, argv)) return headless::RunHeadless(argc, argv);

  // QApplication takes its own options (-platform, -style, ...) out of argv;
  // what remains is the program's command line.
  QApplication app(argc, argv);
  if (const auto answer = AnswerBeforeStart(AfterName(Arguments(argc, argv)), true))
    return Answer(*answer);
  QApplication::setApplicationName(QStringLiteral("toggra"));
  // Lets Wayland desktops match the window to its desktop entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.toggra.Toggra"));
  QApplication::setApplicationVersion(QStringLiteral(TOGGRA_VERSION));
  // The window hides into the tray, and a message box may be the last window
  // that closes: only the dialog's end ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  gui::ReportFirstShownWindow(app);

  // The host must exist before the dialog, which keeps it among its services.
  gui::CMainWindow window;
  gui::CQtPrompts prompts;
  prompts.SetMainWindow(&window);
  gui::CQtTrayShell tray;
  tray.SetWindow(&window);
  tray.SetMessageSink([&window](int message, uintptr_t wParam, intptr_t lParam) {
    window.SendMessage(message, wParam, lParam);
  });

  // Clock, settings hives, files and the configured device back-ends come
  // from the composition root.
  CServiceBuilder builder(CServiceBuilder::Kind::Desktop);
  frontend::CQtEventQueue events(&window);
  const DlgServices services =
      builder.Host(window).Prompts(prompts).TrayShell(tray).Events(events).Build();

  // The same bridge as --headless when a broker is configured. The window is
  // of use without it, so a failed start is told and the program goes on;
  // the connection is made in the background.
  const auto say = [](const std::string& line) {
    std::fprintf(stderr, "toggra: %s\n", line.c_str());
  };
  std::unique_ptr<frontend::CBridgeRunner> bridge;
  if (frontend::CBridgeRunner::Start(*services.registry, events, {}, say, &bridge) !=
      StartProblem::kNone)
    say("MQTT: running without the broker");

  // A signal ends the dialog as "Beenden" does, so that its teardown resets
  // the devices and removes the tray icons.
  CToggraDlg* running = nullptr;
  const gui::CTerminationSignals endOnSignal([&running](int) {
    if (running) running->OnCommand(kCmdExit);
  });

  // Devices plugged in later get their columns (and replace a simulation).
  frontend::CHotplugRunner hotplug(events, say);

  CToggraApp().InitInstance(Arguments(argc, argv), services, [&](CToggraDlg& dlg) {
    running = &dlg;
    if (bridge) bridge->Attach(dlg);
    hotplug.Attach(dlg, false);
    const int result = window.RunModal(dlg);
    hotplug.Detach();
    running = nullptr;
    return result;
  });
  if (bridge) bridge->Stop();
  return 0;
}

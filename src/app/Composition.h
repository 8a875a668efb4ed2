// The composition root: the one place that assembles a main dialog's
// services, for the desktop program, a headless run, the tests and the
// benchmarks. A front-end hands over what it provides itself (its window,
// dialogs, tray, event queue; tests their fakes) and the builder supplies the
// production services for the rest.
#pragma once

#include <functional>
#include <memory>

#include "app/ToggraDlg.h"

namespace toggra {

class CServiceBuilder {
 public:
  enum class Kind {
    Desktop,   // window, dialogs and tray must be given
    Headless,  // null window and tray, non-interactive prompts unless given
  };

  explicit CServiceBuilder(Kind kind);
  ~CServiceBuilder();
  CServiceBuilder(const CServiceBuilder&) = delete;
  CServiceBuilder& operator=(const CServiceBuilder&) = delete;

  CServiceBuilder& Host(IDialogHost& host);
  CServiceBuilder& Prompts(IPrompts& prompts);
  CServiceBuilder& TrayShell(ITrayShell& tray);
  CServiceBuilder& Clock(IClock& clock);
  CServiceBuilder& Registry(IRegistry& registry);
  CServiceBuilder& SettingsRoot(DeviceSettingsRoot& root);
  CServiceBuilder& Files(IFileService& files);
  // Where refused protocol lines wait; by default, with the default file
  // service only, the folder under XDG_STATE_HOME.
  CServiceBuilder& ProtocolFallback(IProtocolFallback& fallback);
  CServiceBuilder& Devices(std::function<std::unique_ptr<CPivlink>()> createDevice);
  CServiceBuilder& Events(IEventQueue& events);

  // The complete services; they stay valid while the builder lives. Without
  // a clock, registry, settings root or file service given, the system clock,
  // the hive files named by the environment, a fresh root and the POSIX file
  // service are used; without a device factory, the configured back-ends
  // (CreatePivlink on this registry).
  DlgServices Build();

 private:
  struct Owned;
  Kind m_kind;
  DlgServices m_services;
  std::unique_ptr<Owned> m_owned;
};

// Fills what a dialog cannot work without and cannot have been meant to miss:
// a null host and tray shell, non-interactive prompts, the configured device
// library. A missing clock, registry, settings root or file service is a
// wiring fault: reported on stderr, then the program aborts.
DlgServices CompleteServices(const DlgServices& services);

}  // namespace toggra

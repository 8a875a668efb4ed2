#include "app/Composition.h"

#include <cstdio>
#include <cstdlib>

#include "app/Headless.h"
#include "settings/HiveRegistry.h"
#include "trafficlight/PosixFileService.h"
#include "trafficlight/ProtocolFallback.h"

namespace toggra {

namespace {

[[noreturn]] void MissingService(const char* name) {
  std::fprintf(stderr, "toggra: internal error: the main dialog was built without its %s\n",
               name);
  std::abort();
}

void LogToStderr(const std::string& line) {
  std::fprintf(stderr, "toggra: %s\n", line.c_str());
  std::fflush(stderr);
}

// Shared stand-ins for services a caller left out; they hold no state that
// two dialogs could see of each other.
CNullHost& SharedNullHost() {
  static CNullHost host;
  return host;
}
CNullTrayShell& SharedNullTray() {
  static CNullTrayShell tray;
  return tray;
}
CNonInteractivePrompts& SharedPrompts() {
  static CNonInteractivePrompts prompts(LogToStderr);
  return prompts;
}

}  // namespace

struct CServiceBuilder::Owned {
  CSystemClock clock;
  std::unique_ptr<CHiveRegistry> registry;
  DeviceSettingsRoot settingsRoot;
  CPosixFileService files;
  CProtocolFallback protocolFallback = CProtocolFallback::FromEnvironment();
  CNullHost host;
  CNullTrayShell tray;
  CNonInteractivePrompts prompts{LogToStderr};
};

CServiceBuilder::CServiceBuilder(Kind kind) : m_kind(kind), m_owned(std::make_unique<Owned>()) {}
CServiceBuilder::~CServiceBuilder() = default;

CServiceBuilder& CServiceBuilder::Host(IDialogHost& host) {
  m_services.host = &host;
  return *this;
}
CServiceBuilder& CServiceBuilder::Prompts(IPrompts& prompts) {
  m_services.prompts = &prompts;
  return *this;
}
CServiceBuilder& CServiceBuilder::TrayShell(ITrayShell& tray) {
  m_services.trayShell = &tray;
  return *this;
}
CServiceBuilder& CServiceBuilder::Clock(IClock& clock) {
  m_services.clock = &clock;
  return *this;
}
CServiceBuilder& CServiceBuilder::Registry(IRegistry& registry) {
  m_services.registry = &registry;
  return *this;
}
CServiceBuilder& CServiceBuilder::SettingsRoot(DeviceSettingsRoot& root) {
  m_services.settingsRoot = &root;
  return *this;
}
CServiceBuilder& CServiceBuilder::Files(IFileService& files) {
  m_services.files = &files;
  return *this;
}
CServiceBuilder& CServiceBuilder::ProtocolFallback(IProtocolFallback& fallback) {
  m_services.protocolFallback = &fallback;
  return *this;
}
CServiceBuilder& CServiceBuilder::Devices(std::function<std::unique_ptr<CPivlink>()> createDevice) {
  m_services.createDevice = std::move(createDevice);
  return *this;
}
CServiceBuilder& CServiceBuilder::Events(IEventQueue& events) {
  m_services.events = &events;
  return *this;
}

DlgServices CServiceBuilder::Build() {
  DlgServices s = m_services;
  if (m_kind == Kind::Desktop) {
    if (!s.host) MissingService("window");
    if (!s.prompts) MissingService("dialogs");
    if (!s.trayShell) MissingService("tray shell");
  } else {
    if (!s.host) s.host = &m_owned->host;
    if (!s.prompts) s.prompts = &m_owned->prompts;
    if (!s.trayShell) s.trayShell = &m_owned->tray;
  }
  if (!s.clock) s.clock = &m_owned->clock;
  if (!s.registry) {
    if (!m_owned->registry)
      m_owned->registry = std::make_unique<CHiveRegistry>(CHiveRegistry::FromEnvironment());
    s.registry = m_owned->registry.get();
  }
  if (!s.settingsRoot) s.settingsRoot = &m_owned->settingsRoot;
  // Kept protocol lines belong to the real files: a caller's own file
  // service (a test's fake) gets no fallback unless it names one.
  if (!s.files) {
    s.files = &m_owned->files;
    if (!s.protocolFallback) s.protocolFallback = &m_owned->protocolFallback;
  }
  if (!s.createDevice) {
    IRegistry* registry = s.registry;
    s.createDevice = [registry] { return CreatePivlink(registry); };
  }
  return s;
}

DlgServices CompleteServices(const DlgServices& services) {
  DlgServices s = services;
  if (!s.clock) MissingService("clock");
  if (!s.registry) MissingService("registry");
  if (!s.settingsRoot) MissingService("settings root");
  if (!s.files) MissingService("file service");
  if (!s.host) s.host = &SharedNullHost();
  if (!s.trayShell) s.trayShell = &SharedNullTray();
  if (!s.prompts) s.prompts = &SharedPrompts();
  if (!s.createDevice) {
    IRegistry* registry = s.registry;
    s.createDevice = [registry] { return CreatePivlink(registry); };
  }
  return s;
}

}  // namespace toggra

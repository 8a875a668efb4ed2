// The hardware back-ends that need a library of their own (libusb, hidapi,
// libgpiod, libmosquitto) are shared modules, loaded the first time an entry
// names them: a program that never meets such an entry never loads the
// library. Each module exports one table, `toggra_backend_module`; the
// loader takes it only from a module of the same build (version and
// compiler), since the table hands C++ objects across.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bridge/MqttClient.h"

namespace toggra {

class CDeviceRegistry;
struct BackendInfo;

// Raised whenever the table or anything it hands across changes shape.
inline constexpr int kBackendModuleAbi = 1;

using MqttClientFactory = std::unique_ptr<IMqttClient> (*)(const MqttConfig& config,
                                                           const std::string& clientId,
                                                           IMqttHandler& handler,
                                                           const std::string& willTopic,
                                                           const std::string& willPayload);

struct BackendModuleTable {
  int abi;              // kBackendModuleAbi
  const char* version;  // TOGGRA_VERSION of the build
  const char* compiler; // __VERSION__ of the compiler that built it
  const char* name;     // the module's name (its file is NAME.so)
  // The back-end's Register... function.
  void (*registerBackend)(CDeviceRegistry& registry);
  // The broker client (the mqtt module only; null elsewhere).
  MqttClientFactory mqttClient;
};

#define TOGGRA_BACKEND_MODULE_SYMBOL "toggra_backend_module"

// The back-ends served by this build's modules, in registration order.
const std::vector<std::string>& ModuleBackendNames();
// The module ("gpio") that serves a back-end ("gpio-light"); "" for none.
std::string BackendModuleName(const std::string& backend);

// The folder the modules are loaded from: TOGGRA_BACKEND_DIR when set, else
// `backends/` beside the executable when there is one (the build folder),
// else the installed folder, found from the executable's place.
std::string BackendModuleDir();

// The back-end `backend` as its module registered it. The module is loaded
// on the first call and kept for the life of the process; null with *reason
// ("cannot load back-end module FILE: WHY") when it is missing, cannot be
// loaded or belongs to another build.
const BackendInfo* LoadBackendModule(const std::string& backend, std::string* reason);

// The broker client from the mqtt module; null with *reason when the module
// is not built or cannot be loaded.
std::unique_ptr<IMqttClient> CreateMqttClient(const MqttConfig& config,
                                              const std::string& clientId,
                                              IMqttHandler& handler, const std::string& willTopic,
                                              const std::string& willPayload, std::string* reason);

// Registers every module back-end of this build under its name; each loads
// its module the first time an entry (or `list --all`) needs it.
void RegisterModuleBackends(CDeviceRegistry& registry);

}  // namespace toggra

// Loading the back-end modules (BackendModule.h).
#include "device/BackendModule.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "Version.h"
#include "device/DeviceRegistry.h"

// Set by CMake for this file: the modules built (comma-separated) and the
// installed module folder relative to the installed programs' folder.
#ifndef TOGGRA_BACKEND_MODULES
#define TOGGRA_BACKEND_MODULES ""
#endif
#ifndef TOGGRA_BACKEND_RELDIR
#define TOGGRA_BACKEND_RELDIR "../lib/toggra/backends"
#endif

namespace toggra {

namespace {

// The entries a module back-end contributes when nothing is configured. They
// are known without loading the module, so that a program with entries of
// its own never loads it; a test holds them equal to the modules' own.
const std::map<std::string, std::string>& ModuleDefaultEntries() {
  static const std::map<std::string, std::string> entries{{"hidrelay", "hidrelay:*"},
                                                                   {"sispm", "sispm:*"}};
  return entries;
}

struct LoadedModule {
  bool tried = false;
  std::string failure;       // why it cannot be used, once tried
  const BackendModuleTable* table = nullptr;
  CDeviceRegistry registry;  // what the module registered
};

std::mutex& ModulesMutex() {
  static std::mutex mutex;
  return mutex;
}

// Loaded modules by name. Never unloaded: objects and functions from a
// module may live until the process ends.
std::map<std::string, LoadedModule>& Modules() {
  static auto* modules = new std::map<std::string, LoadedModule>;
  return *modules;
}

std::string ExecutableDir() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return ".";
  path.resize(static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Loads and checks the module `name`; fills `module` or its failure.
void Load(const std::string& name, LoadedModule* module) {
  const std::string file = BackendModuleDir() + "/" + name + ".so";
  auto fail = [&](const std::string& why) {
    module->failure = "cannot load back-end module " + file + ": " + why;
  };
  // RTLD_NOW: a module that lacks a symbol fails here, with the linker's
  // reason. RTLD_LOCAL: its symbols serve no later module.
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = ::dlerror();
    fail(error ? error : "dlopen failed");
    return;
  }
  const auto* table =
      static_cast<const BackendModuleTable*>(::dlsym(handle, TOGGRA_BACKEND_MODULE_SYMBOL));
  if (!table) {
    fail("no symbol " TOGGRA_BACKEND_MODULE_SYMBOL " (not a Toggra back-end module)");
    ::dlclose(handle);
    return;
  }
  // The table hands C++ objects across: only a module of this very build
  // has their layout. Nothing else in a foreign table is read.
  if (table->abi != kBackendModuleAbi || std::strcmp(table->version, TOGGRA_VERSION) != 0 ||
      std::strcmp(table->compiler, __VERSION__) != 0) {
    fail("built for another Toggra (version " + std::string(table->version) + ", compiler " +
         table->compiler + "; this is " TOGGRA_VERSION ", " __VERSION__ ")");
    ::dlclose(handle);
    return;
  }
  if (name != table->name || !table->registerBackend) {
    fail("it is the module \"" + std::string(table->name) + "\"");
    ::dlclose(handle);
    return;
  }
  module->table = table;
  table->registerBackend(module->registry);
}

LoadedModule& Loaded(const std::string& name) {
  LoadedModule& module = Modules()[name];
  if (!module.tried) {
    module.tried = true;
    Load(name, &module);
  }
  return module;
}

}  // namespace

namespace {

// The back-ends of this build's modules, each with its module, in
// registration order: "hidrelay=hidrelay,gpio=gpio,gpio-light=gpio,...".
const std::vector<std::pair<std::string, std::string>>& ModuleBackends() {
  static const std::vector<std::pair<std::string, std::string>> backends = [] {
    std::vector<std::pair<std::string, std::string>> result;
    const std::string list = TOGGRA_BACKEND_MODULES;
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(',', start);
      if (end == std::string::npos) end = list.size();
      const std::string pair = list.substr(start, end - start);
      const size_t eq = pair.find('=');
      if (eq != std::string::npos) result.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
      start = end + 1;
    }
    return result;
  }();
  return backends;
}

}  // namespace

const std::vector<std::string>& ModuleBackendNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> result;
    for (const auto& backend : ModuleBackends()) result.push_back(backend.first);
    return result;
  }();
  return names;
}

std::string BackendModuleName(const std::string& backend) {
  for (const auto& [name, module] : ModuleBackends())
    if (name == backend) return module;
  return {};
}

std::string BackendModuleDir() {
  if (const char* dir = std::getenv("TOGGRA_BACKEND_DIR"); dir && *dir) return dir;
  const std::string exe = ExecutableDir();
  if (IsDirectory(exe + "/backends")) return exe + "/backends";
  return exe + "/" TOGGRA_BACKEND_RELDIR;
}

const BackendInfo* LoadBackendModule(const std::string& backend, std::string* reason) {
  const std::string name = BackendModuleName(backend);
  if (name.empty()) {
    *reason = "no module of this build serves the back-end \"" + backend + "\"";
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(ModulesMutex());
  LoadedModule& module = Loaded(name);
  if (!module.failure.empty()) {
    *reason = module.failure;
    return nullptr;
  }
  if (const BackendInfo* info = module.registry.Find(backend)) return info;
  *reason = "the module " + name + ".so registered no back-end \"" + backend + "\"";
  return nullptr;
}

std::unique_ptr<IMqttClient> CreateMqttClient(const MqttConfig& config,
                                              const std::string& clientId,
                                              IMqttHandler& handler, const std::string& willTopic,
                                              const std::string& willPayload, std::string* reason) {
  if (BackendModuleName("mqtt").empty()) {
    *reason = "this build has no MQTT support (configured with TOGGRA_WITH_MQTT=OFF or without libmosquitto)";
    return nullptr;
  }
  MqttClientFactory factory = nullptr;
  {
    std::lock_guard<std::mutex> lock(ModulesMutex());
    LoadedModule& module = Loaded("mqtt");
    if (!module.failure.empty()) {
      *reason = module.failure;
      return nullptr;
    }
    factory = module.table->mqttClient;
  }
  if (!factory) {
    *reason = "the mqtt back-end module has no broker client";
    return nullptr;
  }
  return factory(config, clientId, handler, willTopic, willPayload);
}

void RegisterModuleBackends(CDeviceRegistry& registry) {
  for (const std::string& name : ModuleBackendNames()) {
    BackendInfo info;
    info.name = name;
    info.resolve = [name](std::string* reason) { return LoadBackendModule(name, reason); };
    info.available = [name]() -> std::vector<std::pair<std::string, std::string>> {
      std::string reason;
      const BackendInfo* backend = LoadBackendModule(name, &reason);
      if (!backend) {
        ReportDeviceError(reason);
        return {};
      }
      return backend->available ? backend->available() : decltype(backend->available()){};
    };
    const auto& defaults = ModuleDefaultEntries();
    if (auto it = defaults.find(name); it != defaults.end()) info.defaultEntry = it->second;
    registry.Register(std::move(info));
  }
}

}  // namespace toggra

// The table of back-ends of this program: the bench and the plug-in loader
// are built in; the hardware back-ends are modules of this build
// (BackendModule.h), each loaded when first needed. The order here is the
// order in which `toggra-ctl list --all` offers their hardware.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "device/BackendModule.h"
#include "device/BenchPivlink.h"
#include "device/DeviceRegistry.h"
#include "device/plugin/PluginPivlink.h"

namespace toggra {

namespace {

// `bench:FILE`: the simulated hardware set in FILE. TOGGRA_BENCH_LOG, when
// set, receives the commands of every bench entry (device numbers within
// their own file).
void RegisterBench(CDeviceRegistry& registry) {
  BackendInfo info;
  info.name = "bench";
  info.open = [](const std::string& path, std::string* reason) -> std::unique_ptr<CBackendPivlink> {
    if (path.empty()) {
      *reason = "no bench file named (bench:FILE)";
      return nullptr;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      *reason = path + ": " + std::generic_category().message(errno);
      return nullptr;
    }
    const char* log = std::getenv("TOGGRA_BENCH_LOG");
    return std::make_unique<CBenchPivlink>(path, log ? log : "");
  };
  registry.Register(std::move(info));
}

CDeviceRegistry MakeBuiltinRegistry() {
  CDeviceRegistry registry;
  RegisterBench(registry);
  RegisterPlugin(registry);
  RegisterModuleBackends(registry);
  return registry;
}

}  // namespace

const CDeviceRegistry& BuiltinRegistry() {
  static const CDeviceRegistry registry = MakeBuiltinRegistry();
  return registry;
}

}  // namespace toggra

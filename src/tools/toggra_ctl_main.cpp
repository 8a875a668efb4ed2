// toggra-ctl: switches and reads the configured devices from scripts.
#include <chrono>
#include <iostream>
#include <thread>

#include "ctl/Ctl.h"
#include "device/DeviceRegistry.h"
#include "settings/HiveRegistry.h"

int main(int argc, char** argv) {
  toggra::CHiveRegistry registry = toggra::CHiveRegistry::FromEnvironment();
  toggra::CtlServices services;
  services.out = &std::cout;
  services.err = &std::cerr;
  services.registry = &registry;
  services.backends = &toggra::BuiltinRegistry();
  services.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  const int rc = toggra::RunCtl(std::vector<std::string>(argv + 1, argv + argc), services);
  std::cout.flush();
  return rc;
}

// The entry of one back-end module: compiled once per module, with
// TOGGRA_BACKEND_NAME ("usbhub") and TOGGRA_BACKEND_REGISTER (RegisterUsbHub)
// set by CMake. The table is the only symbol the module exports.
#include "Version.h"
#include "device/BackendModule.h"

#ifdef TOGGRA_BACKEND_MQTT_CLIENT
#include "bridge/MqttClient.h"
#endif

namespace toggra {

void TOGGRA_BACKEND_REGISTER(CDeviceRegistry& registry);

namespace {

#ifdef TOGGRA_BACKEND_MQTT_CLIENT
std::unique_ptr<IMqttClient> MakeMqttClient(const MqttConfig& config, const std::string& clientId,
                                            IMqttHandler& handler, const std::string& willTopic,
                                            const std::string& willPayload) {
  return std::make_unique<CMqttClient>(config, clientId, handler, willTopic, willPayload);
}
constexpr MqttClientFactory kMqttClient = &MakeMqttClient;
#else
constexpr MqttClientFactory kMqttClient = nullptr;
#endif

}  // namespace

}  // namespace toggra

extern "C" __attribute__((visibility("default")))
const toggra::BackendModuleTable toggra_backend_module = {
    toggra::kBackendModuleAbi, TOGGRA_VERSION, __VERSION__, TOGGRA_BACKEND_NAME,
    &toggra::TOGGRA_BACKEND_REGISTER, toggra::kMqttClient};

#include "config/DeviceSetup.h"

#include <map>

#include "bridge/BrokerAnswers.h"
#include "bridge/MqttConfig.h"
#include "ctl/CtlChannels.h"
#include "device/BackendModule.h"
#include "device/DeviceRegistry.h"
#include "settings/DeviceSettings.h"

namespace toggra::config {

namespace {

struct MqttKey {
  const char* key;
  std::string SetupMqtt::*field;
};
constexpr MqttKey kMqttFields[] = {
    {"url", &SetupMqtt::url},
    {"password-file", &SetupMqtt::passwordFile},
    {"ca-file", &SetupMqtt::caFile},
    {"cert-file", &SetupMqtt::certFile},
    {"key-file", &SetupMqtt::keyFile},
    {"prefix", &SetupMqtt::prefix},
    {"discovery-prefix", &SetupMqtt::discoveryPrefix},
};

}  // namespace

std::string* MqttField(SetupMqtt& mqtt, const std::string& key) {
  for (const MqttKey& f : kMqttFields)
    if (key == f.key) return &(mqtt.*f.field);
  return nullptr;
}

DeviceSetup ScanDeviceSetup(const CDeviceRegistry& backends, IRegistry* registry,
                            const GetEnv& getenv) {
  DeviceSetup setup;
  const CConfig conf = LoadConfig(getenv);
  setup.userFile = conf.Paths().user;
  for (const MqttKey& f : kMqttFields)
    if (auto v = Resolve(*FindSetting(kSectionMqtt, f.key), conf, registry, getenv))
      setup.mqtt.*f.field = v->value;

  // Each configured entry on its own, so that its reason stays with it.
  const std::vector<std::string> entries = ConfiguredDeviceEntries(registry, getenv);
  std::map<std::string, std::string> captions;
  for (const std::string& entry : entries) {
    std::string reason;
    auto lib = backends.Open({entry}, [&](const std::string& m) { reason = m; });
    const int count = lib->OpenArvendal();
    SetupDevice device{entry, {}, true, false};
    std::vector<CtlChannel> channels = ListChannels(*lib, count, nullptr);
    if (!reason.empty()) {
      device.description = reason;
      device.problem = true;
    } else if (channels.empty()) {
      device.description = "nichts gefunden";
      device.problem = true;
    } else {
      device.description = std::to_string(channels.size()) + " Kanäle";
    }
    setup.devices.push_back(device);
    for (CtlChannel& c : channels) {
      // Channel numbers restart in each part: the id is what the whole list
      // gives it, as in the window.
      SetupChannel channel{c.id, {}, c.caption};
      if (auto caption = conf.Caption(c.id)) channel.caption = caption->value;
      setup.channels.push_back(channel);
    }
  }
  for (const auto& [entry, description] : AvailableEntries(backends, entries))
    setup.devices.push_back({entry, description, false, false});
  return setup;
}

bool SaveDeviceSetup(const DeviceSetup& setup, std::string* reason) {
  if (setup.userFile.empty()) {
    *reason = "no user configuration file (neither XDG_CONFIG_HOME nor HOME is set)";
    return false;
  }
  CConfFile file;
  if (!ReadConfFile(setup.userFile, &file, reason)) return false;
  std::string entries;
  for (const SetupDevice& d : setup.devices)
    if (d.used) entries += (entries.empty() ? "" : "; ") + d.entry;
  file.Set(kSectionDevices, "entries", entries);
  for (const MqttKey& f : kMqttFields) {
    const std::string& value = setup.mqtt.*f.field;
    if (value.empty())
      file.Remove(kSectionMqtt, f.key);
    else
      file.Set(kSectionMqtt, f.key, value);
  }
  for (const SetupChannel& c : setup.channels) {
    if (c.caption.find_first_of("\r\n") != std::string::npos) {
      *reason = "the caption of " + c.id + " holds a line break";
      return false;
    }
    if (c.caption.empty())
      file.Remove(kSectionCaption, c.id);
    else
      file.Set(kSectionCaption, c.id, c.caption);
  }
  return WriteConfFile(setup.userFile, file, reason);
}

bool TryMqttConnection(const SetupMqtt& mqtt, std::chrono::milliseconds timeout,
                       std::string* result) {
  MqttConfig config;
  if (!ParseMqttUrl(mqtt.url, &config, result)) return false;
  if (!mqtt.passwordFile.empty() && !ReadPasswordFile(mqtt.passwordFile, &config.password, result))
    return false;
  config.caFile = mqtt.caFile;
  config.certFile = mqtt.certFile;
  config.keyFile = mqtt.keyFile;
  CBrokerAnswers answers;
  // The client comes from the mqtt back-end module, loaded only now.
  std::unique_ptr<IMqttClient> client =
      CreateMqttClient(config, "toggra-probe", answers, {}, {}, result);
  if (!client || !client->Start(result)) return false;
  // The first answer decides.
  const CBrokerAnswers::Seen seen =
      answers.WaitFor(timeout, [](const CBrokerAnswers::Seen& s) { return s.answered; });
  *result = seen.answered ? seen.firstText
                          : "no answer within " + std::to_string(timeout.count() / 1000) + " s";
  const bool ok = seen.answered && seen.firstOk;
  client->Stop({}, {});
  if (ok) *result = "connected to " + config.host + ":" + std::to_string(config.port);
  return ok;
}

}  // namespace toggra::config

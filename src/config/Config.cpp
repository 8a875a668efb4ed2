#include "config/Config.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "settings/Registry.h"

namespace toggra::config {

namespace {

constexpr const char* kMachineFile = "/etc/toggra/toggra.conf";
constexpr const char* kOptionsKey = "SOFTWARE\\Arvendal GmbH\\USB\\Toggra";
// Longest hive value read; a longer one counts as not set.
constexpr uint32_t kValueBuffer = 8192;

const char* Env(const GetEnv& getenv, const char* name) {
  const char* value = getenv ? getenv(name) : std::getenv(name);
  return value && *value ? value : nullptr;
}

bool ReadHiveString(IRegistry* registry, const char* name, std::string* value) {
  std::unique_ptr<IRegKey> key;
  if (!registry ||
      registry->OpenKey(RegRoot::CurrentUser, kOptionsKey, RegAccess::Read, &key) != ERROR_SUCCESS ||
      !key)
    return false;
  std::vector<char> buffer(kValueBuffer, '\0');
  uint32_t type = REG_NONE;
  uint32_t size = kValueBuffer;
  if (key->QueryValue(name, &type, buffer.data(), &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', size));
  value->assign(buffer.data(), end ? static_cast<size_t>(end - buffer.data()) : size);
  return !value->empty();
}

void Check(const std::string& path, const CConfFile& file, std::vector<std::string>* problems) {
  for (const ConfProblem& p : file.Problems())
    problems->push_back(path + ":" + std::to_string(p.line) + ": " + p.text);
  for (const ConfEntry& e : file.Entries()) {
    if (e.section == kSectionCaption) {
      if (std::count(e.key.begin(), e.key.end(), ':') < 2)
        problems->push_back(path + ":" + std::to_string(e.line) + ": \"" + e.key +
                            "\" is no channel id BACKEND:DEVICE:CHANNEL");
    } else if (!FindSetting(e.section, e.key)) {
      problems->push_back(path + ":" + std::to_string(e.line) + ": unknown key \"" + e.key +
                          "\" in [" + e.section + "]");
    }
  }
}

ConfValue FromEntry(const std::string& path, const ConfEntry& e) {
  return {e.value, path + ":" + std::to_string(e.line)};
}

}  // namespace

ConfPaths DefaultConfPaths(const GetEnv& getenv) {
  ConfPaths paths;
  const char* machine = Env(getenv, "TOGGRA_SYSTEM_CONF");
  paths.machine = machine ? machine : kMachineFile;
  if (const char* xdg = Env(getenv, "XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    paths.user = std::string(xdg) + "/toggra/toggra.conf";
  else if (const char* home = Env(getenv, "HOME"))
    paths.user = std::string(home) + "/.config/toggra/toggra.conf";
  return paths;
}

const std::vector<Setting>& KnownSettings() {
  static const std::vector<Setting> settings = {
      {kSectionDevices, "entries", "TOGGRA_DEVICES", "Devices"},
      {kSectionMqtt, "url", "TOGGRA_MQTT", "MQTT"},
      {kSectionMqtt, "password-file", "TOGGRA_MQTT_PASSWORD_FILE", "MQTTPasswordFile"},
      {kSectionMqtt, "ca-file", "TOGGRA_MQTT_CA_FILE", "MQTTCAFile"},
      {kSectionMqtt, "cert-file", "TOGGRA_MQTT_CERT_FILE", nullptr},
      {kSectionMqtt, "key-file", "TOGGRA_MQTT_KEY_FILE", nullptr},
      {kSectionMqtt, "prefix", "TOGGRA_MQTT_PREFIX", "MQTTPrefix"},
      {kSectionMqtt, "discovery-prefix", "TOGGRA_MQTT_DISCOVERY_PREFIX", nullptr},
  };
  return settings;
}

const Setting* FindSetting(const std::string& section, const std::string& key) {
  for (const Setting& s : KnownSettings())
    if (section == s.section && key == s.key) return &s;
  return nullptr;
}

CConfig CConfig::Load(const ConfPaths& paths) {
  CConfig config;
  config.m_paths = paths;
  std::string reason;
  if (!paths.machine.empty() && !ReadConfFile(paths.machine, &config.m_machine, &reason))
    config.m_problems.push_back(reason);
  if (!paths.user.empty() && !ReadConfFile(paths.user, &config.m_user, &reason))
    config.m_problems.push_back(reason);
  Check(paths.machine, config.m_machine, &config.m_problems);
  Check(paths.user, config.m_user, &config.m_problems);
  return config;
}

std::optional<ConfValue> CConfig::FileValue(const std::string& section, const std::string& key) const {
  if (auto e = m_user.Get(section, key)) return FromEntry(m_paths.user, *e);
  if (auto e = m_machine.Get(section, key)) return FromEntry(m_paths.machine, *e);
  return std::nullopt;
}

std::optional<ConfValue> CConfig::Caption(const std::string& stableId) const {
  auto value = FileValue(kSectionCaption, stableId);
  // An empty caption is no caption: the column keeps its own name.
  if (value && value->value.empty()) return std::nullopt;
  return value;
}

std::vector<std::pair<std::string, ConfValue>> CConfig::Captions() const {
  std::map<std::string, ConfValue> merged;
  for (const ConfEntry& e : m_machine.Entries())
    if (e.section == kSectionCaption) merged[e.key] = FromEntry(m_paths.machine, e);
  for (const ConfEntry& e : m_user.Entries())
    if (e.section == kSectionCaption) merged[e.key] = FromEntry(m_paths.user, e);
  std::vector<std::pair<std::string, ConfValue>> captions;
  for (auto& [id, value] : merged)
    if (!value.value.empty()) captions.emplace_back(id, value);
  return captions;
}

CConfig LoadConfig(const GetEnv& getenv) {
  CConfig config = CConfig::Load(DefaultConfPaths(getenv));
  static std::mutex mutex;
  static std::set<std::string> reported;
  const std::lock_guard<std::mutex> lock(mutex);
  for (const std::string& problem : config.Problems()) {
    if (!reported.insert(problem).second) continue;
    std::fprintf(stderr, "toggra: %s\n", problem.c_str());
    std::fflush(stderr);
  }
  return config;
}

std::optional<ConfValue> Resolve(const Setting& setting, const CConfig& config, IRegistry* registry,
                                 const GetEnv& getenv) {
  if (const char* env = Env(getenv, setting.variable))
    return ConfValue{env, std::string("environment ") + setting.variable};
  if (auto value = config.FileValue(setting.section, setting.key)) return value;
  std::string stored;
  if (setting.hiveValue && ReadHiveString(registry, setting.hiveValue, &stored))
    return ConfValue{stored, std::string("hive value \"") + setting.hiveValue + "\""};
  return std::nullopt;
}

std::string FileCaption(const std::string& stableId, const GetEnv& getenv) {
  if (stableId.empty()) return {};
  const auto caption = LoadConfig(getenv).Caption(stableId);
  return caption ? caption->value : std::string();
}

bool WriteCaption(const std::string& path, const std::string& stableId, const std::string& text,
                  std::string* reason) {
  if (std::count(stableId.begin(), stableId.end(), ':') < 2 ||
      stableId.find_first_of("=[#;\n\r") != std::string::npos || text.find_first_of("\n\r") != std::string::npos) {
    *reason = "\"" + stableId + "\" is no channel id BACKEND:DEVICE:CHANNEL, or the text holds a line break";
    return false;
  }
  CConfFile file;
  if (!ReadConfFile(path, &file, reason)) return false;
  if (text.empty())
    file.Remove(kSectionCaption, stableId);
  else
    file.Set(kSectionCaption, stableId, text);
  return WriteConfFile(path, file, reason);
}

}  // namespace toggra::config

#include "bridge/MqttConfig.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include "config/Config.h"
#include "settings/Registry.h"

namespace toggra {

namespace {

constexpr int kMaxPort = 65535;
// Group and others may have no access at all to a password file.
constexpr mode_t kForeignAccess = S_IRWXG | S_IRWXO;

std::string Read(const char* key, const config::CConfig& conf, IRegistry* registry,
                 const GetEnv& getenv) {
  const config::Setting* setting = config::FindSetting(config::kSectionMqtt, key);
  const auto value = setting ? config::Resolve(*setting, conf, registry, getenv) : std::nullopt;
  return value ? value->value : std::string();
}

std::string Sanitised(std::string text) {
  for (char& c : text)
    if (c == '+' || c == '#' || c == '/' || c == ' ' || static_cast<unsigned char>(c) < ' ') c = '_';
  return text;
}

}  // namespace

bool ParseMqttUrl(const std::string& url, MqttConfig* config, std::string* reason) {
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    config->tls = false;
    config->port = kMqttPort;
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    config->tls = true;
    config->port = kMqttsPort;
    rest = url.substr(8);
  } else if (url.find("://") == std::string::npos && !url.empty()) {
    // A bare host name (with user and port, if given): plain MQTT.
    config->tls = false;
    config->port = kMqttPort;
    rest = url;
  } else {
    *reason = "\"" + url + "\" is no mqtt:// or mqtts:// URL";
    return false;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find('/') != std::string::npos) {
    *reason = "\"" + url + "\": a path is not allowed";
    return false;
  }
  const size_t at = rest.rfind('@');
  config->user.clear();
  if (at != std::string::npos) {
    config->user = rest.substr(0, at);
    rest.erase(0, at + 1);
    if (config->user.empty() || config->user.find(':') != std::string::npos) {
      // A password in the URL would end up in process listings and logs.
      *reason = "\"" + url + "\": give the user name only; the password belongs in the password file";
      return false;
    }
  }
  std::string host = rest;
  // [v6::addr]:port keeps its colons inside the brackets.
  const size_t close = rest.rfind(']');
  const size_t colon = rest.rfind(':');
  if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
    host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end || errno || value < 1 || value > kMaxPort) {
      *reason = "\"" + url + "\": bad port \"" + port + "\"";
      return false;
    }
    config->port = static_cast<int>(value);
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) {
    *reason = "\"" + url + "\": no host";
    return false;
  }
  config->host = host;
  return true;
}

bool ReadPasswordFile(const std::string& path, std::string* password, std::string* reason) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *reason = "password file " + path + ": " + std::generic_category().message(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *reason = "password file " + path + " is no regular file";
    return false;
  }
  if (st.st_mode & kForeignAccess) {
    *reason = "password file " + path + " may be read by others (make it mode 0600)";
    return false;
  }
  std::ifstream in(path);
  if (!in) {
    *reason = "password file " + path + " cannot be read";
    return false;
  }
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *password = line;
  return true;
}

std::string DefaultTopicPrefix() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || !*name) std::strcpy(name, "localhost");
  return "toggra/" + Sanitised(name);
}

bool ValidTopicPrefix(const std::string& prefix) {
  return !prefix.empty() && prefix.find_first_of("+#") == std::string::npos &&
         prefix.front() != '/' && prefix.back() != '/';
}

MqttConfigResult LoadMqttConfig(IRegistry* registry, MqttConfig* config, std::string* reason,
                                const GetEnv& getenv) {
  const config::CConfig conf = config::LoadConfig(getenv);
  const std::string url = Read("url", conf, registry, getenv);
  if (url.empty()) return MqttConfigResult::kOff;
  if (!ParseMqttUrl(url, config, reason)) return MqttConfigResult::kError;
  config->password.clear();
  const std::string passwordFile = Read("password-file", conf, registry, getenv);
  config->passwordFile = passwordFile;
  if (!passwordFile.empty() && !ReadPasswordFile(passwordFile, &config->password, reason))
    return MqttConfigResult::kError;
  config->caFile = Read("ca-file", conf, registry, getenv);
  config->certFile = Read("cert-file", conf, registry, getenv);
  config->keyFile = Read("key-file", conf, registry, getenv);
  if (config->certFile.empty() != config->keyFile.empty()) {
    *reason = "a client certificate needs both cert-file and key-file";
    return MqttConfigResult::kError;
  }
  config->prefix = Read("prefix", conf, registry, getenv);
  if (config->prefix.empty()) config->prefix = DefaultTopicPrefix();
  if (!ValidTopicPrefix(config->prefix)) {
    *reason = "topic prefix \"" + config->prefix + "\" must not be empty, hold + or #, or begin or end with /";
    return MqttConfigResult::kError;
  }
  const std::string discovery = Read("discovery-prefix", conf, registry, getenv);
  if (!discovery.empty()) config->discoveryPrefix = discovery;
  if (!ValidTopicPrefix(config->discoveryPrefix)) {
    *reason = "discovery prefix \"" + config->discoveryPrefix + "\" must not be empty, hold + or #, or begin or end with /";
    return MqttConfigResult::kError;
  }
  return MqttConfigResult::kOk;
}

bool LoadNeededMqttConfig(IRegistry* registry, MqttConfig* config, std::string* reason,
                          const GetEnv& getenv) {
  switch (LoadMqttConfig(registry, config, reason, getenv)) {
    case MqttConfigResult::kOff:
      *reason = "no MQTT broker configured (TOGGRA_MQTT or url in [mqtt])";
      return false;
    case MqttConfigResult::kError:
      return false;
    case MqttConfigResult::kOk:
      break;
  }
  return true;
}

}  // namespace toggra

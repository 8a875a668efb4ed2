// Where the broker is and how to log in: the MQTT settings shared by the
// bridge and the `mqtt:` back-end.
//
// Every setting is read from an environment variable first, then from [mqtt]
// in toggra.conf, then (where the classic program had one) from a string value
// under the application's key in the user hive (config/Config.h):
//   TOGGRA_MQTT               / url              / "MQTT"   mqtt[s]://[USER@]HOST[:PORT]
//   TOGGRA_MQTT_PASSWORD_FILE / password-file    / "MQTTPasswordFile"  mode 0600
//   TOGGRA_MQTT_CA_FILE       / ca-file          / "MQTTCAFile"  CA certificates for mqtts
//   TOGGRA_MQTT_CERT_FILE     / cert-file        / -        client certificate (PEM)
//   TOGGRA_MQTT_KEY_FILE      / key-file         / -        its key (PEM)
//   TOGGRA_MQTT_PREFIX        / prefix           / "MQTTPrefix"  topics (toggra/HOSTNAME)
//   TOGGRA_MQTT_DISCOVERY_PREFIX / discovery-prefix / -     Home Assistant's (homeassistant)
// The password never comes from the command line and is never logged.
#pragma once

#include <functional>
#include <string>

namespace toggra {

class IRegistry;

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttsPort = 8883;

struct MqttConfig {
  std::string host;
  int port = kMqttPort;
  bool tls = false;
  std::string user;      // empty: no login
  std::string password;  // read from the password file
  std::string passwordFile;  // read again before each login after a refused one
  std::string caFile;    // empty: the system's CA store
  std::string certFile;  // empty: no client certificate
  std::string keyFile;
  std::string prefix;    // without a trailing '/'
  std::string discoveryPrefix = "homeassistant";
};

// Splits `mqtt[s]://[USER@]HOST[:PORT]` (a trailing '/' allowed), or a bare
// `[USER@]HOST[:PORT]` taken as mqtt://, into *config;
// false with *reason when the text is no such URL.
bool ParseMqttUrl(const std::string& url, MqttConfig* config, std::string* reason);

// Reads a password file: it must be a regular file that only its owner can
// read or write (mode 0600 or 0400). The first line is the password.
bool ReadPasswordFile(const std::string& path, std::string* password, std::string* reason);

// "toggra/<hostname>", with characters that MQTT topics or Home Assistant ids
// do not take ('+', '#', '/', spaces) replaced by '_'.
std::string DefaultTopicPrefix();

enum class MqttConfigResult { kOff, kOk, kError };

using GetEnv = std::function<const char*(const char*)>;

// The settings as configured. kOff when no broker is named; kError with
// *reason when the URL, the password file or the prefix cannot be used.
MqttConfigResult LoadMqttConfig(IRegistry* registry, MqttConfig* config, std::string* reason,
                                const GetEnv& getenv = nullptr);

// LoadMqttConfig for a use that needs the broker: false with *reason also
// when none is configured.
bool LoadNeededMqttConfig(IRegistry* registry, MqttConfig* config, std::string* reason,
                          const GetEnv& getenv = nullptr);

// A topic prefix that MQTT accepts for publishing: not empty, no wildcards.
bool ValidTopicPrefix(const std::string& prefix);

}  // namespace toggra

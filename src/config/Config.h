// The configuration as the programs use it: the machine's toggra.conf, the
// user's over it, environment variables over both; for the values the classic
// program kept in its hive ("Devices", "MQTT..."), the user hive when neither
// file sets them.
//
//   /etc/toggra/toggra.conf                     the machine (TOGGRA_SYSTEM_CONF)
//   $XDG_CONFIG_HOME/toggra/toggra.conf         the user (default ~/.config)
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfFile.h"

namespace toggra {
class IRegistry;
}

namespace toggra::config {

using GetEnv = std::function<const char*(const char*)>;

inline constexpr const char* kSectionDevices = "devices";
inline constexpr const char* kSectionMqtt = "mqtt";
inline constexpr const char* kSectionCaption = "caption";

struct ConfPaths {
  std::string machine;
  std::string user;  // empty when neither XDG_CONFIG_HOME nor HOME is set
};
// `getenv` null: the process environment.
ConfPaths DefaultConfPaths(const GetEnv& getenv = nullptr);

// A value and where it came from: "FILE:LINE", "environment TOGGRA_MQTT",
// "hive value \"MQTT\"" or "default".
struct ConfValue {
  std::string value;
  std::string source;
};

// One setting: its place in the file, its variable, its hive value (the
// classic name, or null) and its default.
struct Setting {
  const char* section;
  const char* key;
  const char* variable;
  const char* hiveValue;
};

// Every key the file knows outside [caption], in the order `toggra-ctl config`
// shows them.
const std::vector<Setting>& KnownSettings();
const Setting* FindSetting(const std::string& section, const std::string& key);

class CConfig {
 public:
  // Reads both files; a missing file is an empty one.
  static CConfig Load(const ConfPaths& paths);

  // From the files only: the user's over the machine's.
  std::optional<ConfValue> FileValue(const std::string& section, const std::string& key) const;
  // The caption of a channel by its stable id (BACKEND:DEVICE:CHANNEL).
  std::optional<ConfValue> Caption(const std::string& stableId) const;
  // Every caption, the user's over the machine's, sorted by id.
  std::vector<std::pair<std::string, ConfValue>> Captions() const;
  // Lines that could not be read, keys no section knows, and files that could
  // not be opened, each as "FILE:LINE: TEXT".
  const std::vector<std::string>& Problems() const { return m_problems; }
  const ConfPaths& Paths() const { return m_paths; }

 private:
  ConfPaths m_paths;
  CConfFile m_machine, m_user;
  std::vector<std::string> m_problems;
};

// The process's configuration from the default paths; every problem goes to
// stderr once per process ("toggra: FILE:LINE: TEXT").
CConfig LoadConfig(const GetEnv& getenv = nullptr);

// Environment, then the files, then the hive, then nothing: the value of a
// setting with its source. The hive value is read from the user hive under the
// application's key.
std::optional<ConfValue> Resolve(const Setting& setting, const CConfig& config,
                                 IRegistry* registry, const GetEnv& getenv = nullptr);

// The caption of `stableId` from the files, or empty.
std::string FileCaption(const std::string& stableId, const GetEnv& getenv = nullptr);

// Sets (`text` not empty) or removes a caption in the file at `path`, keeping
// the rest of the file as it is.
bool WriteCaption(const std::string& path, const std::string& stableId, const std::string& text,
                  std::string* reason);

}  // namespace toggra::config

// Per-device settings: single values directly under
// "SOFTWARE\Arvendal GmbH\USB", named "%02x-%02x-%08x-%s" by key type, version,
// serial number and entry. The root starts at the local machine and falls back
// to the current user, once and for all, when that cannot be opened for
// writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "settings/Registry.h"

namespace toggra {

class IPrompts;

inline constexpr const char* kDeviceSettingsKey = "SOFTWARE\\Arvendal GmbH\\USB";

// The process-wide root. Tests start each case with a fresh one.
struct DeviceSettingsRoot {
  RegRoot root = RegRoot::LocalMachine;
};

// How many failures one store shows: a save of several values (the dialog
// "Dauer") fails as a whole, so it tells the user once, not once per value.
enum class SaveReport { EachValue, OncePerSave };

class CDeviceSettings {
 public:
  // Settles the root and opens (creates) the base key; when neither root can be
  // opened shows "Registry open error" (caption "ERROR") through prompts. Every
  // message names the file and the system's reason below its text.
  CDeviceSettings(IRegistry& registry, DeviceSettingsRoot& root, IPrompts* prompts,
                  SaveReport report = SaveReport::EachValue);

  static std::string ValueName(int keyType, int version, int serial, const std::string& name);

  bool ReadDword(const std::string& valueName, int* out, const char* subkey = nullptr);
  bool ReadString(const std::string& valueName, std::string* out, const char* subkey = nullptr);
  bool WriteDword(const std::string& valueName, int value, const char* subkey = nullptr);
  bool WriteString(const std::string& valueName, const std::string& text,
                   const char* subkey = nullptr);

  int DebugOptions() const { return m_debugOptions; }

 private:
  // Writes one value; a failure is shown on the main window and returns false.
  bool Write(const std::string& valueName, const std::function<long(IRegKey&)>& set,
             const char* subkey);
  void Show(const std::string& text, const char* caption, bool owned);

  IRegistry& m_registry;
  DeviceSettingsRoot& m_root;
  IPrompts* m_prompts = nullptr;
  SaveReport m_report = SaveReport::EachValue;
  bool m_shown = false;  // a message was shown by this store
  unsigned m_extraAccess = 0;
  int m_debugOptions = 0;
};

}  // namespace toggra

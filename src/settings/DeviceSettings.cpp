#include "settings/DeviceSettings.h"

#include <cstdio>

#include "app/Format.h"
#include "app/Ids.h"
#include "app/Prompts.h"
#include "device/Channels.h"
#include "settings/RegistryValues.h"

namespace toggra {

namespace {

std::string KeyPath(const char* subkey) {
  std::string path = kDeviceSettingsKey;
  if (subkey && *subkey) path += std::string("\\") + subkey;
  return path;
}

// "08-1f-00001a2b-SwitchTimer" -> "SwitchTimer": the user knows the entry,
// not the device prefix.
std::string EntryName(const std::string& valueName) {
  size_t pos = 0;
  for (int dashes = 0; dashes < 3; ++dashes) {
    pos = valueName.find('-', pos);
    if (pos == std::string::npos) return valueName;
    ++pos;
  }
  return valueName.substr(pos);
}

// A line below a message's text, for the file and the reason.
std::string Below(const std::string& detail) { return detail.empty() ? "" : "\n" + detail; }

}  // namespace

CDeviceSettings::CDeviceSettings(IRegistry& registry, DeviceSettingsRoot& root, IPrompts* prompts,
                                 SaveReport report)
    : m_registry(registry), m_root(root), m_prompts(prompts), m_report(report) {
  std::unique_ptr<IRegKey> key;
  long rc = m_registry.CreateKey(m_root.root, kDeviceSettingsKey, RegAccess::AllAccess, &key);
  std::string problems = rc == ERROR_SUCCESS ? "" : Below(m_registry.ProblemText(m_root.root));
  if (rc != ERROR_SUCCESS && m_root.root == RegRoot::LocalMachine) {
    // A normal user cannot write the machine's settings: from now on this
    // process keeps its device settings per user.
    m_root.root = RegRoot::CurrentUser;
    rc = m_registry.CreateKey(m_root.root, kDeviceSettingsKey, RegAccess::AllAccess, &key);
    problems += Below(m_registry.ProblemText(m_root.root));
  }
  if (rc != ERROR_SUCCESS || !key) {
    Show(kStrRegistryOpenError + problems, kStrRegistryOpenErrorCaption, false);
    return;
  }
  // Any type is accepted; a value longer than the word is left unread.
  ReadAnyWord(*key, ValueName(0, 0, 0, "AVdebugOptions"), &m_debugOptions);
}

std::string CDeviceSettings::ValueName(int keyType, int version, int serial,
                                       const std::string& name) {
  return SettingsPrefix(keyType, version, serial) + "-" + name;
}

bool CDeviceSettings::ReadDword(const std::string& valueName, int* out, const char* subkey) {
  std::unique_ptr<IRegKey> key;
  return m_registry.OpenKey(m_root.root, KeyPath(subkey), RegAccess::Read, &key) == ERROR_SUCCESS &&
         key && ReadDwordValue(*key, valueName, out);
}

bool CDeviceSettings::ReadString(const std::string& valueName, std::string* out,
                                 const char* subkey) {
  if (out) out->clear();
  std::unique_ptr<IRegKey> key;
  return m_registry.OpenKey(m_root.root, KeyPath(subkey), RegAccess::Read, &key) == ERROR_SUCCESS &&
         key && ReadStringValue(*key, valueName, out);
}

bool CDeviceSettings::WriteDword(const std::string& valueName, int value, const char* subkey) {
  return Write(
      valueName, [&](IRegKey& key) { return WriteDwordValue(key, valueName, value); }, subkey);
}

bool CDeviceSettings::WriteString(const std::string& valueName, const std::string& text,
                                  const char* subkey) {
  return Write(
      valueName, [&](IRegKey& key) { return WriteStringValue(key, valueName, text); }, subkey);
}

bool CDeviceSettings::Write(const std::string& valueName, const std::function<long(IRegKey&)>& set,
                            const char* subkey) {
  std::unique_ptr<IRegKey> key;
  const std::string path = KeyPath(subkey);
  const long rc = (subkey && *subkey)
                      ? m_registry.CreateKey(m_root.root, path, RegAccess::AllAccess, &key)
                      : m_registry.OpenKey(m_root.root, path, RegAccess::AllAccess, &key);
  if (rc == ERROR_SUCCESS && key && set(*key) == ERROR_SUCCESS) return true;
  Show(Format(kStrSettingNotSaved, EntryName(valueName).c_str()) +
           Below(m_registry.ProblemText(m_root.root)),
       kStrError, true);
  return false;
}

void CDeviceSettings::Show(const std::string& text, const char* caption, bool owned) {
  if (!m_prompts || (m_shown && m_report == SaveReport::OncePerSave)) return;
  m_shown = true;
  m_prompts->MessageBox(text, caption, owned);
}

}  // namespace toggra

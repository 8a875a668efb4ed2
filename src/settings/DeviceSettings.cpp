#include "settings/DeviceSettings.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/Format.h"
#include "app/Ids.h"
#include "app/Prompts.h"

namespace toggra {

namespace {

// The buffer the program has always read strings with; a longer value does
// not fit and counts as not set.
constexpr uint32_t kStringBuffer = 4095;
constexpr uint32_t kDwordSize = 4;

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

}  // namespace

CDeviceSettings::CDeviceSettings(IRegistry& registry, DeviceSettingsRoot& root, IPrompts* prompts)
    : m_registry(registry), m_root(root), m_prompts(prompts) {
  std::unique_ptr<IRegKey> key;
  long rc = m_registry.CreateKey(m_root.root, kDeviceSettingsKey, RegAccess::AllAccess, &key);
  if (rc != ERROR_SUCCESS && m_root.root == RegRoot::LocalMachine) {
    // A normal user cannot write the machine's settings: from now on this
    // process keeps its device settings per user.
    m_root.root = RegRoot::CurrentUser;
    rc = m_registry.CreateKey(m_root.root, kDeviceSettingsKey, RegAccess::AllAccess, &key);
  }
  if (rc != ERROR_SUCCESS || !key) {
    if (m_prompts) {
      m_prompts->MessageBox(kStrRegistryOpenError, kStrRegistryOpenErrorCaption, false);
    }
    return;
  }
  // Any type is accepted; a value longer than the word is left unread.
  unsigned char buffer[kDwordSize] = {};
  uint32_t type = REG_NONE;
  uint32_t size = kDwordSize;
  if (key->QueryValue(ValueName(0, 0, 0, "AVdebugOptions"), &type, buffer, &size) ==
      ERROR_SUCCESS) {
    std::memcpy(&m_debugOptions, buffer, kDwordSize);
  }
}

std::string CDeviceSettings::ValueName(int keyType, int version, int serial,
                                       const std::string& name) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%02x-%02x-%08x-", static_cast<unsigned>(keyType),
                static_cast<unsigned>(version), static_cast<unsigned>(serial));
  return prefix + name;
}

bool CDeviceSettings::ReadDword(const std::string& valueName, int* out, const char* subkey) {
  std::unique_ptr<IRegKey> key;
  if (m_registry.OpenKey(m_root.root, KeyPath(subkey), RegAccess::Read, &key) != ERROR_SUCCESS ||
      !key) {
    return false;
  }
  unsigned char buffer[kDwordSize] = {};
  uint32_t type = REG_NONE;
  uint32_t size = kDwordSize;
  if (key->QueryValue(valueName, &type, buffer, &size) != ERROR_SUCCESS) return false;
  if (type != REG_DWORD) return false;  // ERROR_INVALID_DATATYPE
  // The caller's variable changes only on success, so a failed read never
  // leaves half a value behind.
  if (out) std::memcpy(out, buffer, kDwordSize);
  return true;
}

bool CDeviceSettings::ReadString(const std::string& valueName, std::string* out,
                                 const char* subkey) {
  if (out) out->clear();
  std::unique_ptr<IRegKey> key;
  if (m_registry.OpenKey(m_root.root, KeyPath(subkey), RegAccess::Read, &key) != ERROR_SUCCESS ||
      !key) {
    return false;
  }
  std::vector<char> buffer(kStringBuffer, '\0');
  uint32_t type = REG_NONE;
  uint32_t size = kStringBuffer;
  if (key->QueryValue(valueName, &type, buffer.data(), &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ) return false;
  // The text ends at its terminating zero, or with the data when it has none.
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', size));
  if (out) out->assign(buffer.data(), end ? static_cast<size_t>(end - buffer.data()) : size);
  return true;
}

bool CDeviceSettings::WriteDword(const std::string& valueName, int value, const char* subkey) {
  unsigned char data[kDwordSize];
  std::memcpy(data, &value, kDwordSize);
  return Write(valueName, REG_DWORD, data, kDwordSize, subkey);
}

bool CDeviceSettings::WriteString(const std::string& valueName, const std::string& text,
                                  const char* subkey) {
  return Write(valueName, REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1), subkey);
}

bool CDeviceSettings::Write(const std::string& valueName, uint32_t type, const void* data,
                            uint32_t size, const char* subkey) {
  std::unique_ptr<IRegKey> key;
  const std::string path = KeyPath(subkey);
  const long rc = (subkey && *subkey)
                      ? m_registry.CreateKey(m_root.root, path, RegAccess::AllAccess, &key)
                      : m_registry.OpenKey(m_root.root, path, RegAccess::AllAccess, &key);
  if (rc == ERROR_SUCCESS && key && key->SetValue(valueName, type, data, size) == ERROR_SUCCESS) {
    return true;
  }
  if (m_prompts) {
    m_prompts->MessageBox(Format(kStrSettingNotSaved, EntryName(valueName).c_str()), kStrError,
                          true);
  }
  return false;
}

}  // namespace toggra

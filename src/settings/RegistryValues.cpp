#include "settings/RegistryValues.h"

#include <cstring>
#include <vector>

namespace toggra {

namespace {

bool ReadWord(IRegKey& key, const std::string& name, bool anyType, int* out) {
  unsigned char buffer[kRegDwordSize] = {};
  uint32_t type = REG_NONE;
  uint32_t size = kRegDwordSize;
  if (key.QueryValue(name, &type, buffer, &size) != ERROR_SUCCESS) return false;
  if (!anyType && type != REG_DWORD) return false;  // ERROR_INVALID_DATATYPE
  // The caller's variable changes only on success, so a failed read never
  // leaves half a value behind.
  if (out) std::memcpy(out, buffer, kRegDwordSize);
  return true;
}

}  // namespace

bool ReadDwordValue(IRegKey& key, const std::string& name, int* out) {
  return ReadWord(key, name, false, out);
}

bool ReadAnyWord(IRegKey& key, const std::string& name, int* out) {
  return ReadWord(key, name, true, out);
}

bool ReadStringValue(IRegKey& key, const std::string& name, std::string* out) {
  std::vector<char> buffer(kRegStringBuffer, '\0');
  uint32_t type = REG_NONE;
  uint32_t size = kRegStringBuffer;
  if (key.QueryValue(name, &type, buffer.data(), &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  // The text ends at its terminating zero, or with the data when it has none.
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', size));
  if (out) out->assign(buffer.data(), end ? static_cast<size_t>(end - buffer.data()) : size);
  return true;
}

long WriteDwordValue(IRegKey& key, const std::string& name, int value) {
  unsigned char data[kRegDwordSize];
  std::memcpy(data, &value, kRegDwordSize);
  return key.SetValue(name, REG_DWORD, data, kRegDwordSize);
}

long WriteStringValue(IRegKey& key, const std::string& name, const std::string& text) {
  return key.SetValue(name, REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

}  // namespace toggra

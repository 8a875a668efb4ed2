// The application options: single values under the per-user key, read at
// start-up and written the moment the user changes them.
#include <cstring>
#include <vector>

#include "app/ToggraDlg.h"

namespace toggra {

namespace {

constexpr const char* kOptionsKey = "SOFTWARE\\Arvendal GmbH\\USB\\Toggra";
constexpr const char* kProtocolValue = "Protocol";
// The path buffer the program has always used; a longer path counts as not set.
constexpr uint32_t kProtocolBuffer = 4095;
constexpr uint32_t kDwordSize = 4;

// Reading opens the key as it is; writing creates it when absent.
std::unique_ptr<IRegKey> OpenOptionsKey(IRegistry* registry, bool forWriting) {
  std::unique_ptr<IRegKey> key;
  if (!registry) return key;
  const long rc =
      forWriting ? registry->CreateKey(RegRoot::CurrentUser, kOptionsKey, RegAccess::AllAccess, &key)
                 : registry->OpenKey(RegRoot::CurrentUser, kOptionsKey, RegAccess::Read, &key);
  if (rc != ERROR_SUCCESS) key.reset();
  return key;
}

}  // namespace

bool CToggraDlg::ReadOption(const char* name, int* value) {
  auto key = OpenOptionsKey(m_services.registry, false);
  if (!key) return false;
  unsigned char buffer[kDwordSize] = {};
  uint32_t type = REG_NONE;
  uint32_t size = kDwordSize;
  if (key->QueryValue(name, &type, buffer, &size) != ERROR_SUCCESS || type != REG_DWORD) {
    return false;
  }
  if (value) std::memcpy(value, buffer, kDwordSize);
  return true;
}

bool CToggraDlg::ReadProtocolOption(std::string* value) {
  auto key = OpenOptionsKey(m_services.registry, false);
  if (!key) return false;
  std::vector<char> buffer(kProtocolBuffer, '\0');
  uint32_t type = REG_NONE;
  uint32_t size = kProtocolBuffer;
  if (key->QueryValue(kProtocolValue, &type, buffer.data(), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', size));
  if (value) value->assign(buffer.data(), end ? static_cast<size_t>(end - buffer.data()) : size);
  return true;
}

// Option writes fail silently: the running program keeps the value in memory.
void CToggraDlg::WriteOption(const char* name, int value) {
  auto key = OpenOptionsKey(m_services.registry, true);
  if (!key) return;
  unsigned char data[kDwordSize];
  std::memcpy(data, &value, kDwordSize);
  key->SetValue(name, REG_DWORD, data, kDwordSize);
}

void CToggraDlg::WriteProtocolOption(const std::string& value) {
  auto key = OpenOptionsKey(m_services.registry, true);
  if (!key) return;
  key->SetValue(kProtocolValue, REG_SZ, value.c_str(), static_cast<uint32_t>(value.size() + 1));
}

}  // namespace toggra

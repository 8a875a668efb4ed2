// The application options: single values under the per-user key, read at
// start-up and written the moment the user changes them.
#include "app/ToggraDlg.h"
#include "settings/RegistryValues.h"

namespace toggra {

namespace {

constexpr const char* kOptionsKey = "SOFTWARE\\Arvendal GmbH\\USB\\Toggra";
constexpr const char* kProtocolValue = "Protocol";

// Reading opens the key as it is; writing creates it when absent.
std::unique_ptr<IRegKey> OpenOptionsKey(IRegistry* registry, bool forWriting) {
  std::unique_ptr<IRegKey> key;
  if (!registry) return key;
  const long rc =
      forWriting
          ? registry->CreateKey(RegRoot::CurrentUser, kOptionsKey, RegAccess::AllAccess, &key)
          : registry->OpenKey(RegRoot::CurrentUser, kOptionsKey, RegAccess::Read, &key);
  if (rc != ERROR_SUCCESS) key.reset();
  return key;
}

}  // namespace

bool CToggraDlg::ReadOption(const char* name, int* value) {
  auto key = OpenOptionsKey(m_services.registry, false);
  return key && ReadDwordValue(*key, name, value);
}

bool CToggraDlg::ReadProtocolOption(std::string* value) {
  auto key = OpenOptionsKey(m_services.registry, false);
  return key && ReadStringValue(*key, kProtocolValue, value);
}

// Option writes fail silently: the running program keeps the value in memory.
void CToggraDlg::WriteOption(const char* name, int value) {
  if (auto key = OpenOptionsKey(m_services.registry, true)) WriteDwordValue(*key, name, value);
}

void CToggraDlg::WriteProtocolOption(const std::string& value) {
  if (auto key = OpenOptionsKey(m_services.registry, true))
    WriteStringValue(*key, kProtocolValue, value);
}

}  // namespace toggra

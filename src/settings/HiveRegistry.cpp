#include "settings/HiveRegistry.h"

namespace toggra {

CHiveRegistry::CHiveRegistry(std::string cu, std::string lm)
    : m_currentUser(std::move(cu)), m_localMachine(std::move(lm)) {}
CHiveRegistry CHiveRegistry::FromEnvironment() { return CHiveRegistry("", ""); }
long CHiveRegistry::OpenKey(RegRoot, const std::string&, RegAccess, std::unique_ptr<IRegKey>*) {
  return ERROR_FILE_NOT_FOUND;
}
long CHiveRegistry::CreateKey(RegRoot, const std::string&, RegAccess, std::unique_ptr<IRegKey>*) {
  return ERROR_ACCESS_DENIED;
}
const std::string& CHiveRegistry::HivePath(RegRoot root) const {
  return root == RegRoot::CurrentUser ? m_currentUser : m_localMachine;
}

}  // namespace toggra

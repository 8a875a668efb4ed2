// The registry kept in two text files (hives) in the registry export format.
#pragma once

#include <string>

#include "settings/Registry.h"

namespace toggra {

class CHiveRegistry : public IRegistry {
 public:
  CHiveRegistry(std::string currentUserHive, std::string localMachineHive);
  // Paths from TOGGRA_HKCU / TOGGRA_HKLM, else the per-user config folder and
  // /etc/toggra.
  static CHiveRegistry FromEnvironment();

  long OpenKey(RegRoot root, const std::string& path, RegAccess access,
               std::unique_ptr<IRegKey>* key) override;
  long CreateKey(RegRoot root, const std::string& path, RegAccess access,
                 std::unique_ptr<IRegKey>* key) override;

  const std::string& HivePath(RegRoot root) const;

 private:
  std::string m_currentUser;
  std::string m_localMachine;
};

}  // namespace toggra

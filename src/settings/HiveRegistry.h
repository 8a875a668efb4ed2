// The registry kept in two text files (hives) in the registry export format.
// Keys made by CreateKey are written to the hive at once, as an empty
// "[key]" section, so that a later OpenKey in any instance finds them.
#pragma once

#include <memory>
#include <string>

#include "settings/Registry.h"

namespace toggra {

class HiveStore;

inline constexpr const char* kHiveCurrentUserVariable = "TOGGRA_HKCU";
inline constexpr const char* kHiveLocalMachineVariable = "TOGGRA_HKLM";

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

  // "<hive>: <reason>" of the last failure, or the hive's path alone.
  std::string ProblemText(RegRoot root) const override;

  const std::string& HivePath(RegRoot root) const;

 private:
  const std::shared_ptr<HiveStore>& Store(RegRoot root) const;

  std::string m_currentUser;
  std::string m_localMachine;
  // Shared with the keys opened from them, which may outlive this object.
  std::shared_ptr<HiveStore> m_currentUserStore;
  std::shared_ptr<HiveStore> m_localMachineStore;
};

}  // namespace toggra

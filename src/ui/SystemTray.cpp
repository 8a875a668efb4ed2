#include "ui/SystemTray.h"

namespace toggra {

std::vector<TrayMenuItem> TrayMenuItems(int) { return {}; }
std::string CutTip(const std::string& tip, size_t) { return tip; }
CSystemTray::CSystemTray(ITrayShell& shell) : m_shell(shell) {}
CSystemTray::~CSystemTray() {}
bool CSystemTray::Install(ICommandTarget*, int, const std::string&, IconId, int, bool,
                          const std::string&, const std::string&, unsigned, unsigned) {
  return false;
}
bool CSystemTray::ChangeIcon(IconId) { return false; }
bool CSystemTray::Uninstall() { return false; }
intptr_t CSystemTray::HandleNotify(uintptr_t, intptr_t) { return 0; }
void CSystemTray::RetryInstall() {}

}  // namespace toggra

// One column's icon in the notification area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandTarget.h"
#include "ui/TrayShell.h"

namespace toggra {

// The items of tray menu `menuId` (132 + i for a switch column, 155 + i for a
// traffic light), in order; the first is the default item.
std::vector<TrayMenuItem> TrayMenuItems(int menuId);

// Cuts a tooltip to at most maxBytes bytes without splitting a UTF-8 character.
std::string CutTip(const std::string& tip, size_t maxBytes);

class CSystemTray {
 public:
  explicit CSystemTray(ITrayShell& shell);
  ~CSystemTray();  // Uninstall
  CSystemTray(const CSystemTray&) = delete;
  CSystemTray& operator=(const CSystemTray&) = delete;

  bool Install(ICommandTarget* parent, int callbackMessage, const std::string& tip, IconId icon,
               int id, bool hidden, const std::string& balloonText,
               const std::string& balloonTitle, unsigned balloonIconFlags,
               unsigned balloonTimeout);
  bool ChangeIcon(IconId icon);
  bool Uninstall();
  intptr_t HandleNotify(uintptr_t wParam, intptr_t lParam);
  void RetryInstall();

  static void HideToTray(ITrayShell& shell) { shell.HideToTray(); }
  static void ShowFromTray(ITrayShell& shell) { shell.ShowFromTray(); }

  const NotifyIconData& Data() const { return m_nid; }
  bool Hidden() const { return m_hidden; }
  bool Removed() const { return m_removed; }
  bool Pending() const { return m_pending; }

 private:
  ITrayShell& m_shell;
  NotifyIconData m_nid;
  int m_enabled = 0;
  int m_hidden = 1;
  int m_removed = 1;
  int m_pending = 0;
  int m_shellV5 = 1;
  ICommandTarget* m_target = nullptr;
  ICommandTarget* m_parent = nullptr;  // the main window: receives commands when m_target is null
  unsigned m_defaultItem = 0;
  int m_defaultByPos = 1;
  unsigned m_creationFlags = 0;
};

}  // namespace toggra

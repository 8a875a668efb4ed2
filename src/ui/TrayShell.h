// The notification area as the tray class sees it: add, change and remove an
// icon, show a popup menu, move the main window into the tray and back.
#pragma once

#include <string>
#include <vector>

#include "app/Ids.h"

namespace toggra {

inline constexpr int NIM_ADD = 0;
inline constexpr int NIM_MODIFY = 1;
inline constexpr int NIM_DELETE = 2;
inline constexpr unsigned NIF_MESSAGE = 0x1;
inline constexpr unsigned NIF_ICON = 0x2;
inline constexpr unsigned NIF_TIP = 0x4;
inline constexpr unsigned NIF_STATE = 0x8;
inline constexpr unsigned NIF_INFO = 0x10;
inline constexpr unsigned NIS_HIDDEN = 0x1;

struct NotifyIconData {
  int uID = 0;
  unsigned uFlags = 0;
  int uCallbackMessage = 0;
  IconId hIcon = 0;
  std::string szTip;  // at most 127 bytes
  unsigned dwState = 0;
  unsigned dwStateMask = 0;
  std::string szInfo;
  std::string szInfoTitle;
  unsigned uTimeout = 0;
  unsigned dwInfoFlags = 0;
};

// One item of a tray popup menu; command 0 is a separator.
struct TrayMenuItem {
  int command = 0;
  std::string text;
  bool operator==(const TrayMenuItem&) const = default;
};

class ITrayShell {
 public:
  virtual ~ITrayShell() = default;
  // Shell_NotifyIcon: true on success.
  virtual bool NotifyIcon(int message, const NotifyIconData& data) = 0;
  // Shows the popup at the cursor with the item at defaultPos in bold and
  // returns the chosen command, 0 when none was chosen.
  virtual int TrackPopupMenu(int iconId, const std::vector<TrayMenuItem>& items,
                             int defaultPos) = 0;
  virtual void SetForegroundWindow() = 0;
  // Moves the main window into the tray and back (with an animation where the
  // desktop animates windows).
  virtual void HideToTray() = 0;
  virtual void ShowFromTray() = 0;
};

}  // namespace toggra

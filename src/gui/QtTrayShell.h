// The notification area: one QSystemTrayIcon per column, its popup menu, and
// hiding the main window into the tray (or minimising it where there is none).
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "ui/TrayShell.h"

class QMenu;
class QSystemTrayIcon;

namespace toggra::gui {

// The popup of a tray icon: the items in order (a separator for command 0),
// each action carrying its command as data, the item at defaultPos in bold.
std::unique_ptr<QMenu> BuildTrayMenu(const std::vector<TrayMenuItem>& items, int defaultPos);

class CQtTrayShell : public ITrayShell {
 public:
  // Receives the icons' mouse notifications as the dialog's tray callback
  // messages: (callback message, icon id, WM_RBUTTONUP or WM_LBUTTONDBLCLK).
  using MessageSink = std::function<void(int message, uintptr_t wParam, intptr_t lParam)>;

  CQtTrayShell();
  ~CQtTrayShell() override;

  void SetWindow(QWidget* window) { m_window = window; }
  void SetMessageSink(MessageSink sink) { m_sink = std::move(sink); }

  bool NotifyIcon(int message, const NotifyIconData& data) override;
  int TrackPopupMenu(int iconId, const std::vector<TrayMenuItem>& items, int defaultPos) override;
  void SetForegroundWindow() override;
  void HideToTray() override;
  void ShowFromTray() override;

  QSystemTrayIcon* Icon(int uID) const;  // for tests

 private:
  bool Add(const NotifyIconData& data);
  bool Modify(const NotifyIconData& data);
  void Notify(int uID, intptr_t mouseMessage);

  QPointer<QWidget> m_window;
  MessageSink m_sink;
  // Target of the queued notifications: gone with the shell, and so are
  // notifications still waiting in the queue.
  std::unique_ptr<QObject> m_context;
  std::map<int, std::unique_ptr<QSystemTrayIcon>> m_icons;
  std::map<int, int> m_callbacks;  // callback message by icon id
};

}  // namespace toggra::gui

// The notification area: one QSystemTrayIcon per column, its popup menu, and
// hiding the main window into the tray (or minimising it where there is none).
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "ui/TrayShell.h"

class QSystemTrayIcon;

namespace toggra::gui {

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
  QPointer<QWidget> m_window;
  MessageSink m_sink;
  std::map<int, std::unique_ptr<QSystemTrayIcon>> m_icons;
};

}  // namespace toggra::gui

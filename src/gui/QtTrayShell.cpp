#include "gui/QtTrayShell.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "gui/LampIcons.h"

namespace toggra::gui {

namespace {

bool HiddenState(const NotifyIconData& data) {
  return (data.uFlags & NIF_STATE) && (data.dwStateMask & NIS_HIDDEN) &&
         (data.dwState & NIS_HIDDEN);
}

}  // namespace

std::unique_ptr<QMenu> BuildTrayMenu(const std::vector<TrayMenuItem>& items, int defaultPos) {
  auto menu = std::make_unique<QMenu>();
  for (size_t pos = 0; pos < items.size(); ++pos) {
    const TrayMenuItem& item = items[pos];
    if (item.command == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromStdString(item.text));
    action->setData(item.command);
    if (static_cast<int>(pos) == defaultPos) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
      menu->setDefaultAction(action);
    }
  }
  return menu;
}

CQtTrayShell::CQtTrayShell() : m_context(std::make_unique<QObject>()) {}

// The icons go before the context, so no notification outlives its target.
CQtTrayShell::~CQtTrayShell() { m_icons.clear(); }

QSystemTrayIcon* CQtTrayShell::Icon(int uID) const {
  const auto it = m_icons.find(uID);
  return it == m_icons.end() ? nullptr : it->second.get();
}

bool CQtTrayShell::NotifyIcon(int message, const NotifyIconData& data) {
  switch (message) {
    case NIM_ADD:
      return Add(data);
    case NIM_MODIFY:
      return Modify(data);
    case NIM_DELETE:
      m_callbacks.erase(data.uID);
      return m_icons.erase(data.uID) > 0;
    default:
      return false;
  }
}

// The add succeeds whether or not a tray is there right now: Qt shows the
// icon as soon as a tray appears, and the column keeps it up to date. Had
// the add been reported as failed, the column would stop updating the icon,
// and a tray that appeared later would show a stale lamp.
bool CQtTrayShell::Add(const NotifyIconData& data) {
  if (m_icons.count(data.uID)) return false;
  auto icon = std::make_unique<QSystemTrayIcon>();
  icon->setIcon(LampIcon(data.hIcon));
  icon->setToolTip(QString::fromStdString(data.szTip));
  const int id = data.uID;
  QSystemTrayIcon* raw = icon.get();
  QObject::connect(raw, &QSystemTrayIcon::activated, m_context.get(),
                   [this, id](QSystemTrayIcon::ActivationReason reason) {
                     intptr_t mouse = 0;
                     if (reason == QSystemTrayIcon::DoubleClick) {
                       mouse = WM_LBUTTONDBLCLK;
                     } else if (reason == QSystemTrayIcon::Context ||
                                (reason == QSystemTrayIcon::Trigger &&
                                 (QGuiApplication::mouseButtons() & Qt::RightButton))) {
                       mouse = WM_RBUTTONUP;
                     }
                     if (mouse == 0) return;
                     // Delivered through the event queue, as the shell's
                     // messages are: the menu's modal loop then does not run
                     // inside the tray's own event handling.
                     QMetaObject::invokeMethod(
                         m_context.get(), [this, id, mouse] { Notify(id, mouse); },
                         Qt::QueuedConnection);
                   });
  m_callbacks[id] = data.uCallbackMessage;
  icon->setVisible(!HiddenState(data));
  m_icons[id] = std::move(icon);
  return true;
}

bool CQtTrayShell::Modify(const NotifyIconData& data) {
  QSystemTrayIcon* icon = Icon(data.uID);
  if (!icon) return false;
  if (data.uFlags & NIF_ICON) icon->setIcon(LampIcon(data.hIcon));
  if (data.uFlags & NIF_TIP) icon->setToolTip(QString::fromStdString(data.szTip));
  if (data.uFlags & NIF_MESSAGE) m_callbacks[data.uID] = data.uCallbackMessage;
  if ((data.uFlags & NIF_STATE) && (data.dwStateMask & NIS_HIDDEN))
    icon->setVisible(!(data.dwState & NIS_HIDDEN));
  return true;
}

void CQtTrayShell::Notify(int uID, intptr_t mouseMessage) {
  const auto it = m_callbacks.find(uID);
  if (it == m_callbacks.end() || !m_sink) return;
  m_sink(it->second, static_cast<uintptr_t>(uID), mouseMessage);
}

int CQtTrayShell::TrackPopupMenu(int, const std::vector<TrayMenuItem>& items, int defaultPos) {
  std::unique_ptr<QMenu> menu = BuildTrayMenu(items, defaultPos);
  if (menu->isEmpty()) return 0;
  const QAction* chosen = menu->exec(QCursor::pos());
  return chosen ? chosen->data().toInt() : 0;
}

// Brings a visible window forward; one that sits in the tray stays there
// until "Applikation öffnen" shows it.
void CQtTrayShell::SetForegroundWindow() {
  if (m_window && m_window->isVisible() && !m_window->isMinimized()) {
    m_window->raise();
    m_window->activateWindow();
  }
}

// Without a tray there would be no way back to a hidden window, so it is
// minimised instead. Desktops on Linux offer no caption animation towards
// the tray; the window simply disappears.
void CQtTrayShell::HideToTray() {
  if (!m_window) return;
  if (QSystemTrayIcon::isSystemTrayAvailable())
    m_window->hide();
  else
    m_window->showMinimized();
}

void CQtTrayShell::ShowFromTray() {
  if (!m_window) return;
  m_window->showNormal();
  m_window->raise();
  m_window->activateWindow();
}

}  // namespace toggra::gui

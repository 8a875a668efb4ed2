// The notification area on the Qt side: the icons a column registers, the
// notifications they send back, the popup menu, and hiding the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <tuple>
#include <vector>

#include "app/Ids.h"
#include "gui/QtTrayShell.h"
#include "ui/SystemTray.h"

#include "support/CaseNames.h"

namespace toggra::gui {
namespace {

QRgb CentreOf(const QSystemTrayIcon* icon) { return icon->icon().pixmap(16, 16).toImage().pixel(8, 8); }

NotifyIconData Record(int uID, IconId icon, const std::string& tip) {
  NotifyIconData d;
  d.uID = uID;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.uCallbackMessage = kMsgTrayCallback + 3;
  d.hIcon = icon;
  d.szTip = tip;
  return d;
}

struct Notification {
  int message;
  uintptr_t wParam;
  intptr_t lParam;
  bool operator==(const Notification&) const = default;
};

class TrayIcons : public ::testing::Test {
 protected:
  CQtTrayShell shell;
  std::vector<Notification> received;
  TrayIcons() {
    shell.SetMessageSink([this](int m, uintptr_t w, intptr_t l) { received.push_back({m, w, l}); });
  }
};

TEST_F(TrayIcons, AddModifyDeleteAsTheFlagsSay) {
  ASSERT_TRUE(shell.NotifyIcon(NIM_ADD, Record(135, kIconRed, "Schalter Pumpe")));
  QSystemTrayIcon* icon = shell.Icon(135);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->toolTip(), "Schalter Pumpe");
  EXPECT_EQ(CentreOf(icon), qRgb(255, 0, 0));
  EXPECT_TRUE(icon->isVisible());
  EXPECT_FALSE(shell.NotifyIcon(NIM_ADD, Record(135, kIconRed, "twice")));

  NotifyIconData change = Record(135, kIconYellow, "not this tip");
  change.uFlags = NIF_ICON;
  EXPECT_TRUE(shell.NotifyIcon(NIM_MODIFY, change));
  EXPECT_EQ(CentreOf(icon), qRgb(255, 255, 0));
  EXPECT_EQ(icon->toolTip(), "Schalter Pumpe");

  EXPECT_TRUE(shell.NotifyIcon(NIM_DELETE, change));
  EXPECT_EQ(shell.Icon(135), nullptr);
  EXPECT_FALSE(shell.NotifyIcon(NIM_DELETE, change));
  EXPECT_FALSE(shell.NotifyIcon(NIM_MODIFY, change));

  NotifyIconData hidden = Record(140, kIconGreen, "Schalter x");
  hidden.uFlags = NIF_STATE;
  hidden.dwState = hidden.dwStateMask = NIS_HIDDEN;
  ASSERT_TRUE(shell.NotifyIcon(NIM_ADD, hidden));
  EXPECT_FALSE(shell.Icon(140)->isVisible());
}

TEST_F(TrayIcons, MouseActionsArriveThroughTheQueueAsCallbackMessages) {
  ASSERT_TRUE(shell.NotifyIcon(NIM_ADD, Record(158, kIconRed, "Schalter Ampel")));
  ASSERT_TRUE(shell.NotifyIcon(NIM_ADD, Record(159, kIconRed, "Schalter Ampel 2")));
  QSystemTrayIcon* icon = shell.Icon(158);
  emit icon->activated(QSystemTrayIcon::DoubleClick);
  emit icon->activated(QSystemTrayIcon::Context);
  emit icon->activated(QSystemTrayIcon::Trigger);  // a left click does nothing
  emit icon->activated(QSystemTrayIcon::MiddleClick);
  emit shell.Icon(159)->activated(QSystemTrayIcon::DoubleClick);
  shell.NotifyIcon(NIM_DELETE, Record(159, 0, ""));  // gone before delivery
  EXPECT_TRUE(received.empty());
  QCoreApplication::sendPostedEvents();
  const std::vector<Notification> expected = {{kMsgTrayCallback + 3, 158, WM_LBUTTONDBLCLK},
                                              {kMsgTrayCallback + 3, 158, WM_RBUTTONUP}};
  EXPECT_EQ(received, expected);
}

TEST(TrayShellLifetime, QueuedNotificationsDieWithTheShell) {
  int calls = 0;
  {
    CQtTrayShell shell;
    shell.SetMessageSink([&calls](int, uintptr_t, intptr_t) { ++calls; });
    ASSERT_TRUE(shell.NotifyIcon(NIM_ADD, Record(132, kIconRed, "Schalter")));
    emit shell.Icon(132)->activated(QSystemTrayIcon::Context);
  }
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(calls, 0);
}

class TrayMenus : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(TrayMenus, CarryTheColumnsCommandsInOrderWithTheDefaultInBold) {
  const auto [base, column] = GetParam();
  const std::vector<TrayMenuItem> items = TrayMenuItems(base + column);
  ASSERT_FALSE(items.empty());
  const auto menu = BuildTrayMenu(items, 0);
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(items.size()));
  for (size_t pos = 0; pos < items.size(); ++pos) {
    EXPECT_EQ(actions[pos]->isSeparator(), items[pos].command == 0) << pos;
    EXPECT_EQ(actions[pos]->text().toStdString(), items[pos].text) << pos;
    if (items[pos].command != 0) {
      EXPECT_EQ(actions[pos]->data().toInt(), items[pos].command) << pos;
    }
    EXPECT_EQ(actions[pos]->font().bold(), pos == 0) << pos;
  }
  EXPECT_EQ(menu->defaultAction(), actions[0]);
}

INSTANTIATE_TEST_SUITE_P(Columns, TrayMenus,
                         ::testing::Combine(::testing::Values(kTrayIdSwitch, kTrayIdTrafficLight),
                                            ::testing::Values(0, 15)),
                         [](const auto& info) {
                           return test::RowName(
                               info.index, std::string(std::get<0>(info.param) == kTrayIdSwitch
                                                           ? "Switch"
                                                           : "TrafficLight") +
                                               "Column" + std::to_string(std::get<1>(info.param)));
                         });

// Chooses an item as a user does (highlight, Enter), or dismisses the menu.
void WhenMenuOpen(const QString& choice) {
  QTimer::singleShot(0, [choice] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr) << "no popup open";
    for (QAction* a : menu->actions())
      if (a->text() == choice) menu->setActiveAction(a);
    QTest::keyClick(menu, choice.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
  });
}

class RecordingTarget : public ICommandTarget {
 public:
  std::vector<int> commands;
  void OnCommand(int id) override { commands.push_back(id); }
};

// The whole way: clicks on column 4's icon reach the tray class, whose menu
// and double click command column 4.
TEST(TrayRoundTrip, RightClickMenuAndDoubleClickCommandTheirColumn) {
  CQtTrayShell shell;
  RecordingTarget dialog;
  CSystemTray tray(shell);
  shell.SetMessageSink([&tray](int, uintptr_t w, intptr_t l) { tray.HandleNotify(w, l); });
  ASSERT_TRUE(tray.Install(&dialog, kMsgTrayCallback + 4, "Schalter Licht", kIconGreen,
                           kTrayIdSwitch + 4, false, "", "", 0, 10));
  QSystemTrayIcon* icon = shell.Icon(kTrayIdSwitch + 4);
  for (const char* choice : {"Schalter ein", ""}) {
    emit icon->activated(QSystemTrayIcon::Context);
    WhenMenuOpen(choice);  // queued behind the notification: runs in the menu's loop
    QCoreApplication::sendPostedEvents();
  }
  emit icon->activated(QSystemTrayIcon::DoubleClick);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(dialog.commands, std::vector<int>({kIdLowerButton + 4, kCmdOpenApp + 4}));
  tray.ChangeIcon(kIconWhite);
  EXPECT_EQ(CentreOf(icon), qRgb(255, 255, 255));
}

TEST(HidingToTray, WindowStaysReachableAndComesBack) {
  CQtTrayShell shell;
  QWidget window;
  shell.SetWindow(&window);
  window.show();
  shell.HideToTray();
  // Hidden without a tray, the window could never be opened again.
  EXPECT_EQ(window.isVisible(), !QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_EQ(window.isMinimized(), !QSystemTrayIcon::isSystemTrayAvailable());
  shell.ShowFromTray();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());
}

}  // namespace
}  // namespace toggra::gui

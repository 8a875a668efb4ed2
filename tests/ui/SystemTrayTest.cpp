#include "ui/SystemTray.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/CaseNames.h"
#include "support/FakeTrayShell.h"

namespace toggra {
namespace {

using test::FakeTrayShell;

constexpr int kMouseMove = 0x200;
constexpr int kLeftButtonUp = 0x202;

struct CommandLog : ICommandTarget {
  std::vector<int> commands;
  void OnCommand(int id) override { commands.push_back(id); }
};

// Remembers the order of the calls that matter to the user: the window must be
// in front before the menu opens, or the menu does not close on a click
// elsewhere.
struct OrderedShell : FakeTrayShell {
  std::vector<std::string> events;
  int TrackPopupMenu(int iconId, const std::vector<TrayMenuItem>& items, int pos) override {
    events.push_back("menu");
    return FakeTrayShell::TrackPopupMenu(iconId, items, pos);
  }
  void SetForegroundWindow() override {
    events.push_back("foreground");
    FakeTrayShell::SetForegroundWindow();
  }
};

class TrayIcon : public testing::Test {
 protected:
  OrderedShell shell;
  CommandLog dialog;

  std::unique_ptr<CSystemTray> Make(int column, bool trafficLight = false,
                                    const std::string& tip = "Schalter Pumpe") {
    auto tray = std::make_unique<CSystemTray>(shell);
    const int id = (trafficLight ? kTrayIdTrafficLight : kTrayIdSwitch) + column;
    tray->Install(&dialog, kMsgTrayCallback + column, tip, kIconRed, id, false, "", "", 0, 10);
    return tray;
  }
};

TEST_F(TrayIcon, InstallAddsIconWithMessageIconAndTipAndChangesOnlyTheIcon) {
  CSystemTray tray(shell);
  EXPECT_TRUE(tray.Install(&dialog, kMsgTrayCallback + 3, "Schalter Licht", kIconGreen,
                           kTrayIdSwitch + 3, false, "", "", 0, 10));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].message, NIM_ADD);
  const NotifyIconData& sent = shell.calls[0].data;
  EXPECT_EQ(sent.uID, kTrayIdSwitch + 3);
  EXPECT_EQ(sent.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  EXPECT_EQ(sent.uCallbackMessage, kMsgTrayCallback + 3);
  EXPECT_EQ(sent.hIcon, kIconGreen);
  EXPECT_EQ(sent.szTip, "Schalter Licht");
  EXPECT_TRUE(sent.szInfo.empty());
  EXPECT_FALSE(tray.Hidden());
  EXPECT_FALSE(tray.Removed());
  EXPECT_FALSE(tray.Pending());
  // A new lamp modifies only the icon.
  EXPECT_TRUE(tray.ChangeIcon(kIconYellow));
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_EQ(shell.calls[1].message, NIM_MODIFY);
  EXPECT_EQ(shell.calls[1].data.uFlags, NIF_ICON);
  EXPECT_EQ(shell.IconOf(kTrayIdSwitch + 3), kIconYellow);
}

TEST_F(TrayIcon, FailedAddLeavesIconHiddenRemovedPendingAndIsNeverRetried) {
  shell.failAdd = true;
  CSystemTray tray(shell);
  EXPECT_FALSE(tray.Install(&dialog, kMsgTrayCallback, "Schalter a", kIconRed, kTrayIdSwitch,
                            false, "", "", 0, 10));
  EXPECT_TRUE(tray.Hidden());
  EXPECT_TRUE(tray.Removed());
  EXPECT_TRUE(tray.Pending());

  // Taskbar restart or work-area change: hidden blocks the retry.
  shell.failAdd = false;
  tray.RetryInstall();
  EXPECT_EQ(shell.calls.size(), 1u);
  EXPECT_TRUE(shell.icons.empty());

  // The column keeps working: icon changes are stored without a shell call.
  EXPECT_TRUE(tray.ChangeIcon(kIconGreen));
  EXPECT_EQ(tray.Data().hIcon, kIconGreen);
  EXPECT_EQ(shell.calls.size(), 1u);
}

TEST_F(TrayIcon, HiddenInstallAsksTheShellForAHiddenIcon) {
  CSystemTray tray(shell);
  EXPECT_TRUE(tray.Install(&dialog, kMsgTrayCallback, "Schalter a", kIconRed, kTrayIdSwitch,
                           true, "", "", 0, 10));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].data.uFlags, NIF_STATE);
  EXPECT_EQ(shell.calls[0].data.dwState, NIS_HIDDEN);
  EXPECT_EQ(shell.calls[0].data.dwStateMask, NIS_HIDDEN);
}

TEST_F(TrayIcon, BalloonIsSentOnceAndNotKeptInTheRecord) {
  CSystemTray tray(shell);
  const std::string longTitle(100, 't');
  ASSERT_TRUE(tray.Install(&dialog, kMsgTrayCallback, "Schalter a", kIconRed, kTrayIdSwitch,
                           false, "Hallo", longTitle, 1, 10));
  const NotifyIconData& sent = shell.calls[0].data;
  EXPECT_EQ(sent.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO);
  EXPECT_EQ(sent.szInfo, "Hallo");
  EXPECT_EQ(sent.szInfoTitle, std::string(63, 't'));
  EXPECT_EQ(sent.uTimeout, 10000u);
  EXPECT_EQ(sent.dwInfoFlags, 1u);
  EXPECT_TRUE(tray.Data().szInfo.empty());
  // A later icon change does not repeat the balloon.
  tray.ChangeIcon(kIconGreen);
  EXPECT_TRUE(shell.calls.back().data.szInfo.empty());
}

TEST_F(TrayIcon, NothingReachesTheShellBeforeInstall) {
  CSystemTray tray(shell);
  EXPECT_FALSE(tray.ChangeIcon(kIconGreen));
  EXPECT_TRUE(tray.Uninstall());
  EXPECT_EQ(tray.HandleNotify(0, WM_LBUTTONDBLCLK), 0);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(TrayIcon, UninstallRemovesOnceAndDestructionRemovesTheIcon) {
  auto tray = Make(0);
  EXPECT_TRUE(tray->Uninstall());
  EXPECT_EQ(shell.calls.back().message, NIM_DELETE);
  EXPECT_TRUE(tray->Hidden());
  EXPECT_TRUE(tray->Removed());
  EXPECT_TRUE(tray->Uninstall());
  EXPECT_EQ(shell.calls.size(), 2u);

  auto other = Make(1);
  ASSERT_EQ(shell.icons.count(kTrayIdSwitch + 1), 1u);
  other.reset();
  EXPECT_EQ(shell.icons.count(kTrayIdSwitch + 1), 0u);

  // The shell lost the icon: the failed removal is reported, nothing changes.
  auto lost = Make(2);
  shell.icons.clear();
  EXPECT_FALSE(lost->Uninstall());
  EXPECT_FALSE(lost->Removed());
}

class TrayTip : public testing::TestWithParam<std::pair<std::string, size_t>> {};

TEST_P(TrayTip, CutTo127BytesOnACharacterBoundary) {
  const auto& [tip, expectedLength] = GetParam();
  FakeTrayShell shell;
  CommandLog dialog;
  CSystemTray tray(shell);
  tray.Install(&dialog, kMsgTrayCallback, tip, kIconRed, kTrayIdSwitch, false, "", "", 0, 10);
  EXPECT_EQ(shell.calls[0].data.szTip, tip.substr(0, expectedLength));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, TrayTip,
    testing::Values(std::pair{std::string(), size_t{0}},
                    std::pair{std::string("Schalter Gr\xC3\xBCn"), size_t{14}},
                    std::pair{std::string(127, 'a'), size_t{127}},
                    std::pair{std::string(128, 'a'), size_t{127}},
                    std::pair{std::string(300, 'a'), size_t{127}},
                    // "ü" (2 bytes) at bytes 126..127 would be split: cut before it.
                    std::pair{std::string(126, 'a') + "\xC3\xBC" + "b", size_t{126}},
                    // It ends exactly at byte 127: kept.
                    std::pair{std::string(125, 'a') + "\xC3\xBC" + "b", size_t{127}},
                    // A 3-byte and a 4-byte character across the cut.
                    std::pair{std::string(125, 'a') + "\xE2\x82\xAC" + "b", size_t{125}},
                    std::pair{std::string(124, 'a') + "\xF0\x9F\x9A\xA6" + "b", size_t{124}},
                    // Latin-1 letters are single bytes: cut at the limit.
                    std::pair{std::string(130, '\xFC'), size_t{127}},
                    // Stray continuation bytes with no lead byte near the cut.
                    std::pair{std::string(120, 'a') + std::string(10, '\x80'), size_t{127}}),
    [](const auto& info) {
      return test::RowName(info.index, "Length" + std::to_string(info.param.first.size()));
    });

TEST(TrayTipCut, ACharacterLongerThanTheLimitLeavesNothing) {
  EXPECT_EQ(CutTip("\xC3\xBC", 1), "");
}

std::vector<TrayMenuItem> SwitchMenu(int i) {
  return {{kCmdOpenApp + i, "Applikation öffnen"},
          {kCmdExit, "Beenden"},
          {0, ""},
          {kIdUpperButton + i, "Schalter aus"},
          {kIdLowerButton + i, "Schalter ein"}};
}

std::vector<TrayMenuItem> TrafficLightMenu(int i) {
  return {{kCmdOpenApp + i, "Applikation öffnen"},
          {kCmdExit, "Beenden"},
          {0, ""},
          {kIdUpperButton + i, "Rot"},
          {kIdThirdButton + i, "Gelb"},
          {kIdLowerButton + i, "Grün"},
          {kCmdDark + i, "Aus"}};
}

class TrayColumn : public TrayIcon, public testing::WithParamInterface<int> {};

TEST_P(TrayColumn, MenuCarriesTheColumnsOwnCommands) {
  const int i = GetParam();
  EXPECT_EQ(TrayMenuItems(kTrayIdSwitch + i), SwitchMenu(i));
  EXPECT_EQ(TrayMenuItems(kTrayIdTrafficLight + i), TrafficLightMenu(i));
}

TEST_P(TrayColumn, RightClickShowsTheMenuAndRunsTheChoice) {
  const int i = GetParam();
  auto tray = Make(i, true);
  shell.menuAnswer = kIdThirdButton + i;
  EXPECT_EQ(tray->HandleNotify(kTrayIdTrafficLight + i, WM_RBUTTONUP), 1);
  EXPECT_EQ(shell.events, (std::vector<std::string>{"foreground", "menu"}));
  ASSERT_EQ(shell.menus.size(), 1u);
  EXPECT_EQ(shell.menus[0], TrafficLightMenu(i));
  EXPECT_EQ(shell.menuDefaults[0], 0);  // "Applikation öffnen" in bold
  EXPECT_EQ(dialog.commands, std::vector<int>{kIdThirdButton + i});
}

TEST_P(TrayColumn, DoubleClickOpensTheApplication) {
  const int i = GetParam();
  auto tray = Make(i);
  EXPECT_EQ(tray->HandleNotify(kTrayIdSwitch + i, WM_LBUTTONDBLCLK), 1);
  EXPECT_EQ(shell.foreground, 1);
  EXPECT_TRUE(shell.menus.empty());
  EXPECT_EQ(dialog.commands, std::vector<int>{kCmdOpenApp + i});
}

INSTANTIATE_TEST_SUITE_P(Columns, TrayColumn, testing::Values(0, 1, 7, 15),
                         [](const auto& info) { return "Column" + std::to_string(info.param); });

TEST(TrayMenus, IdsOutsideTheColumnsHaveNoMenu) {
  for (int id : {kTrayIdSwitch - 1, kTrayIdSwitch + kMaxColumns, kTrayIdTrafficLight - 1,
                 kTrayIdTrafficLight + kMaxColumns, 0}) {
    EXPECT_TRUE(TrayMenuItems(id).empty()) << id;
  }
}

// A menu closed without a choice, other mouse messages, another icon's
// notification, no target window, no menu resource: no command runs.
TEST_F(TrayIcon, NotificationsThatRunNoCommand) {
  auto tray = Make(0);
  shell.menuAnswer = 0;
  EXPECT_EQ(tray->HandleNotify(kTrayIdSwitch, WM_RBUTTONUP), 1);
  for (int msg : {kMouseMove, kLeftButtonUp, 0x201, 0x204})
    EXPECT_EQ(tray->HandleNotify(kTrayIdSwitch, msg), 1) << msg;
  CSystemTray orphan(shell), noMenu(shell);
  orphan.Install(nullptr, kMsgTrayCallback, "a", kIconRed, kTrayIdSwitch + 5, false, "", "", 0, 10);
  noMenu.Install(&dialog, kMsgTrayCallback, "a", kIconRed, 999, false, "", "", 0, 10);
  for (int msg : {WM_RBUTTONUP, WM_LBUTTONDBLCLK}) {
    EXPECT_EQ(tray->HandleNotify(kTrayIdSwitch + 1, msg), 0);
    EXPECT_EQ(tray->HandleNotify(kTrayIdTrafficLight, msg), 0);
    EXPECT_EQ(orphan.HandleNotify(kTrayIdSwitch + 5, msg), 0);
    EXPECT_EQ(noMenu.HandleNotify(999, msg), 0);
  }
  EXPECT_EQ(shell.menus.size(), 1u);
  EXPECT_TRUE(dialog.commands.empty());
}

TEST_F(TrayIcon, OnlyTheLowWordOfTheNotificationCounts) {
  auto tray = Make(0);
  EXPECT_EQ(tray->HandleNotify(kTrayIdSwitch, (intptr_t{7} << 16) | WM_LBUTTONDBLCLK), 1);
  EXPECT_EQ(dialog.commands, std::vector<int>{kCmdOpenApp});
}

}  // namespace
}  // namespace toggra

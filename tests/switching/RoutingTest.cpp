#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "support/CaseNames.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

constexpr const char* kOptionsKey = "SOFTWARE\\Arvendal GmbH\\USB\\Toggra";

class Routing : public ::testing::Test {
 protected:
  TestDialog t;
  CToggraDlg& d = t.Dialog();

  // Column j on device j, so that the device number names the column.
  void Columns(int n, int state) {
    for (int j = 0; j < n; ++j) t.AddColumn(j, kFirstSwitchId, state);
  }
  std::vector<std::string> Sent() const { return t.device->CallsOf("SetSwitch"); }
  std::optional<uint32_t> StoredOption(const char* name) const {
    const MemoryRegistry::Value* v = t.registry.Find(RegRoot::CurrentUser, kOptionsKey, name);
    if (!v || v->data.size() != 4) return std::nullopt;
    uint32_t value;
    std::memcpy(&value, v->data.data(), 4);
    return value;
  }
};

// Command families on traffic-light column 3 (yellow before), with and
// without the push-button option.
struct RouteCase {
  const char* name;
  int id;
  int pushButton;
  std::vector<std::string> sends;
  int state;
};

class CommandRouting : public Routing, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(CommandRouting, ReachesTheColumnsOperationUnlessGuarded) {
  const RouteCase& c = GetParam();
  d.m_trafficLight = 1;
  d.m_pushButton = c.pushButton;
  Columns(4, kStateYellow);
  d.OnCommand(c.id);
  EXPECT_EQ(Sent(), c.sends);
  EXPECT_EQ(d.m_records[3].m_state, c.state);
}

INSTANTIATE_TEST_SUITE_P(
    Routing, CommandRouting,
    ::testing::Values(
        RouteCase{"UpperIsRed", kIdUpperButton + 3, 0,
                  {"SetSwitch 3 16 1", "SetSwitch 3 17 0", "SetSwitch 3 18 0"}, kStateOff},
        RouteCase{"LowerIsGreen", kIdLowerButton + 3, 0,
                  {"SetSwitch 3 16 0", "SetSwitch 3 17 0", "SetSwitch 3 18 1"}, kStateOn},
        RouteCase{"ThirdIsYellow", kIdThirdButton + 3, 0,
                  {"SetSwitch 3 17 1", "SetSwitch 3 16 0", "SetSwitch 3 18 0"}, kStateYellow},
        RouteCase{"TrayAusIsDark", kCmdDark + 3, 0,
                  {"SetSwitch 3 16 0", "SetSwitch 3 17 0", "SetSwitch 3 18 0"}, kStateDark},
        RouteCase{"UpperIgnoredInPushButtonMode", kIdUpperButton + 3, 1, {}, kStateYellow},
        RouteCase{"LowerIgnoredInPushButtonMode", kIdLowerButton + 3, 1, {}, kStateYellow},
        RouteCase{"DarkIgnoredInPushButtonMode", kCmdDark + 3, 1, {}, kStateYellow},
        RouteCase{"GroupBoxIsNoCommand", kIdGroupBox + 3, 0, {}, kStateYellow}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Routing, UpperButtonWritesTheProtocolBeforeSwitchingOff) {
  Columns(1, kStateOn);
  d.m_protocolFile = "runs.txt";
  SwitchRecord& r = d.m_records[0];
  r.m_candidate = "Anna", r.m_timer = 10, r.m_countdown = 43;
  d.OnCommand(kIdUpperButton);
  EXPECT_EQ(t.files.files["runs.txt"], "Anna; -4\r\n");  // 4.3 s were left
  EXPECT_EQ(r.m_startButton->text, "Start");
  EXPECT_EQ(Sent(), std::vector<std::string>{"SetSwitch 0 16 0"});
}

TEST_F(Routing, StartStopFromButtonMessageAndTrayMenu) {
  Columns(2, kStateOff);
  t.AddTray(1);
  d.m_records[1].m_timer = 5;  // so that the second start/stop ends a run
  EXPECT_EQ(d.OnMessage(kMsgStartStop + 1, 0, 0), 1);
  d.OnCommand(kIdStartButton + 1);
  t.tray.menuAnswer = kIdLowerButton + 1;
  EXPECT_EQ(d.OnMessage(kMsgTrayCallback + 1, kTrayIdSwitch + 1, WM_RBUTTONUP), 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"SetSwitch 1 16 1", "SetSwitch 1 16 0",
                                              "SetSwitch 1 16 1"}));
  EXPECT_EQ(d.OnMessage(kMsgTrayCallback, 0, WM_RBUTTONUP), 0);  // column 0 has no icon
}

TEST_F(Routing, PushButtonModeKeepsKurzzeitOpenAndBeenden) {
  Columns(2, kStateOff);
  d.m_pushButton = 1;
  t.registry.SetDword(RegRoot::CurrentUser, kOptionsKey, "OnTray", 1);
  d.OnCommand(kIdStartButton + 1);
  d.OnMessage(kMsgStartStop + 1, 0, 0);
  EXPECT_TRUE(Sent().empty());
  d.OnCommand(kIdTimeButton + 1);
  EXPECT_EQ(t.prompts.shown, std::vector<std::string>{"Timer"});
  d.OnCommand(kCmdOpenApp + 1);
  EXPECT_EQ(StoredOption("OnTray"), 0u);
  EXPECT_EQ(t.tray.shown, 1);
  d.OnCommand(kCmdExit);
  EXPECT_EQ(t.host.ended, std::vector{IDOK});
}

TEST_F(Routing, SystemMenuBeendenIgnoresTheSystemsLowBits) {
  d.OnSysCommand(kSysExit | 0x3);
  EXPECT_EQ(t.host.ended, std::vector{IDOK});
}

TEST_F(Routing, OptionsAreStoredHoweverTheDialogCloses) {
  d.m_oneLine = 1;
  d.OnSysCommand(kSysAbout);  // closed with Escape
  EXPECT_EQ(StoredOption("OneLine"), 1u);
  EXPECT_EQ(StoredOption("PushButton"), 0u);
  EXPECT_EQ(StoredOption("Arrow"), 0u);

  t.prompts.onAboutDlg = [](CAboutDlg& dlg) {
    dlg.m_checkOneLine = 0;
    dlg.m_checkArrow = 1;
    return IDOK;
  };
  d.OnSysCommand(kSysAbout);
  EXPECT_EQ(t.prompts.aboutDialogs.at(1).m_checkOneLine, 1);  // preset from the dialog
  EXPECT_EQ(d.m_oneLine + d.m_pushButton, 0);
  EXPECT_EQ(d.m_arrow, 1);
  EXPECT_EQ(StoredOption("OneLine"), 0u);
  EXPECT_EQ(StoredOption("Arrow"), 1u);
}

TEST_F(Routing, LogDialogShowsTheLinesInOrderAndKeepsThem) {
  d.m_logging = 1;
  Columns(3, kStateOff);
  d.SwitchGreen(2);
  d.SwitchDark(0);
  d.OnSysCommand(kSysLog);
  EXPECT_EQ(t.prompts.logTexts, std::vector<std::string>{"green[2]\r\noff[0]\r\n"});
  EXPECT_EQ(d.m_logLines.size(), 2u);
}

TEST_F(Routing, PushButtonEntryFollowsTheHeldButton) {
  Columns(2, kStateOff);
  d.m_pushButton = 1;
  d.m_oneLine = 1;
  d.OnDrawItemSelect(kIdUpperButton + 1, true, true);
  EXPECT_EQ(d.m_records[1].m_state, kStateOn);
  d.OnDrawItemSelect(kIdUpperButton + 1, true, false);
  d.OnDrawItemSelect(kIdUpperButton + 1, false, true);  // no focus
  d.OnDrawItemSelect(kIdLowerButton + 1, true, true);
  d.m_oneLine = 0;  // without one-line display both edges switch off
  d.OnDrawItemSelect(kIdUpperButton + 1, true, true);
  d.m_pushButton = 0;
  d.OnDrawItemSelect(kIdUpperButton + 1, true, false);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"SetSwitch 1 16 1", "SetSwitch 1 16 0",
                                              "SetSwitch 1 16 0"}));
}

// The start/stop keys: virtual-key code and the column it starts, -1 none.
class KeyMap : public Routing, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(KeyMap, PostsTheStartStopOfItsColumn) {
  const auto [key, column] = GetParam();
  d.PreTranslateKeyDown(key);
  std::vector<std::pair<int, uintptr_t>> expected;
  if (column >= 0) expected.emplace_back(kMsgStartStop + column, 0);
  EXPECT_EQ(t.host.posted, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Routing, KeyMap,
    ::testing::Values(std::pair{VK_F1, 0}, std::pair{VK_F1 + 6, 6}, std::pair{VK_F12, 11},
                      std::pair{VK_F12 + 1, -1}, std::pair{VK_F16, -1}, std::pair{VK_NUMPAD0, -1},
                      std::pair{VK_NUMPAD1, 0}, std::pair{VK_NUMPAD1 + 4, 4},
                      std::pair{VK_NUMPAD9, 8}, std::pair{VK_SPACE, 0}, std::pair{VK_DIVIDE, 9},
                      std::pair{VK_MULTIPLY, 10}, std::pair{VK_SUBTRACT, 11}, std::pair{VK_ADD, -1},
                      std::pair{VK_DECIMAL, -1}, std::pair{int{'A'}, -1}),
    [](const auto& info) {
      return test::RowName(info.index, "Key" + std::to_string(info.param.first));
    });

}  // namespace
}  // namespace toggra::test

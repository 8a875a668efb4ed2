// Routing of the main dialog's messages: button clicks and tray-menu commands,
// tray callbacks and start/stop messages, keys, system-menu items and the
// push-button entry of the upper-row buttons.
#include "app/ToggraDlg.h"
#include "switching/KeyMap.h"
#include "ui/AboutDlg.h"

namespace toggra {
namespace {

// The system keeps its own bits in the low four bits of a system command.
constexpr int kSysCommandMask = ~0xF;

// One family of sixteen command IDs, base + column.
struct CommandFamily {
  int base;
  // In push-button mode the switching clicks and tray items are ignored: the
  // upper-row buttons then act only through the push-button entry.
  bool ignoredInPushButtonMode;
  void (*run)(CToggraDlg& d, int i);
};

constexpr CommandFamily kCommandFamilies[] = {
    {kIdUpperButton, true,
     [](CToggraDlg& d, int i) {
       d.WriteProtocol(i);
       d.SwitchRed(i);
     }},
    {kIdLowerButton, true, [](CToggraDlg& d, int i) { d.SwitchGreen(i); }},
    {kIdThirdButton, true, [](CToggraDlg& d, int i) { d.SwitchYellow(i); }},
    {kCmdDark, true, [](CToggraDlg& d, int i) { d.SwitchDark(i); }},
    {kIdTimeButton, false, [](CToggraDlg& d, int i) { d.EditDurations(i); }},
    // StartStop keeps its own guards (columns in use, push-button mode), as
    // the keys reach it without passing here.
    {kIdStartButton, false, [](CToggraDlg& d, int i) { d.StartStop(i); }},
    {kCmdOpenApp, false,
     [](CToggraDlg& d, int) {
       d.WriteOption(kOptionOnTray, 0);
       CSystemTray::ShowFromTray(*d.m_services.trayShell);
     }},
};

// The column of id within the family starting at base, or -1.
int ColumnOf(int id, int base) {
  const int i = id - base;
  return i >= 0 && i < kMaxColumns ? i : -1;
}

}  // namespace

void CToggraDlg::OnCommand(int id) {
  if (id == kCmdExit) {
    EndDialog(IDOK);
    return;
  }
  for (const CommandFamily& family : kCommandFamilies) {
    const int i = ColumnOf(id, family.base);
    if (i < 0) continue;
    if (!(family.ignoredInPushButtonMode && m_pushButton)) family.run(*this, i);
    return;
  }
}

intptr_t CToggraDlg::OnMessage(int msg, uintptr_t wParam, intptr_t lParam) {
  if (const int i = ColumnOf(msg, kMsgTrayCallback); i >= 0) {
    // Only columns with a tray icon send these; a stray one finds no object.
    CSystemTray* tray = m_records[i].m_tray.get();
    return tray ? tray->HandleNotify(wParam, lParam) : 0;
  }
  if (const int i = ColumnOf(msg, kMsgStartStop); i >= 0) {
    StartStop(i);
    return 1;
  }
  return 0;
}

void CToggraDlg::PreTranslateKeyDown(int virtualKey) {
  // Posted rather than called, so the start/stop runs after the key has had
  // its ordinary dialog effect.
  const int i = StartStopColumnOfKey(virtualKey);
  if (i >= 0) m_services.host->PostMessage(kMsgStartStop + i, 0, 0);
}

void CToggraDlg::OnSysCommand(int nID) {
  switch (nID & kSysCommandMask) {
    case kSysAbout: {
      CAboutDlg dlg;
      dlg.m_checkOneLine = m_oneLine;
      dlg.m_checkPushButton = m_pushButton;
      dlg.m_checkArrow = m_arrow;
      // Escape leaves the presets in the object, so storing them is right
      // whichever way the dialog closed.
      m_services.prompts->RunAboutDlg(dlg);
      m_oneLine = dlg.m_checkOneLine;
      m_pushButton = dlg.m_checkPushButton;
      m_arrow = dlg.m_checkArrow;
      WriteOption(kOptionOneLine, m_oneLine);
      WriteOption(kOptionPushButton, m_pushButton);
      WriteOption(kOptionArrow, m_arrow);
      break;
    }
    case kSysExit:
      EndDialog(IDOK);
      break;
    case kSysLog: {
      CLogDlg dlg;
      for (const std::string& line : m_logLines) dlg.m_text += line;
      m_services.prompts->RunLogDlg(dlg);
      break;
    }
    default:
      break;  // the window's default processing belongs to the front-end
  }
}

void CToggraDlg::OnDrawItemSelect(int id, bool hasFocus, bool selected) {
  if (!hasFocus || !m_pushButton) return;
  const int i = ColumnOf(id, kIdUpperButton);
  if (i < 0) return;
  SetColumnState(i, selected ? kStateOn : kStateOff);
  SwitchRed(i);
}

}  // namespace toggra

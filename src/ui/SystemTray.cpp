// One column's tray icon: registering it with the shell, changing its lamp,
// removing it, and answering its mouse notifications with the column's menu.
#include "ui/SystemTray.h"

#include <array>

namespace toggra {

namespace {

// The shell's tip buffer holds 128 bytes including the terminator.
constexpr size_t kMaxTipLength = 128;
constexpr size_t kMaxBalloonText = 255;
constexpr size_t kMaxBalloonTitle = 63;
constexpr unsigned kMsPerSecond = 1000;
constexpr unsigned kCreationFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr int kLowWordMask = 0xFFFF;
constexpr size_t kMaxUtf8Continuation = 3;

struct ItemTemplate {
  int base;  // command of column 0; column i adds i, except "Beenden"
  bool perColumn;
  const char* text;
};

constexpr ItemTemplate kSeparator{0, false, ""};

constexpr std::array<ItemTemplate, 5> kSwitchMenu{{
    {kCmdOpenApp, true, "Applikation öffnen"},
    {kCmdExit, false, "Beenden"},
    kSeparator,
    {kIdUpperButton, true, "Schalter aus"},
    {kIdLowerButton, true, "Schalter ein"},
}};

// Yellow sits between red and green as on the light itself, although its
// button is the third row.
constexpr std::array<ItemTemplate, 7> kTrafficLightMenu{{
    {kCmdOpenApp, true, "Applikation öffnen"},
    {kCmdExit, false, "Beenden"},
    kSeparator,
    {kIdUpperButton, true, "Rot"},
    {kIdThirdButton, true, "Gelb"},
    {kIdLowerButton, true, "Grün"},
    {kCmdDark, true, "Aus"},
}};

template <size_t N>
std::vector<TrayMenuItem> Build(const std::array<ItemTemplate, N>& menu, int column) {
  std::vector<TrayMenuItem> items;
  for (const ItemTemplate& t : menu) {
    if (t.base == 0) {
      items.push_back({0, ""});
    } else {
      items.push_back({t.perColumn ? t.base + column : t.base, t.text});
    }
  }
  return items;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::vector<TrayMenuItem> TrayMenuItems(int menuId) {
  if (menuId >= kTrayIdSwitch && menuId < kTrayIdSwitch + kMaxColumns) {
    return Build(kSwitchMenu, menuId - kTrayIdSwitch);
  }
  if (menuId >= kTrayIdTrafficLight && menuId < kTrayIdTrafficLight + kMaxColumns) {
    return Build(kTrafficLightMenu, menuId - kTrayIdTrafficLight);
  }
  return {};
}

std::string CutTip(const std::string& tip, size_t maxBytes) {
  if (tip.size() <= maxBytes) return tip;
  // Back up to the lead byte of a character the cut would split. Names may come
  // from the command line in another 8-bit encoding: where no lead byte is
  // near, the text is not UTF-8 and is cut at the byte limit.
  size_t cut = maxBytes;
  while (cut > 0 && maxBytes - cut < kMaxUtf8Continuation && IsContinuation(tip[cut])) --cut;
  if (IsContinuation(tip[cut])) cut = maxBytes;
  return tip.substr(0, cut);
}

CSystemTray::CSystemTray(ITrayShell& shell) : m_shell(shell) {}

CSystemTray::~CSystemTray() { Uninstall(); }

bool CSystemTray::Install(ICommandTarget* parent, int callbackMessage, const std::string& tip,
                          IconId icon, int id, bool hidden, const std::string& balloonText,
                          const std::string& balloonTitle, unsigned balloonIconFlags,
                          unsigned balloonTimeout) {
  // Every Linux desktop this runs on has a notification area of the modern kind.
  m_enabled = 1;
  m_parent = parent;

  m_nid = NotifyIconData{};
  m_nid.uID = id;
  m_nid.hIcon = icon;
  m_nid.uCallbackMessage = callbackMessage;
  m_nid.uFlags = kCreationFlags;
  m_nid.szTip = CutTip(tip, kMaxTipLength - 1);

  const bool balloon = m_shellV5 && !balloonText.empty();
  if (balloon) {
    m_nid.uFlags |= NIF_INFO;
    m_nid.szInfo = CutTip(balloonText, kMaxBalloonText);
    m_nid.szInfoTitle = CutTip(balloonTitle, kMaxBalloonTitle);
    m_nid.uTimeout = balloonTimeout * kMsPerSecond;
    m_nid.dwInfoFlags = balloonIconFlags;
  }

  m_hidden = hidden ? 1 : 0;
  if (m_shellV5 && m_hidden) {
    m_nid.uFlags = NIF_STATE;
    m_nid.dwState = NIS_HIDDEN;
    m_nid.dwStateMask = NIS_HIDDEN;
    m_creationFlags = NIF_STATE;
  } else {
    m_creationFlags = m_nid.uFlags;
    if (m_hidden) return true;
  }

  const bool added = m_shell.NotifyIcon(NIM_ADD, m_nid);
  m_removed = m_hidden = m_pending = added ? 0 : 1;
  if (balloon) m_nid.szInfo.clear();
  return added;
}

bool CSystemTray::ChangeIcon(IconId icon) {
  if (!m_enabled) return false;
  m_nid.uFlags = NIF_ICON;
  m_nid.hIcon = icon;
  if (m_hidden) return true;
  return m_shell.NotifyIcon(NIM_MODIFY, m_nid);
}

bool CSystemTray::Uninstall() {
  m_pending = 0;
  if (!m_enabled || m_removed) return true;
  m_nid.uFlags = 0;
  if (!m_shell.NotifyIcon(NIM_DELETE, m_nid)) return false;
  m_hidden = m_removed = 1;
  return true;
}

void CSystemTray::RetryInstall() {
  if (m_pending != 1 || m_hidden != 0) return;
  m_nid.uFlags = m_creationFlags;
  // A successful retry must not be repeated at the next taskbar restart.
  if (m_shell.NotifyIcon(NIM_ADD, m_nid)) m_pending = m_removed = 0;
}

intptr_t CSystemTray::HandleNotify(uintptr_t wParam, intptr_t lParam) {
  if (wParam != static_cast<uintptr_t>(m_nid.uID)) return 0;
  ICommandTarget* target = m_target ? m_target : m_parent;
  if (!target) return 0;

  const int mouse = static_cast<int>(lParam & kLowWordMask);
  if (mouse == WM_RBUTTONUP) {
    const std::vector<TrayMenuItem> items = TrayMenuItems(m_nid.uID);
    if (items.empty()) return 0;
    int defaultPos = static_cast<int>(m_defaultItem);
    if (!m_defaultByPos) {
      defaultPos = -1;
      for (size_t p = 0; p < items.size(); ++p) {
        if (items[p].command == static_cast<int>(m_defaultItem)) defaultPos = static_cast<int>(p);
      }
    }
    m_shell.SetForegroundWindow();
    const int command = m_shell.TrackPopupMenu(m_nid.uID, items, defaultPos);
    if (command != 0) target->OnCommand(command);
    return 1;
  }
  if (mouse == WM_LBUTTONDBLCLK) {
    m_shell.SetForegroundWindow();
    int command = static_cast<int>(m_defaultItem);
    if (m_defaultByPos) {
      const std::vector<TrayMenuItem> items = TrayMenuItems(m_nid.uID);
      if (m_defaultItem >= items.size()) return 0;
      command = items[m_defaultItem].command;
    }
    target->OnCommand(command);
    return 1;
  }
  return 1;
}

}  // namespace toggra

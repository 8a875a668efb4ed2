// Small steps on one column that the poll, the countdown and the file
// operations share: lamps, tray icon, the "Kurzzeit" and start buttons.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "app/ToggraDlg.h"

namespace toggra::column {

inline constexpr int kTicksPerSecond = 10;

// The longest duration a run can count: a run's three phases in 32-bit tick
// counters. A longer one from the command line or the settings is taken as
// this, so that the "Kurzzeit" button shows what is then counted.
inline constexpr int kMaxDurationSeconds = INT32_MAX / (3 * kTicksPerSecond);

// Counters are 32-bit; a huge duration (the command line and the settings
// allow any int) must not overflow when it is turned into ticks.
inline int ArmTicks(int64_t seconds) {
  const int64_t ticks = seconds * kTicksPerSecond;
  if (ticks > INT_MAX) return INT_MAX;
  if (ticks < INT_MIN) return INT_MIN;
  return static_cast<int>(ticks);
}

// Red, yellow and green lamp values of one colour, sent in the order 16, 17, 18.
struct LampColour {
  int red, yellow, green;
};
inline constexpr LampColour kRed{1, 0, 0};
inline constexpr LampColour kYellow{0, 1, 0};
inline constexpr LampColour kGreen{0, 0, 1};
inline constexpr LampColour kDark{0, 0, 0};

inline void SendColour(CToggraDlg& d, int i, const LampColour& c) {
  if (d.m_simulation || !d.m_device) return;
  const int devNo = d.m_records[i].m_devNo;
  d.m_device->SetSwitch(devNo, kLampRed, c.red);
  d.m_device->SetSwitch(devNo, kLampYellow, c.yellow);
  d.m_device->SetSwitch(devNo, kLampGreen, c.green);
}

// The value that switches a plain channel off: 1 on an inverted channel.
inline int OffValue(const SwitchRecord& r) { return r.m_inverted ? 1 : 0; }

inline void SetTrayIcon(CToggraDlg& d, int i, IconId icon) {
  if (d.m_records[i].m_tray) d.m_records[i].m_tray->ChangeIcon(icon);
}

// The tray lamp of a plain switch: on green, off red, unreadable white.
inline IconId PlainStateIcon(const CToggraDlg& d, int state) {
  return state > 0 ? d.m_iconGreen : state == 0 ? d.m_iconRed : d.m_iconWhite;
}

inline void SetTimeText(CToggraDlg& d, int i, const std::string& text) {
  d.SetWindowText(kIdTimeButton + i, text);
}

inline void PressTimeButton(CToggraDlg& d, int i, bool pressed) {
  d.SetButtonState(kIdTimeButton + i, pressed);
}

inline void SetStartText(CToggraDlg& d, int i, const std::string& text) {
  d.SetWindowText(kIdStartButton + i, text);
}

}  // namespace toggra::column

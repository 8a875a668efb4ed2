// The per-tick read-back of every column, and the colour a traffic light takes
// at start-up.
#include <array>

#include "app/ToggraDlg.h"
#include "device/Backend.h"
#include "device/Channels.h"
#include "trafficlight/ColumnSteps.h"

namespace toggra {

namespace {

// A column is left alone this long after its last command, so that the
// device has settled before its reading overrides what the command set.
constexpr int64_t kQuietSeconds = 3;

// The icon of each colour a traffic light can read; a dark light asks for no
// redraw.
struct LampLook {
  int state;
  IconId CToggraDlg::*icon;
  bool redraw;
};
constexpr std::array<LampLook, 4> kLampLooks{{
    {kStateOff, &CToggraDlg::m_iconRed, true},
    {kStateYellow, &CToggraDlg::m_iconYellow, true},
    {kStateOn, &CToggraDlg::m_iconGreen, true},
    {kStateDark, &CToggraDlg::m_iconWhite, false},
}};

// The channel's reading; a type-40 device is read once per tick, by the
// first of its columns that is polled. The tick forgets the readings before
// it polls, so a column never sees an earlier tick's reading, even while the
// device's first column sits in its quiet period.
int ReadColumn(CToggraDlg& d, const SwitchRecord& r) {
  if (d.m_simulation || !d.m_device) {
    if (r.m_usbType != kTypeMultiSwitch || d.m_trafficLight) return r.m_state;
    return kStateUnreachable;
  }
  int* multiMask = nullptr;
  if (r.m_usbType == kTypeMultiSwitch && !d.m_trafficLight)
    multiMask = &d.m_multiSwitchMask.try_emplace(r.m_devNo, kMultiUnread).first->second;
  return ReadChannelState(*d.m_device, r.m_devNo, r.m_switchId, r.m_usbType, d.m_trafficLight,
                          multiMask);
}

PollResult PollTrafficLight(CToggraDlg& d, int i) {
  SwitchRecord& r = d.m_records[i];
  const int state = ReadColumn(d, r);
  // A lamp that cannot be read leaves the light as it is.
  if (state == kLampsUnread) return {};
  for (const LampLook& look : kLampLooks) {
    if (look.state != state) continue;
    if (r.m_state == state) return {};
    d.SetColumnState(i, state, StateSource::ReadBack);
    column::SetTrayIcon(d, i, d.*look.icon);
    return {look.redraw, false};
  }
  d.SetColumnState(i, kStateUnreachable, StateSource::ReadBack);
  return {};
}

PollResult PollPlainSwitch(CToggraDlg& d, int i) {
  SwitchRecord& r = d.m_records[i];
  const int v = ReadColumn(d, r);
  if (v == r.m_state) return {};
  d.SetColumnState(i, v, StateSource::ReadBack);
  PollResult result{true, false};
  if (d.m_trayMode)
    column::SetTrayIcon(d, i, column::PlainStateIcon(d, v));
  // Switched on outside the program: the same timed switch-on as SwitchGreen.
  if (v == kStateOn && r.m_timer > 0) {
    column::PressTimeButton(d, i, true);
    r.m_countdown = column::ArmTicks(r.m_timer);
  }
  if (v <= 0 && r.m_countdown > 0) {
    r.m_countdown = 0;
    result.stopped = true;
  }
  return result;
}

}  // namespace

PollResult CToggraDlg::PollColumn(int i) {
  if (i < 0 || i >= m_switchCount || (!m_device && !m_simulation)) return {};
  const int64_t sinceCommand =
      m_services.clock->Time64() - static_cast<int64_t>(m_records[i].m_commandTime);
  if (sinceCommand < kQuietSeconds) return {};
  return m_trafficLight ? PollTrafficLight(*this, i) : PollPlainSwitch(*this, i);
}

void CToggraDlg::ApplyStartColour(int i) {
  using Operation = void (CToggraDlg::*)(int);
  // Indexed by the colour letter: r, g, y.
  static constexpr std::array<Operation, 3> kStartColour{
      &CToggraDlg::SwitchRed, &CToggraDlg::SwitchGreen, &CToggraDlg::SwitchYellow};
  if (m_startColour >= 0 && m_startColour < static_cast<int>(kStartColour.size())) {
    (this->*kStartColour[m_startColour])(i);
    return;
  }
  // Green wins over yellow; anything else starts red.
  SwitchRecord& r = m_records[i];
  r.m_state = kStateOff;
  if (m_simulation || !m_device) return;
  if (m_device->GetSwitch(r.m_devNo, kLampGreen) > 0)
    r.m_state = kStateOn;
  else if (m_device->GetSwitch(r.m_devNo, kLampYellow) > 0)
    r.m_state = kStateYellow;
}

}  // namespace toggra

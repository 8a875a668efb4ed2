// The per-tick read-back of every column, and the colour a traffic light takes
// at start-up.
#include <array>

#include "app/ToggraDlg.h"
#include "device/Backend.h"
#include "trafficlight/ColumnSteps.h"

namespace toggra {

namespace {

// A column is left alone this long after its last command, so that the
// device has settled before its reading overrides what the command set.
constexpr int64_t kQuietSeconds = 3;
constexpr unsigned long kChannelBits = 0xFFFF;
constexpr int kChannelCount = 16;

struct LampRow {
  int red, yellow, green;
  int state;
  IconId CToggraDlg::*icon;
  bool redraw;
};

// First matching row wins; any other combination is inconsistent (-1). An
// all-dark light asks for no redraw.
constexpr std::array<LampRow, 4> kLampTable{{
    {1, 0, 0, kStateOff, &CToggraDlg::m_iconRed, true},
    {0, 1, 0, kStateYellow, &CToggraDlg::m_iconYellow, true},
    {0, 0, 1, kStateOn, &CToggraDlg::m_iconGreen, true},
    {0, 0, 0, kStateDark, &CToggraDlg::m_iconWhite, false},
}};

PollResult PollTrafficLight(CToggraDlg& d, int i) {
  SwitchRecord& r = d.m_records[i];
  int red, yellow, green;
  if (d.m_simulation || !d.m_device) {
    red = r.m_state == kStateOff;
    yellow = r.m_state == kStateYellow;
    green = r.m_state == kStateOn;
  } else {
    red = d.m_device->GetSwitch(r.m_devNo, kLampRed);
    yellow = d.m_device->GetSwitch(r.m_devNo, kLampYellow);
    green = d.m_device->GetSwitch(r.m_devNo, kLampGreen);
  }
  if (red < 0 || yellow < 0 || green < 0) return {};
  for (const LampRow& row : kLampTable) {
    if (row.red != red || row.yellow != yellow || row.green != green) continue;
    if (r.m_state == row.state) return {};
    d.SetColumnState(i, row.state, StateSource::ReadBack);
    column::SetTrayIcon(d, i, d.*row.icon);
    return {row.redraw, false};
  }
  d.SetColumnState(i, kStateUnreachable, StateSource::ReadBack);
  return {};
}

// One GetMultiSwitch per device and tick, made by the first of the device's
// columns that is polled. The tick forgets the readings before it polls, so a
// column never sees an earlier tick's reading, even while the device's first
// column sits in its quiet period.
int MultiSwitchReading(CToggraDlg& d, int devNo) {
  auto it = d.m_multiSwitchMask.find(devNo);
  if (it != d.m_multiSwitchMask.end()) return it->second;
  unsigned long value = 0;
  const int result = d.m_device ? d.m_device->GetMultiSwitch(devNo, nullptr, &value, 0) : -1;
  const int mask = result < 0 ? -1 : static_cast<int>(value & kChannelBits);
  d.m_multiSwitchMask[devNo] = mask;
  return mask;
}

int ReadPlainSwitch(CToggraDlg& d, const SwitchRecord& r) {
  if (r.m_usbType == kTypeMultiSwitch) {
    const int mask = MultiSwitchReading(d, r.m_devNo);
    const int bit = r.m_switchId - kFirstSwitchId;
    if (mask < 0 || bit < 0 || bit >= kChannelCount) return kStateUnreachable;
    return (mask >> bit) & 1;
  }
  if (d.m_simulation || !d.m_device) return r.m_state;
  return d.m_device->GetSwitch(r.m_devNo, r.m_switchId);
}

PollResult PollPlainSwitch(CToggraDlg& d, int i) {
  SwitchRecord& r = d.m_records[i];
  const int v = ReadPlainSwitch(d, r);
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
  SwitchRecord& r = m_records[i];
  if (m_simulation || !m_device) {
    r.m_state = kStateOff;
  } else if (m_device->GetSwitch(r.m_devNo, kLampGreen) > 0) {
    r.m_state = kStateOn;
  } else if (m_device->GetSwitch(r.m_devNo, kLampYellow) > 0) {
    r.m_state = kStateYellow;
  } else {
    r.m_state = kStateOff;
  }
}

}  // namespace toggra

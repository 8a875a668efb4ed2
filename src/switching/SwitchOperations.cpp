// The four switch operations that every switching command ends in: buttons,
// tray items, keys (through the countdown's start/stop), the push-button entry
// and the start colour.
#include <algorithm>

#include "app/ErrorDialogs.h"
#include "app/Format.h"
#include "app/ToggraDlg.h"
#include "trafficlight/ColumnSteps.h"

namespace toggra {
namespace {

// The limit of a wait on the semaphore. Everything runs on the event thread,
// so a wait at count 0 (the first use after start-up, the nested
// SwitchRed -> SwitchGreen) returns at once (see CSemaphore).
constexpr int kSemaphoreWaitMs = 500;

void SendChannel(CToggraDlg& d, int j, int on) {
  // The result is never tested: the poll reads the channel back after the
  // quiet period and reconciles the display with the hardware.
  if (d.m_device) d.m_device->SetSwitch(d.m_records[j].m_devNo, d.m_records[j].m_switchId, on);
}

void ShowTrayIcon(CToggraDlg& d, int i, IconId icon) {
  if (CSystemTray* tray = d.m_records[i].m_tray.get()) tray->ChangeIcon(icon);
}

void ShowTimeButtonPressed(CToggraDlg& d, int i, bool pressed) {
  if (const CControl* button = d.m_records[i].m_timeButton) d.SetButtonState(button->id, pressed);
}

void Finish(CToggraDlg& d) {
  d.InvalidateAll();
  d.SaveState();
  d.m_semaphore.Release();
}

// A column whose switch did not answer is not commanded; the user may end the
// program instead. True when the operation must stop here.
bool RefuseUnreachable(CToggraDlg& d, int i) {
  if (d.m_simulation || d.m_records[i].m_state >= 0) return false;
  CDeviceError dlg;
  if (d.m_services.prompts->RunDeviceError(dlg) == IDOK) d.EndDialog(IDOK);
  d.m_semaphore.Release();
  return true;
}

// Sends v to plain column i. With exclusive switching the other columns of
// the half that holds i (the lower half [0, n/2) or the upper half [n/2, n))
// go off, in ascending order with i in its place. In simulation only the
// states change.
void SwitchPlain(CToggraDlg& d, int i, int v) {
  const bool send = !d.m_simulation;
  if (!d.m_exclusive) {
    if (send) SendChannel(d, i, v);
    return;
  }
  const int middle = d.m_switchCount / 2;
  const int first = i < middle ? 0 : middle;
  const int end = i < middle ? middle : d.m_switchCount;
  for (int j = first; j < end; ++j) {
    if (j != i) d.SetColumnState(j, kStateOff);
    if (send) SendChannel(d, j, j == i ? v : 0);
  }
}

// Group layout: one click toggles the same column of every block; base(g) is
// the first channel of group g's block. Icons and countdowns stay untouched.
// A simulation may stand in for an attached device that has no group (a
// 4-channel one, say): its channels must not follow the simulated blocks.
template <class Base>
void ToggleBlocks(CToggraDlg& d, int i, Base base) {
  // Only the shown columns have a channel in each block; the tray commands of
  // the other channels would reach past their block or past the records.
  if (i < 0 || i >= d.m_groupSize) return;
  for (int g = 0; g < d.m_groupCount; ++g) {
    const int first = base(g);
    const int target = first + i;
    const int end = std::min(first + d.m_groupSize, d.m_switchCount);
    if (target < d.m_switchCount)
      d.SetColumnState(target, d.m_records[target].m_state == kStateOff ? kStateOn : kStateOff);
    for (int j = first; j < end; ++j) {
      if (j == target) {
        if (!d.m_simulation) SendChannel(d, j, d.m_records[j].m_state);
      } else if (d.m_exclusive) {
        d.SetColumnState(j, kStateOff);
        if (!d.m_simulation) SendChannel(d, j, 0);
      }
    }
  }
}

}  // namespace

void CToggraDlg::SwitchGreen(int i) {
  m_semaphore.Wait(kSemaphoreWaitMs);  // outcome ignored on purpose
  AppendLog(Format("green[%d]\r\n", i));
  SwitchRecord& r = m_records[i];

  // A run with a total time starts dark; the countdown brings the colours.
  if (m_trafficLight && r.m_timerT > 0) {
    ShowTimeButtonPressed(*this, i, true);
    // Taken in 64 bits: durations from the command line or the settings may be
    // anything an int holds.
    const int64_t leadIn = static_cast<int64_t>(r.m_timerT) - r.m_timer2 - r.m_timer;
    r.m_countdownT = column::ArmTicks(leadIn);
    column::SendColour(*this, i, column::kDark);
    SetColumnState(i, kStateDark);
    InvalidateAll();
    FlushStateMirror();
    m_semaphore.Release();
    return;
  }
  if (RefuseUnreachable(*this, i)) return;
  if (m_groupMode) {
    ToggleBlocks(*this, i, [&](int g) { return (m_groupStride * g + 1) * m_groupSize; });
    Finish(*this);
    return;
  }

  int v = 1;
  if (!m_trafficLight && !m_simulation && r.m_inverted) v = 0;
  SetColumnState(i, v);
  if (m_trafficLight) {
    column::SendColour(*this, i, column::kGreen);
  } else {
    SwitchPlain(*this, i, v);
  }
  ShowTrayIcon(*this, i, m_iconGreen);
  r.m_commandTime = Now32();
  if (r.m_timer > 0) {  // the timed switch-on
    ShowTimeButtonPressed(*this, i, true);
    r.m_countdown = column::ArmTicks(r.m_timer);
  }
  Finish(*this);
}

void CToggraDlg::SwitchRed(int i) {
  m_semaphore.Wait(kSemaphoreWaitMs);
  AppendLog(Format("red[%d]\r\n", i));
  if (RefuseUnreachable(*this, i)) return;
  SwitchRecord& r = m_records[i];

  // Push-button entry: the caller has set the state to the button's.
  if (m_pushButton && m_oneLine) {
    ShowTrayIcon(*this, i, r.m_state > 0 ? m_iconGreen : r.m_state == 0 ? m_iconRed : m_iconWhite);
    if (!m_simulation && r.m_state >= 0) SendChannel(*this, i, r.m_state);
    Finish(*this);
    return;
  }
  if (m_groupMode) {
    ToggleBlocks(*this, i, [&](int g) { return m_groupStride * m_groupSize * g; });
    Finish(*this);
    return;
  }

  // One-line display: the single button toggles.
  const int n = (m_oneLine && r.m_state == kStateOff) ? 1 : 0;
  if (n == 1 && !r.m_inverted) {
    SetColumnState(i, n);
    SwitchGreen(i);
    Finish(*this);
    return;
  }
  // The one-line toggle flips the raw value, so only two-row display inverts.
  const bool invert = !m_trafficLight && !m_simulation && r.m_inverted && !m_oneLine;
  const int v = invert ? 1 - n : n;
  SetColumnState(i, v);
  if (m_trafficLight) {
    column::SendColour(*this, i, column::kRed);
  } else {
    SwitchPlain(*this, i, v);
  }
  ShowTrayIcon(*this, i, m_iconRed);
  r.m_commandTime = Now32();
  r.m_countdown = r.m_countdown2 = r.m_countdownT = 0;
  if (r.m_timeButton) SetWindowText(r.m_timeButton->id, FormatDuration(r.m_timer));
  ShowTimeButtonPressed(*this, i, false);
  Finish(*this);
}

void CToggraDlg::SwitchYellow(int i) {
  AppendLog(Format("yellow[%d]\r\n", i));
  SwitchRecord& r = m_records[i];
  SetColumnState(i, kStateYellow);
  if (!m_simulation && m_device) {
    m_device->SetSwitch(r.m_devNo, kLampYellow, 1);
    m_device->SetSwitch(r.m_devNo, kLampRed, 0);
    m_device->SetSwitch(r.m_devNo, kLampGreen, 0);
  }
  ShowTrayIcon(*this, i, m_iconYellow);
  r.m_commandTime = Now32();
  if (r.m_timer2 > 0) {
    ShowTimeButtonPressed(*this, i, true);
    r.m_countdown2 = column::ArmTicks(r.m_timer2);
  }
  InvalidateAll();
  FlushStateMirror();
}

void CToggraDlg::SwitchDark(int i) {
  AppendLog(Format("off[%d]\r\n", i));
  SwitchRecord& r = m_records[i];
  SetColumnState(i, kStateDark);
  if (!m_simulation) {
    if (m_trafficLight)
      column::SendColour(*this, i, column::kDark);
    else
      SendChannel(*this, i, column::OffValue(r));
  }
  ShowTrayIcon(*this, i, m_iconWhite);
  r.m_commandTime = Now32();
  if (r.m_timer > 0) {
    ShowTimeButtonPressed(*this, i, true);
    r.m_countdown = column::ArmTicks(r.m_timer);
  }
  InvalidateAll();
  FlushStateMirror();
}

}  // namespace toggra

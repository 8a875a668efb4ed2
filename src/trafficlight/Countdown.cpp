// The 100 ms tick, the countdown phases of traffic lights and timed
// switch-ons, and the start/stop and duration commands.
#include <array>

#include "app/Format.h"
#include "app/ToggraDlg.h"
#include "settings/DeviceSettings.h"
#include "trafficlight/ColumnSteps.h"
#include "trafficlight/TimerDlg.h"

namespace toggra {

namespace {

constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;

// What one countdown step asks of the tick.
struct StepResult {
  bool changed = false;      // a phase ended: redraw the column
  bool textUpdated = false;  // a whole second passed: redraw the column
  bool endOfRun = false;
};

// Steps one counter: true when it reached 0, otherwise the remaining whole
// seconds are shown once a second.
bool StepCounter(CToggraDlg& d, int i, int& counter, StepResult& step) {
  --counter;
  if (counter == 0) {
    step.changed = true;
    return true;
  }
  if (counter % column::kTicksPerSecond == 0) {
    column::SetTimeText(d, i, FormatDuration(counter / column::kTicksPerSecond));
    step.textUpdated = true;
  }
  return false;
}

void DarkLeadInEnds(CToggraDlg& d, int i, StepResult&) {
  SwitchRecord& r = d.m_records[i];
  column::SendColour(d, i, column::kGreen);
  d.SetColumnState(i, kStateOn);
  column::SetTrayIcon(d, i, d.m_iconGreen);
  r.m_countdown = column::ArmTicks(r.m_timer);
}

void GreenEnds(CToggraDlg& d, int i, StepResult&) {
  SwitchRecord& r = d.m_records[i];
  column::SendColour(d, i, column::kYellow);
  d.SetColumnState(i, kStateYellow);
  column::SetTrayIcon(d, i, d.m_iconYellow);
  r.m_commandTime = d.Now32();
  if (r.m_timer2 > 0) {
    column::PressTimeButton(d, i, true);
    r.m_countdown2 = column::ArmTicks(r.m_timer2);
  }
}

void YellowEnds(CToggraDlg& d, int i, StepResult& step) {
  column::SendColour(d, i, column::kRed);
  d.SetColumnState(i, kStateOff);
  column::SetTrayIcon(d, i, d.m_iconRed);
  // As the exit command 32771 does; the window closes after this tick.
  if (d.m_exitOnRed) d.EndDialog(IDOK);
  step.endOfRun = true;
}

struct Phase {
  int SwitchRecord::*counter;
  void (*ends)(CToggraDlg&, int, StepResult&);
};

// Only the first running counter in this order is stepped in a tick.
constexpr std::array<Phase, 3> kPhases{{
    {&SwitchRecord::m_countdownT, &DarkLeadInEnds},
    {&SwitchRecord::m_countdown, &GreenEnds},
    {&SwitchRecord::m_countdown2, &YellowEnds},
}};

StepResult StepTrafficLight(CToggraDlg& d, int i) {
  StepResult step;
  SwitchRecord& r = d.m_records[i];
  for (const Phase& phase : kPhases) {
    int& counter = r.*phase.counter;
    if (counter <= 0) continue;
    if (StepCounter(d, i, counter, step)) phase.ends(d, i, step);
    break;
  }
  return step;
}

// The timed switch-on ends by switching the channel off; its state follows
// from the next reading after the quiet period.
StepResult StepPlainSwitch(CToggraDlg& d, int i) {
  StepResult step;
  SwitchRecord& r = d.m_records[i];
  if (r.m_countdown <= 0 || !StepCounter(d, i, r.m_countdown, step)) return step;
  if (!d.m_simulation && d.m_device)
    d.m_device->SetSwitch(r.m_devNo, r.m_switchId, column::OffValue(r));
  step.endOfRun = true;
  return step;
}

void InvalidateColumn(CToggraDlg& d, int i) {
  d.InvalidateControl(kIdUpperButton + i);
  if (!d.m_groupMode) d.InvalidateControl(kIdThirdButton + i);
  d.InvalidateControl(kIdLowerButton + i);
  // The group layout shows channel i in a second-row button of another
  // column; without this a channel switched from outside stays drawn as it was.
  if (d.m_groupMode && i >= kGroupSecondRowOffset)
    d.InvalidateControl(kIdLowerButton + i - kGroupSecondRowOffset);
}

struct Hms {
  int hours, minutes, seconds;
};

Hms Split(int t) {
  return {t / kSecondsPerHour, (t % kSecondsPerHour) / kSecondsPerMinute, t % kSecondsPerMinute};
}

// Hours are not limited by the dialog: the sum is taken in 64 bits and kept
// within what the 32-bit tick counters can hold for a whole run (three
// durations, ten ticks each).
int Join(int hours, int minutes, int seconds) {
  constexpr int64_t kLimit = INT32_MAX / (3 * column::kTicksPerSecond);
  const int64_t t =
      (static_cast<int64_t>(hours) * kMinutesPerHour + minutes) * kSecondsPerMinute + seconds;
  return static_cast<int>(t > kLimit ? kLimit : t < -kLimit ? -kLimit : t);
}

}  // namespace

void CToggraDlg::TimerTick() {
  if (m_oneLine && m_pushButton) return;
  // Waiting for a first device (m_waitForDevices), the file is not ours yet.
  if (!m_stateFile.empty() && m_switchCount > 0) ReadState();
  m_multiSwitchMask.clear();  // readings belong to the tick that made them
  for (int i = 0; i < m_switchCount; ++i) {
    const PollResult poll = PollColumn(i);
    const StepResult step = m_trafficLight ? StepTrafficLight(*this, i) : StepPlainSwitch(*this, i);
    if (poll.stopped || step.endOfRun) EndOfRun(i);
    if (poll.changed || step.changed || step.textUpdated) InvalidateColumn(*this, i);
  }
  // A phase that ended or a read-back changed what the state file shows.
  FlushStateMirror();
}

void CToggraDlg::EndOfRun(int i) {
  const SwitchRecord& r = m_records[i];
  int t = r.m_timer;
  if (m_trafficLight) t = r.m_timerT > 0 ? r.m_timerT : r.m_timer2 > 0 ? r.m_timer2 : r.m_timer;
  column::SetTimeText(*this, i, FormatDuration(t));
  column::PressTimeButton(*this, i, false);
  WriteProtocol(i);
}

void CToggraDlg::StartStop(int i) {
  if (i < 0 || i >= m_switchCount || m_pushButton) return;
  const SwitchRecord& r = m_records[i];
  const int64_t running = static_cast<int64_t>(r.m_countdownT) + r.m_countdown2 + r.m_countdown;
  if (running > 0) {
    WriteProtocol(i);
    SwitchRed(i);
  } else {
    column::SetStartText(*this, i, kStrStop);
    SwitchGreen(i);
  }
}

void CToggraDlg::EditDurations(int i) {
  if (i < 0 || i >= m_switchCount) return;
  SwitchRecord& r = m_records[i];
  CToggraTimerDlg dlg;
  const Hms first = Split(r.m_timer), second = Split(r.m_timer2), total = Split(r.m_timerT);
  dlg.m_hours = first.hours, dlg.m_minutes = first.minutes, dlg.m_seconds = first.seconds;
  dlg.m_hours2 = second.hours, dlg.m_minutes2 = second.minutes, dlg.m_seconds2 = second.seconds;
  dlg.m_hoursT = total.hours, dlg.m_minutesT = total.minutes, dlg.m_secondsT = total.seconds;
  dlg.m_trafficLightMode = m_trafficLight;
  dlg.m_protocol = m_protocolFile;
  dlg.m_candidateName = r.m_candidate;

  if (m_services.prompts->RunTimerDlg(dlg) == IDOK) {
    m_protocolFile = dlg.m_protocol;
    WriteProtocolOption(m_protocolFile);
    // A run in progress stops here without a protocol line or lamp change.
    r.m_countdown = r.m_countdown2 = r.m_countdownT = 0;
    r.m_timer = Join(dlg.m_hours, dlg.m_minutes, dlg.m_seconds);
    r.m_timer2 = Join(dlg.m_hours2, dlg.m_minutes2, dlg.m_seconds2);
    r.m_timerT = Join(dlg.m_hoursT, dlg.m_minutesT, dlg.m_secondsT);
    // As at start-up: a total not above the two durations is no total. Kept,
    // the next start would leave the light dark for good.
    if (static_cast<int64_t>(r.m_timerT) <= static_cast<int64_t>(r.m_timer) + r.m_timer2)
      r.m_timerT = 0;

    CDeviceSettings settings(*m_services.registry, *m_services.settingsRoot, m_services.prompts,
                             SaveReport::OncePerSave);
    auto name = [&r](const char* entry) {
      return CDeviceSettings::ValueName(r.m_keyType, r.m_version, r.m_serial, entry);
    };
    r.m_candidate = dlg.m_candidateName;
    settings.WriteString(name(kEntryCandidate), r.m_candidate);
    if (!r.m_candidate.empty()) SetWindowText(kIdGroupBox + i, r.m_candidate);
    column::SetTimeText(*this, i, FormatHms(dlg.m_hours, dlg.m_minutes, dlg.m_seconds));
    settings.WriteDword(name(kEntryTimer), r.m_timer);
    settings.WriteDword(name(kEntryTimer2), r.m_timer2);
    settings.WriteDword(name(kEntryTimerT), r.m_timerT);
  }
  m_services.host->SetFocus(kIdGroupBox);
}

}  // namespace toggra

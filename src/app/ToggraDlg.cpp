// Construction, the controls of template 102, and teardown of the main dialog.
#include "app/ToggraDlg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/Composition.h"
#include "app/Format.h"
#include "trafficlight/StateText.h"

namespace toggra {

CToggraDlg::CToggraDlg(const DlgServices& services)
    : m_semaphore(), m_services(CompleteServices(services)) {
  CreateControls();
}

CToggraDlg::~CToggraDlg() {
  for (IColumnObserver* o : std::vector<IColumnObserver*>(m_observers)) o->OnDialogEnding(*this);
  for (int i = 0; i < m_switchCount; ++i) {
    // A simulation's device 0 may be an attached device that was not usable;
    // it was never ours to reset.
    if (m_device && !m_simulation) m_device->ResetDevice(m_records[i].m_devNo);
    m_records[i].m_tray.reset();
  }
  m_device.reset();
  if (m_nameList) m_nameList->clear();
  m_logLines.clear();
}

void CToggraDlg::CreateControls() {
  for (int i = 0; i < kMaxColumns; ++i) {
    const int x = 60 * i;
    auto add = [&](int id, ControlKind kind, DlgRect r, std::string text) {
      CControl c;
      c.id = id;
      c.kind = kind;
      c.templateRect = r;
      c.text = std::move(text);
      m_controls[id] = c;
    };
    add(kIdGroupBox + i, ControlKind::GroupBox, {x, 1, 60, 179}, "leer");
    add(kIdUpperButton + i, ControlKind::OwnerDrawButton, {x + 4, 11, 52, 45}, "");
    add(kIdTimeButton + i, ControlKind::PushButton, {x + 4, 59, 52, 10}, kStrShortTime);
    add(kIdLowerButton + i, ControlKind::OwnerDrawButton, {x + 4, 72, 52, 45}, "");
    add(kIdStartButton + i, ControlKind::PushButton, {x + 4, 120, 52, 10},
        Format("Start (F%d)", i + 1));
    add(kIdThirdButton + i, ControlKind::OwnerDrawButton, {x + 4, 133, 52, 45}, "");
  }
  for (int i = 0; i < kMaxColumns; ++i) {
    m_timeButtons[i] = &m_controls[kIdTimeButton + i];
    m_groupBoxes[i] = &m_controls[kIdGroupBox + i];
    m_startButtons[i] = &m_controls[kIdStartButton + i];
  }
}

CControl& CToggraDlg::Control(int id) { return m_controls.at(id); }

const CControl* CToggraDlg::FindControl(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : &it->second;
}

void CToggraDlg::SetWindowText(int id, const std::string& text) {
  CControl& c = Control(id);
  if (c.text == text) return;
  c.text = text;
  m_services.host->ControlChanged(c);
  // The "Kurzzeit" button shows the countdown, the frame the caption.
  if (id >= kIdTimeButton && id < kIdTimeButton + kMaxColumns)
    NotifyColumn(id - kIdTimeButton, kChangeCountdown);
  else if (id >= kIdGroupBox && id < kIdGroupBox + kMaxColumns)
    NotifyColumn(id - kIdGroupBox, kChangeCaption);
}

void CToggraDlg::SetColumnState(int i, int state, StateSource source) {
  if (i < 0 || i >= kMaxColumns) return;
  int& current = m_records[i].m_state;
  if (current == state) return;
  current = state;
  // In the group layout the file drives the switches: only the program's own
  // commands go into it there, never what a read-back or the file brought.
  const bool mirrored = i < kStateValues && !m_stateFile.empty() &&
                        (source == StateSource::Command ||
                         (source == StateSource::ReadBack && !m_groupMode));
  if (mirrored) m_stateMirrorStale = true;
  NotifyColumn(i, kChangeState);
}

void CToggraDlg::FlushStateMirror() {
  if (!m_stateMirrorStale) return;
  SaveState();
}

void CToggraDlg::AddObserver(IColumnObserver* observer) {
  if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
    m_observers.push_back(observer);
}

void CToggraDlg::RemoveObserver(IColumnObserver* observer) {
  m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                    m_observers.end());
}

void CToggraDlg::NotifyColumn(int i, unsigned what) {
  if (!m_columnsLaidOut || i >= m_switchCount) return;
  // A copy: an observer may remove itself.
  for (IColumnObserver* o : std::vector<IColumnObserver*>(m_observers))
    o->OnColumnChanged(*this, i, what);
}

void CToggraDlg::EnableWindow(int id, bool enable) {
  CControl& c = Control(id);
  if (c.enabled == enable) return;
  c.enabled = enable;
  m_services.host->ControlChanged(c);
}

void CToggraDlg::ShowWindow(int id, bool show) {
  CControl& c = Control(id);
  if (c.visible == show) return;
  c.visible = show;
  m_services.host->ControlChanged(c);
}

void CToggraDlg::SetButtonState(int id, bool pressed) {
  CControl& c = Control(id);
  if (c.pressed == pressed) return;
  c.pressed = pressed;
  m_services.host->ControlChanged(c);
}

void CToggraDlg::MoveWindow(int id, const Rect& rect) {
  CControl& c = Control(id);
  if (c.rect == rect) return;
  c.rect = rect;
  m_services.host->ControlChanged(c);
}

void CToggraDlg::InvalidateAll() { m_services.host->InvalidateAll(); }

void CToggraDlg::InvalidateControl(int id) { m_services.host->InvalidateControl(id); }

void CToggraDlg::AppendLog(const std::string& line) {
  if (!m_logging) return;
  if (m_logEcho) m_logEcho(line);
  m_logLines.push_back(line);
  if (m_logLimit && m_logLines.size() > m_logLimit)
    m_logLines.erase(m_logLines.begin(), m_logLines.begin() + static_cast<std::ptrdiff_t>(m_logLines.size() - m_logLimit));
}

int CToggraDlg::ShownColumns() const { return m_groupMode ? m_groupSize : m_switchCount; }

void CToggraDlg::EndDialog(int result) {
  if (m_ended) return;
  m_ended = true;
  m_result = result;
  m_services.host->EndDialog(result);
}

}  // namespace toggra

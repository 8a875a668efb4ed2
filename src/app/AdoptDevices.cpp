// Devices that appear while the program runs: their columns are set up as at
// start-up and added after the columns there are, so that keys, tray icons
// and the state file's places of the existing columns stay as they were.
#include "app/Format.h"
#include "app/StartUpSteps.h"
#include "device/DeviceRegistry.h"

namespace toggra {

namespace {

// The simulated columns go: their tray icons, countdowns and button texts.
void DropSimulatedColumns(CToggraDlg& dlg) {
  for (int i = 0; i < dlg.m_switchCount; ++i) {
    SwitchRecord& r = dlg.m_records[i];
    CControl* timeButton = r.m_timeButton;
    CControl* startButton = r.m_startButton;
    r = SwitchRecord{};
    r.m_timeButton = timeButton;
    r.m_startButton = startButton;
    dlg.SetWindowText(kIdTimeButton + i, kStrShortTime);
    dlg.SetWindowText(kIdStartButton + i, Format("Start (F%d)", i + 1));
    dlg.EnableWindow(kIdTimeButton + i, true);
    dlg.EnableWindow(kIdStartButton + i, true);
    dlg.ShowWindow(kIdTimeButton + i, true);
    dlg.ShowWindow(kIdStartButton + i, true);
  }
  dlg.m_switchCount = 0;
  dlg.m_groupCount = 0;
  dlg.m_simulation = 0;
}

}  // namespace

void CToggraDlg::AdoptDevices(int first, int end) {
  if (m_ended || first >= end || !m_device) return;
  // A simulation gives way only to a device that would give columns.
  const int simulation = m_simulation;
  m_simulation = 0;
  const bool usable = AnyUsable(first, end);
  m_simulation = simulation;
  if (!usable) return;

  CDeviceSettings settings(*m_services.registry, *m_services.settingsRoot, m_services.prompts);
  const int before = m_simulation ? 0 : m_switchCount;
  if (m_simulation) {
    DropSimulatedColumns(*this);
    DiscoverRange(settings, 0, end);
    // Every device of the list, the new ones included, failed its first
    // reading: back to the simulated column.
    if (m_switchCount == 0) {
      m_simulation = 1;
      DiscoverRange(settings, 0, 1);
    }
  } else {
    DiscoverRange(settings, first, end);
  }
  for (const std::string& message : TakeDeviceErrors()) AppendLog(message + "\r\n");
  if (m_switchCount == before && !simulation) return;
  for (int i = m_switchCount; i < kMaxColumns; ++i) {
    m_records[i].m_devNo = -1;
    m_records[i].m_tray.reset();
  }
  AppendLog(Format("devices added: switchCount=%d (was %d)\r\n", m_switchCount, before));

  if (m_groupMode) {
    const int channelsPerGroup = m_groupStride * m_groupSize;
    if (channelsPerGroup > 0)
      m_groupCount = (m_switchCount + channelsPerGroup - 1) / channelsPerGroup;
  }
  LayoutWith(*this, settings, ShownColumns(), true);
  InvalidateAll();
  if (!m_simulation) SaveState();
  for (IColumnObserver* o : std::vector<IColumnObserver*>(m_observers)) o->OnColumnsReset(*this);
}

}  // namespace toggra

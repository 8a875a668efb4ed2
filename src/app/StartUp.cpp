// Start-up of the main dialog and the ways it ends: the steps from the system
// menu to the first state-file write, the title, Enter and Escape.
#include "app/Format.h"
#include "app/StartUpSteps.h"
#include "device/DeviceRegistry.h"

namespace toggra {

namespace {

constexpr const char* kStartLogLine =
    "switchCount=%d, Ampel=%d, 2x4=%d,%d,%d,%d, toggle=%d\r\n";

// The front-end owns the real 100 ms timer and starts it once the start-up
// has returned; the core only keeps an id for it.
constexpr int kTickTimerId = 1;

int ReadFlagOption(CToggraDlg& dlg, const char* name) {
  int value = 0;
  return dlg.ReadOption(name, &value) && value != 0 ? 1 : 0;
}

void HideToTrayPerColumn(CToggraDlg& dlg) {
  for (int i = 0; i < dlg.m_switchCount; ++i) CSystemTray::HideToTray(*dlg.m_services.trayShell);
}

}  // namespace

bool CToggraDlg::OnInitDialog() {
  IDialogHost& host = *m_services.host;
  host.AddSystemMenuItem(kSysAbout, kStrAbout, true);
  if (m_logging) host.AddSystemMenuItem(kSysLog, kStrLogfile, false);
  host.AddSystemMenuItem(kSysExit, kStrExit, true);
  host.SetIcon(m_hIcon);
  UpdateTitle();

  // Display options follow the registry only for a start without arguments;
  // a scripted start always gets the plain two-row display.
  if (m_noArguments) {
    m_oneLine = ReadFlagOption(*this, kOptionOneLine);
    m_pushButton = ReadFlagOption(*this, kOptionPushButton);
    m_arrow = ReadFlagOption(*this, kOptionArrow);
  }
  std::string protocol;
  if (!ReadProtocolOption(&protocol)) protocol.clear();
  m_protocolFile = protocol;

  m_device = m_services.createDevice();
  CDeviceSettings settings(*m_services.registry, *m_services.settingsRoot, m_services.prompts);
  for (int i = 0; i < kMaxColumns; ++i) {
    m_records[i].m_timeButton = m_timeButtons[i];
    m_records[i].m_startButton = m_startButtons[i];
  }

  Discover(settings);
  for (int i = m_switchCount; i < kMaxColumns; ++i) {
    m_records[i].m_devNo = -1;
    m_records[i].m_tray.reset();
  }
  // What the back-ends reported (a device present but not openable, say).
  for (const std::string& message : TakeDeviceErrors()) AppendLog(message + "\r\n");
  // Written before the groups are counted, so it shows a group count of 0.
  AppendLog(Format(kStartLogLine, m_switchCount, m_trafficLight, m_groupMode, m_groupCount,
                   m_groupStride, m_groupSize, m_exclusive));
  m_timerId = kTickTimerId;

  int k = m_switchCount;
  if (m_groupMode) {
    const int channelsPerGroup = m_groupStride * m_groupSize;
    if (m_switchCount > 0 && channelsPerGroup > 0)
      m_groupCount += (m_switchCount + channelsPerGroup - 1) / channelsPerGroup;
    k = m_groupSize;
  }
  LayoutWith(*this, settings, k);

  int onTray = 0;
  if (ReadOption(kOptionOnTray, &onTray) && onTray != 0 && m_trayMode) HideToTrayPerColumn(*this);
  // Waiting for devices (m_waitForDevices), there is nothing to write yet.
  if (!m_simulation && m_switchCount > 0) SaveState();
  m_columnsLaidOut = true;
  for (IColumnObserver* o : std::vector<IColumnObserver*>(m_observers)) o->OnColumnsReset(*this);
  return true;
}

void CToggraDlg::UpdateTitle() {
  std::string title = kTitleToggra;
  if (m_groupMode) {
    title = kTitleGroup;
  } else if (m_trafficLight) {
    title = kTitleTrafficLight;
  }
  if (!m_stateFile.empty() && !m_stateFileOk) title += kTitleStateFileWarning;
  m_services.host->SetTitle(title);
}

// With tray icons Enter must not end the program by accident: it can only be
// ended through "Beenden" then.
void CToggraDlg::OnOK() {
  if (!m_trayMode) EndDialog(IDOK);
}

void CToggraDlg::OnCancel() {
  if (!m_trayMode) {
    EndDialog(IDCANCEL);
    return;
  }
  WriteOption(kOptionOnTray, 1);
  HideToTrayPerColumn(*this);
}

}  // namespace toggra

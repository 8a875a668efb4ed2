// Device discovery: which devices and channels become columns, and what each
// column's record holds when the window opens.
#include <algorithm>
#include <cstdint>
#include <string>

#include "app/Format.h"
#include "app/StartUpSteps.h"
#include "device/Backend.h"
#include "settings/Captions.h"
#include "trafficlight/ColumnSteps.h"

namespace toggra {

namespace {

IconId IconForState(const CToggraDlg& dlg, int state) {
  if (state == kStateOn) return dlg.m_iconGreen;
  if (state == kStateYellow) return dlg.m_iconYellow;
  return dlg.m_iconRed;
}

DeviceClass Classify(CToggraDlg& dlg, int d) {
  DeviceClass dc;
  if (dlg.m_simulation) {
    dc = {true, kSimulatedType, 1, false};
  } else {
    dc = ClassifyDevice(*dlg.m_device, d);
    if (!dc.usable) return {};
  }
  if (dlg.m_trafficLight && !dlg.m_simulation && !dc.trafficLight) return {};
  if (dlg.m_groupMode) {
    if (dlg.m_simulation) {
      dc.channels = 8;
    } else if (dc.channels != 8) {
      return {};
    }
  }
  if (dc.channels < 1) return {};
  return dc;
}

// A start number below zero was not given: the stored duration applies.
int StartDuration(const CToggraDlg& dlg, int number, CDeviceSettings& settings,
                  const std::string& valueName) {
  if (number >= 0) return dlg.m_groupMode ? 0 : std::min(number, column::kMaxDurationSeconds);
  int stored = 0;
  if (!settings.ReadDword(valueName, &stored)) stored = 0;
  return std::min(stored, column::kMaxDurationSeconds);
}

// Fills record m_switchCount for channel c of device d. Returns false when the
// channel cannot be read; the record is then free for the next channel.
bool SetUpColumn(CToggraDlg& dlg, CDeviceSettings& settings, int d, const DeviceClass& dc,
                 const ChannelRow& row) {
  const int i = dlg.m_switchCount;
  SwitchRecord& r = dlg.m_records[i];
  const bool sim = dlg.m_simulation != 0;
  r.m_usbType = dc.type;
  r.m_switchId = row.switchId;
  r.m_keyType = row.keyType == kDeviceTypeKey ? dc.type : row.keyType;
  if (sim) {
    r.m_version = kSimulatedVersion;
    r.m_serial = kSimulatedSerial;
    r.m_inverted = 0;
  } else {
    r.m_version = dlg.m_device->GetVersion(d);
    r.m_serial = dlg.m_device->GetSerialNumber(d);
    r.m_inverted = dlg.m_device->IsCutter(d) == 1 || dlg.m_device->IsCutter(d) == 17;
  }
  auto name = [&](const char* entry) {
    return CDeviceSettings::ValueName(r.m_keyType, r.m_version, r.m_serial, entry);
  };

  r.m_timer = StartDuration(dlg, dlg.m_colour1, settings, name(kEntryTimer));
  r.m_timer2 = StartDuration(dlg, dlg.m_colour2, settings, name(kEntryTimer2));
  int total = 0;
  // The sum is taken in 64 bits: two large start numbers must not wrap round
  // and let any stored total through.
  const int64_t phases = static_cast<int64_t>(r.m_timer) + r.m_timer2;
  const bool stored = settings.ReadDword(name(kEntryTimerT), &total);
  total = std::min(total, column::kMaxDurationSeconds);
  r.m_timerT = stored && total > phases ? total : 0;
  if (dlg.m_colour1 >= 0 && dlg.m_colour2 >= 0 && !dlg.m_groupMode) {
    dlg.EnableWindow(kIdTimeButton + i, false);
    dlg.EnableWindow(kIdStartButton + i, false);
  }
  if (!settings.ReadString(name(kEntryCandidate), &r.m_candidate)) r.m_candidate.clear();
  r.m_countdown = r.m_countdown2 = r.m_countdownT = 0;
  r.m_commandTime = 0;
  r.m_devNo = d;
  r.m_tray.reset();

  if (dlg.m_trafficLight) {
    dlg.ApplyStartColour(i);
  } else {
    r.m_state = sim ? kStateOff : dlg.m_device->GetSwitch(d, r.m_switchId);
  }
  if (r.m_state < 0) {
    dlg.m_services.prompts->MessageBox(kStrUnreachable, kStrError, true);
    return false;
  }

  std::string tipName;
  if (!ReadCaption(settings, name(kEntryDevId),
                   sim ? std::string() : StableChannelId(*dlg.m_device, d, r.m_switchId), &tipName)) {
    tipName = sim ? kStrSimulation
                  : Format("%d%s", dlg.m_device->GetSerialNumber(d), row.suffix);
  }
  // The re-send brings the channel in line with what the window shows. A
  // simulation may stand in for an attached device that was not usable (a
  // 4-channel device in group mode, say); that device must not be switched.
  if (!dlg.m_trafficLight && !sim) dlg.m_device->SetSwitch(d, r.m_switchId, r.m_state);
  if (dlg.m_trayMode) {
    r.m_tray = std::make_unique<CSystemTray>(*dlg.m_services.trayShell);
    const int trayId = (dlg.m_trafficLight ? kTrayIdTrafficLight : kTrayIdSwitch) + i;
    r.m_tray->Install(&dlg, kMsgTrayCallback + i, Format(kStrTrayTip, tipName.c_str()),
                      IconForState(dlg, r.m_state), trayId, false, "", "", 0, 10);
  }
  if (dlg.m_oneLine && dlg.m_pushButton) {
    dlg.ShowWindow(kIdTimeButton + i, false);
    dlg.ShowWindow(kIdStartButton + i, false);
  }
  ++dlg.m_switchCount;
  return true;
}

}  // namespace

const ChannelRow* ChannelRowOf(int switchId) {
  for (const ChannelRow& row : kChannelTable)
    if (row.switchId == switchId) return &row;
  return nullptr;
}

void CToggraDlg::DiscoverRange(CDeviceSettings& settings, int first, int end) {
  for (int d = first; d < end && m_switchCount < kMaxColumns; ++d) {
    const DeviceClass dc = Classify(*this, d);
    if (!dc.usable) continue;
    // The channel table ends at channel 8: further channels get no column.
    const int channels = std::min(dc.channels, static_cast<int>(kChannelTable.size()));
    for (int c = 1; c <= channels && m_switchCount < kMaxColumns; ++c) {
      const bool added = SetUpColumn(*this, settings, d, dc, kChannelTable[c - 1]);
      if (added && m_trafficLight) break;  // one column per traffic light
    }
  }
}

bool CToggraDlg::AnyUsable(int first, int end) {
  for (int d = first; d < end; ++d)
    if (Classify(*this, d).usable) return true;
  return false;
}

void CToggraDlg::Discover(CDeviceSettings& settings) {
  for (;;) {
    int n = m_device->OpenArvendal();
    if (m_simulation) n = 1;  // device 0 is the simulated one
    DiscoverRange(settings, 0, n);
    if (m_simulation || m_switchCount > 0) return;
    // A front-end that waits for its devices takes no simulation instead.
    if (m_waitForDevices) {
      m_waitForDevices();
      return;
    }
    NoDeviceHandling(settings);  // always leaves m_simulation set
  }
}

}  // namespace toggra

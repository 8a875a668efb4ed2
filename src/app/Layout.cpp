// Captions, duration texts and the window's size and rows for the shown
// columns.
#include <string>

#include "app/Format.h"
#include "app/StartUpSteps.h"
#include "device/DeviceRegistry.h"
#include "settings/Captions.h"

namespace toggra {

namespace {

// Outer height as a share of the column frame's height, in percent.
constexpr int kHeightOneLinePushButton = 45;
constexpr int kHeightOneLine = 50;
constexpr int kHeightGroup = 82;
constexpr int kHeightTwoRows = 78;
// Added to the outer height once the width is settled.
constexpr int kExtraHeight = 3;

// The window rectangle of a control as read while the dialog stands at the
// screen origin: its offset from the outer window's top-left corner.
Rect WindowRect(CToggraDlg& dlg, int id) {
  const Rect r = dlg.Control(id).rect;
  const Point o = dlg.m_services.host->ClientOrigin();
  return {r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
}

void MoveTo(CToggraDlg& dlg, int id, int x, int y) {
  const Rect r = dlg.Control(id).rect;
  dlg.MoveWindow(id, {x, y, x + r.Width(), y + r.Height()});
}

void PlaceControls(CToggraDlg& dlg) {
  IDialogHost& host = *dlg.m_services.host;
  for (const auto& [id, control] : dlg.Controls()) {
    const Rect r = host.MapDialogRect(control.templateRect);
    dlg.MoveWindow(id, r);
  }
}

void CaptionAndDuration(CToggraDlg& dlg, CDeviceSettings& settings, int i) {
  dlg.SetWindowText(kIdGroupBox + i, CaptionWith(dlg, settings, i));
  const SwitchRecord& r = dlg.m_records[i];
  if (r.m_timerT > 0) {
    dlg.SetWindowText(kIdTimeButton + i, FormatDuration(r.m_timerT));
  } else if (r.m_timer > 0) {
    dlg.SetWindowText(kIdTimeButton + i, FormatDuration(r.m_timer));
  }
}

void SizeWindow(CToggraDlg& dlg, int k, bool again) {
  IDialogHost& host = *dlg.m_services.host;
  const Rect box = WindowRect(dlg, kIdGroupBox);
  const int h = box.Height();
  int height;
  if (dlg.m_oneLine && dlg.m_pushButton) {
    height = h * kHeightOneLinePushButton / 100;
  } else if (dlg.m_oneLine) {
    height = h * kHeightOneLine / 100;
  } else if (dlg.m_groupMode) {
    height = h * kHeightGroup / 100;
  } else if (!dlg.m_trafficLight) {
    height = h * kHeightTwoRows / 100;
  } else {
    // The present height, as the first layout left it.
    height = host.OuterSize().cy - (again ? kExtraHeight : 0);
  }
  const int width = box.Width() * k;
  host.SetOuterSize(width, height);
  // The frame's width is known only from the client width of the real window.
  const int clientWidth = host.ClientWidth();
  host.SetOuterSize(2 * width - clientWidth, height + kExtraHeight);
}

// Red, yellow, green from the top: the green row moves up into the third
// row's place and the yellow row into the second's.
void ArrangeTrafficLightRows(CToggraDlg& dlg) {
  const Rect a = WindowRect(dlg, kIdThirdButton);
  const Rect b = WindowRect(dlg, kIdLowerButton);
  const int yGreen = a.top - a.Height() / 3;
  const int yYellow = b.top - b.Height() / 3;
  for (int i = 0; i < dlg.m_switchCount; ++i) {
    const Rect e = WindowRect(dlg, kIdLowerButton + i);
    const int x = e.left - e.Width() / 20;
    MoveTo(dlg, kIdLowerButton + i, x, yGreen);
    MoveTo(dlg, kIdThirdButton + i, x, yYellow);
  }
}

}  // namespace

std::string StableChannelId(CPivlink& lib, int device, int switchId) {
  auto* composite = dynamic_cast<CCompositePivlink*>(&lib);
  if (!composite || device < 0 || switchId < kFirstSwitchId) return {};
  return composite->ChannelId(device, switchId - kFirstSwitchId);
}

std::string CaptionWith(CToggraDlg& dlg, CDeviceSettings& settings, int i) {
  const SwitchRecord& r = dlg.m_records[i];
  const bool sim = dlg.m_simulation != 0;
  CPivlink& lib = *dlg.m_device;
  int keyType = lib.GetUSBType(r.m_devNo);
  // In simulation there is no device behind the answer; the simulated type
  // keeps the caption under the same name as the tray tooltip.
  if (sim) keyType = kSimulatedType;
  const ChannelRow* row = ChannelRowOf(r.m_switchId);
  if (row && row->keyType != kDeviceTypeKey) keyType = row->keyType;
  const int version = sim ? kSimulatedVersion : lib.GetVersion(r.m_devNo);
  const int serial = sim ? kSimulatedSerial : lib.GetSerialNumber(r.m_devNo);
  std::string devId;
  const bool hasDevId =
      ReadCaption(settings, CDeviceSettings::ValueName(keyType, version, serial, kEntryDevId),
                  sim ? std::string() : StableChannelId(lib, r.m_devNo, r.m_switchId), &devId);

  if (!r.m_candidate.empty()) return r.m_candidate;
  if (dlg.m_nameList && static_cast<int>(dlg.m_nameList->size()) > i)
    return (*dlg.m_nameList)[i];
  if (hasDevId) return devId;
  if (sim) return kStrSimulation;
  return Format("%d%s", lib.GetSerialNumber(r.m_devNo), row ? row->suffix : "");
}

void LayoutWith(CToggraDlg& dlg, CDeviceSettings& settings, int k, bool again) {
  PlaceControls(dlg);
  for (int i = 0; i < k; ++i) CaptionAndDuration(dlg, settings, i);
  SizeWindow(dlg, k, again);
  if (dlg.m_trafficLight) {
    ArrangeTrafficLightRows(dlg);
  } else if (dlg.m_groupMode) {
    for (int i = 0; i < k; ++i) {
      dlg.ShowWindow(kIdStartButton + i, false);
      dlg.ShowWindow(kIdTimeButton + i, false);
    }
  } else {
    for (int i = 0; i < dlg.m_switchCount; ++i) dlg.ShowWindow(kIdStartButton + i, false);
  }
}

}  // namespace toggra

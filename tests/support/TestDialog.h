// A main dialog wired to fakes of every platform service.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "support/FakeHost.h"
#include "support/FakePivlink.h"
#include "support/FakePrompts.h"
#include "support/FakeTrayShell.h"
#include "support/ManualClock.h"
#include "support/MemoryFiles.h"
#include "support/MemoryRegistry.h"

namespace toggra::test {

class TestDialog {
 public:
  FakeHost host;
  FakePrompts prompts;
  ManualClock clock;
  MemoryRegistry registry;
  DeviceSettingsRoot settingsRoot;
  MemoryFiles files;
  FakeTrayShell tray;
  // The library the dialog will create; stays valid while the dialog lives.
  FakePivlink* device = nullptr;

  TestDialog() {
    auto dev = std::make_unique<FakePivlink>();
    device = dev.get();
    m_pending = std::move(dev);
  }

  // The fakes as a dialog's services, with the given library factory.
  DlgServices Services(std::function<std::unique_ptr<CPivlink>()> createDevice) {
    DlgServices s = CServiceBuilder(CServiceBuilder::Kind::Desktop)
                        .Host(host)
                        .Prompts(prompts)
                        .Clock(clock)
                        .Registry(registry)
                        .SettingsRoot(settingsRoot)
                        .Files(files)
                        .TrayShell(tray)
                        .Devices(std::move(createDevice))
                        .Build();
    return s;
  }

  // Builds the dialog (not yet initialised). Set flags on it before OnInitDialog.
  CToggraDlg& Dialog() {
    if (!m_dlg)
      m_dlg = std::make_unique<CToggraDlg>(Services([this] { return std::move(m_pending); }));
    return *m_dlg;
  }

  // Gives the dialog its device object without running the start-up, and adds
  // a column on it: for tests of the operations that run after start-up.
  SwitchRecord& AddColumn(int devNo, int switchId, int state = 0) {
    CToggraDlg& d = Dialog();
    if (!d.m_device) d.m_device = std::move(m_pending);
    const int i = d.m_switchCount++;
    SwitchRecord& r = d.m_records[i];
    r.m_devNo = devNo;
    r.m_switchId = switchId;
    r.m_state = state;
    r.m_timeButton = d.m_timeButtons[i];
    r.m_startButton = d.m_startButtons[i];
    r.m_usbType = 8;
    return r;
  }

  // Gives column i a tray icon, as start-up does in tray mode.
  void AddTray(int i, IconId icon = kIconRed) {
    CToggraDlg& d = Dialog();
    d.m_records[i].m_tray = std::make_unique<CSystemTray>(tray);
    d.m_records[i].m_tray->Install(&d, kMsgTrayCallback + i, "Schalter x", icon,
                                   (d.m_trafficLight ? kTrayIdTrafficLight : kTrayIdSwitch) + i,
                                   false, "", "", 0, 10);
  }

  // The states of the columns in use, in column order.
  std::vector<int> States() const {
    std::vector<int> s;
    for (int i = 0; i < m_dlg->m_switchCount; ++i) s.push_back(m_dlg->m_records[i].m_state);
    return s;
  }

  void Destroy() { m_dlg.reset(); }

 private:
  std::unique_ptr<FakePivlink> m_pending;
  std::unique_ptr<CToggraDlg> m_dlg;
};

}  // namespace toggra::test

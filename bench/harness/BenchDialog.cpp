#include "bench/harness/BenchDialog.h"

#include "app/Composition.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/Format.h"
#include "device/BenchFile.h"

namespace toggra::bench {

namespace {

constexpr int kBaseX = 6, kBaseY = 13;  // dialog units to pixels, as an 8-point font

class CNullKey : public IRegKey {
 public:
  long QueryValue(const std::string&, uint32_t*, void*, uint32_t*) override {
    return ERROR_FILE_NOT_FOUND;
  }
  long SetValue(const std::string&, uint32_t, const void*, uint32_t) override {
    return ERROR_SUCCESS;
  }
};

// Lamp readings (red, yellow, green) of each traffic-light state.
constexpr std::array<std::array<int, 3>, 4> kLampsOfState{{
    {1, 0, 0},  // red
    {0, 0, 1},  // green
    {0, 1, 0},  // yellow
    {0, 0, 0},  // dark
}};
constexpr int kLightStates[] = {kStateOff, kStateOn, kStateYellow, kStateDark, kStateOff};

// Every third channel is on.
int PlainState(int channel) { return channel % 3 == 0 ? kStateOn : kStateOff; }

}  // namespace

Rect CNullHost::MapDialogRect(const DlgRect& r) {
  const int l = r.x * kBaseX / 4, t = r.y * kBaseY / 8;
  return {l, t, l + r.cx * kBaseX / 4, t + r.cy * kBaseY / 8};
}

long CNullRegistry::OpenKey(RegRoot, const std::string&, RegAccess,
                            std::unique_ptr<IRegKey>* key) {
  *key = std::make_unique<CNullKey>();
  return ERROR_SUCCESS;
}

long CNullRegistry::CreateKey(RegRoot root, const std::string& path, RegAccess access,
                              std::unique_ptr<IRegKey>* key) {
  return OpenKey(root, path, access, key);
}

bool CNullTrayShell::NotifyIcon(int message, const NotifyIconData& data) {
  if (message == NIM_MODIFY && (data.uFlags & NIF_ICON)) ++iconChanges;
  return true;
}

int CMemoryPivlink::GetSwitchConfig(int d, int* switchCount, int* buttonAvailable) {
  if (!Valid(d)) return 0;
  *switchCount = m_devices[d].switches;
  *buttonAvailable = 0;
  return 1;
}

int CMemoryPivlink::GetSwitch(int d, int switchId) {
  ++readings;
  if (!Valid(d) || !ValidId(m_devices[d], switchId)) return -1;
  return m_devices[d].state[switchId - kFirstSwitchId];
}

int CMemoryPivlink::SetSwitch(int d, int switchId, int on) {
  if (!Valid(d) || !ValidId(m_devices[d], switchId)) return 0;
  m_devices[d].state[switchId - kFirstSwitchId] = on;
  return 1;
}

int CMemoryPivlink::GetMultiSwitch(int d, unsigned long*, unsigned long* value, int) {
  ++readings;
  if (!Valid(d) || !value) return -1;
  unsigned long bits = 0;
  for (int n = 0; n < m_devices[d].switches; ++n)
    if (m_devices[d].state[n] == 1) bits |= 1ul << n;
  *value = bits;
  return 0;
}

std::string BenchText(const std::vector<DeviceSpec>& devices) {
  std::string text;
  for (const DeviceSpec& dev : devices) {
    text += Format("[device]\ntype = %d\nswitches = %d\ntraffic_light = %d\nstate =", dev.type,
                   dev.switches, dev.trafficLight);
    for (int n = 0; n < dev.switches; ++n) text += Format(" %d", dev.state[n]);
    text += "\n\n";
  }
  return text;
}

TempFolder::TempFolder() {
  std::string templ =
      (std::filesystem::temp_directory_path() / "toggra-benchmark-XXXXXX").string();
  if (!::mkdtemp(templ.data())) std::abort();
  m_path = templ;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

bool WriteBench(const std::string& path, const std::vector<DeviceSpec>& devices) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << BenchText(devices);
  out.close();
  return static_cast<bool>(out);
}

void WaitUntilSettled() {
  std::this_thread::sleep_for(BenchFile::kSettle + std::chrono::milliseconds(100));
}

BenchDialog::BenchDialog(std::unique_ptr<CPivlink> device, IDialogHost* window)
    : m_pending(std::move(device)) {
  DlgServices s = CServiceBuilder(CServiceBuilder::Kind::Desktop)
                      .Host(window ? *window : host)
                      .Prompts(prompts)
                      .Clock(clock)
                      .Registry(registry)
                      .SettingsRoot(settingsRoot)
                      .Files(files)
                      .TrayShell(tray)
                      .Devices([this] { return std::move(m_pending); })
                      .Build();
  m_dlg = std::make_unique<CToggraDlg>(s);
}

BenchDialog::~BenchDialog() {
  // The dialog's teardown resets every column's device; on a bench file shared
  // by several benchmarks that would be a change, and the next benchmark would
  // find the file's stamp untrusted again.
  m_dlg->m_device.reset();
  m_dlg.reset();
}

void BenchDialog::AddColumn(int devNo, int switchId, int usbType, int state) {
  CToggraDlg& d = *m_dlg;
  if (!d.m_device) d.m_device = std::move(m_pending);
  const int i = d.m_switchCount++;
  SwitchRecord& r = d.m_records[i];
  r.m_devNo = devNo;
  r.m_switchId = switchId;
  r.m_usbType = usbType;
  r.m_state = state;
  r.m_timeButton = d.m_timeButtons[i];
  r.m_startButton = d.m_startButtons[i];
  r.m_tray = std::make_unique<CSystemTray>(tray);
  r.m_tray->Install(&d, kMsgTrayCallback + i, "Schalter", kIconRed,
                    (d.m_trafficLight ? kTrayIdTrafficLight : kTrayIdSwitch) + i, false, "", "",
                    0, 10);
}

std::vector<DeviceSpec> DevicesOf(Layout layout) {
  std::vector<DeviceSpec> devices;
  switch (layout) {
    case Layout::Plain16:
      for (int d = 0; d < 2; ++d) {
        DeviceSpec dev{8, 8, 0, {}};
        for (int n = 0; n < 8; ++n) dev.state[n] = PlainState(8 * d + n);
        devices.push_back(dev);
      }
      break;
    case Layout::Multi16: {
      DeviceSpec dev{40, 16, 0, {}};
      for (int n = 0; n < 16; ++n) dev.state[n] = PlainState(n);
      devices.push_back(dev);
      break;
    }
    case Layout::Lights5:
      for (int state : kLightStates) {
        DeviceSpec dev{8, 3, 1, {}};
        for (int lamp = 0; lamp < 3; ++lamp) dev.state[lamp] = kLampsOfState[state][lamp];
        devices.push_back(dev);
      }
      break;
  }
  return devices;
}

void AddColumns(BenchDialog& bench, Layout layout) {
  switch (layout) {
    case Layout::Plain16:
      for (int i = 0; i < 16; ++i)
        bench.AddColumn(i / 8, kFirstSwitchId + i % 8, 8, PlainState(i));
      break;
    case Layout::Multi16:
      for (int i = 0; i < 16; ++i) bench.AddColumn(0, kFirstSwitchId + i, 40, PlainState(i));
      break;
    case Layout::Lights5:
      bench.Dlg().m_trafficLight = 1;
      for (int d = 0; d < 5; ++d) bench.AddColumn(d, kFirstSwitchId, 8, kLightStates[d]);
      break;
  }
}

}  // namespace toggra::bench

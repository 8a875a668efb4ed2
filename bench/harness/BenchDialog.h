// A main dialog for the benchmarks: quiet stand-ins for the window, the
// prompts, the tray and the registry, a clock that stands still long after
// every command, and a device that is either the simulated hardware set on a
// bench file or a set held in memory. The stand-ins record nothing but counts,
// so what a benchmark measures is the program's own work.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/ToggraDlg.h"
#include "trafficlight/PosixFileService.h"

namespace toggra::bench {

class CNullHost : public IDialogHost {
 public:
  int invalidations = 0;  // owner-drawn buttons and whole-dialog requests
  int controlChanges = 0;

  void ControlChanged(const CControl&) override { ++controlChanges; }
  void InvalidateControl(int) override { ++invalidations; }
  void InvalidateAll() override { ++invalidations; }
  void SetTitle(const std::string&) override {}
  void SetIcon(IconId) override {}
  void AddSystemMenuItem(int, const std::string&, bool) override {}
  void EndDialog(int) override {}
  void PostMessage(int, uintptr_t, intptr_t) override {}
  void SetFocus(int) override {}
  Rect MapDialogRect(const DlgRect& r) override;
  Point ClientOrigin() override { return {0, 0}; }
  Size OuterSize() override { return m_outer; }
  void SetOuterSize(int cx, int cy) override { m_outer = {cx, cy}; }
  int ClientWidth() override { return m_outer.cx; }

 private:
  Size m_outer{960, 300};
};

// Every dialog is cancelled, every message box acknowledged.
class CNullPrompts : public IPrompts {
 public:
  int RunStartError(CStartError&) override { return IDCANCEL; }
  int RunDeviceError(CDeviceError&) override { return IDCANCEL; }
  int RunTimerDlg(CToggraTimerDlg&) override { return IDCANCEL; }
  int RunAboutDlg(CAboutDlg&) override { return IDCANCEL; }
  int RunLogDlg(CLogDlg&) override { return IDCANCEL; }
  int MessageBox(const std::string&, const std::string&, bool) override { return IDOK; }
};

// Time stands still far past the quiet period of every command; sleeps (the
// first semaphore wait, the state file's retries) return at once.
class CStillClock : public IClock {
 public:
  int64_t Time64() override { return m_now; }
  void Sleep(int) override {}

 private:
  int64_t m_now = 1'700'000'000;
};

// Nothing is stored and every write is forgotten: start-up finds no setting.
class CNullRegistry : public IRegistry {
 public:
  long OpenKey(RegRoot, const std::string&, RegAccess, std::unique_ptr<IRegKey>* key) override;
  long CreateKey(RegRoot, const std::string&, RegAccess, std::unique_ptr<IRegKey>* key) override;
};

class CNullTrayShell : public ITrayShell {
 public:
  int iconChanges = 0;

  bool NotifyIcon(int message, const NotifyIconData&) override;
  int TrackPopupMenu(int, const std::vector<TrayMenuItem>&, int) override { return 0; }
  void SetForegroundWindow() override {}
  void HideToTray() override {}
  void ShowFromTray() override {}
};

// One device of a set, in memory or written to a bench file.
struct DeviceSpec {
  int type = 8;
  int switches = 1;
  int trafficLight = 0;
  std::array<int, 16> state{};  // what ids 16, 17, ... read
};

// A device library over devices held in memory, counting its readings.
class CMemoryPivlink : public CPivlink {
 public:
  explicit CMemoryPivlink(std::vector<DeviceSpec> devices) : m_devices(std::move(devices)) {}

  int readings = 0;  // GetSwitch and GetMultiSwitch calls

  int OpenArvendal() override { return static_cast<int>(m_devices.size()); }
  int GetUSBType(int d) override { return Valid(d) ? m_devices[d].type : 0; }
  int GetSwitchConfig(int d, int* switchCount, int* buttonAvailable) override;
  int GetOnlineOnCount(int) override { return 0; }
  int IsAmpel(int d) override { return Valid(d) ? m_devices[d].trafficLight : 0; }
  int GetVersion(int) override { return 1; }
  int GetSerialNumber(int d) override { return 1000 + d; }
  int IsCutter(int) override { return 0; }
  int GetSwitch(int d, int switchId) override;
  int SetSwitch(int d, int switchId, int on) override;
  int GetMultiSwitch(int d, unsigned long* mask, unsigned long* value, int seq) override;
  int ResetDevice(int) override { return 1; }

 private:
  bool Valid(int d) const { return d >= 0 && d < static_cast<int>(m_devices.size()); }
  static bool ValidId(const DeviceSpec& dev, int switchId) {
    return switchId >= kFirstSwitchId && switchId < kFirstSwitchId + dev.switches;
  }
  std::vector<DeviceSpec> m_devices;
};

// The bench-file text of a device set.
std::string BenchText(const std::vector<DeviceSpec>& devices);

// A folder of its own under the temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Writes a bench file; false when it cannot be written.
bool WriteBench(const std::string& path, const std::vector<DeviceSpec>& devices);
// Waits until the stamps of the bench files just written are trusted, as a
// bench file's is between two commands.
void WaitUntilSettled();

class BenchDialog {
 public:
  // The dialog will work on `device`, in the window `window` when one is given
  // (else in the quiet stand-in `host`).
  explicit BenchDialog(std::unique_ptr<CPivlink> device, IDialogHost* window = nullptr);
  ~BenchDialog();
  BenchDialog(const BenchDialog&) = delete;
  BenchDialog& operator=(const BenchDialog&) = delete;

  CToggraDlg& Dlg() { return *m_dlg; }
  // Gives the next column to channel `switchId` of device `devNo` with its
  // tray icon, as start-up does, without running the start-up.
  void AddColumn(int devNo, int switchId, int usbType, int state);

  CNullHost host;
  CNullPrompts prompts;
  CStillClock clock;
  CNullRegistry registry;
  DeviceSettingsRoot settingsRoot;
  CPosixFileService files;
  CNullTrayShell tray;

 private:
  std::unique_ptr<CPivlink> m_pending;
  std::unique_ptr<CToggraDlg> m_dlg;
};

// The column layouts the tick is measured with.
enum class Layout {
  Plain16,  // two 8-channel devices: one GetSwitch per column
  Multi16,  // one type-40 device with 16 channels: one GetMultiSwitch per tick
  Lights5,  // five traffic lights: three GetSwitch per column
};

std::vector<DeviceSpec> DevicesOf(Layout layout);
// Adds the layout's columns, each in the state its device reports, so that
// the tick finds nothing to change.
void AddColumns(BenchDialog& bench, Layout layout);

}  // namespace toggra::bench

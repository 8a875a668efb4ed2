// The main dialog: owner of all run-time state. Its operations are spread over
// the subsystem folders, one file per operation group:
//   app/          construction, start-up, discovery, layout, teardown
//   switching/    SwitchGreen/Red/Yellow/Dark, command routing
//   trafficlight/ PollColumn, TimerTick and the countdown, protocol/state files
//   settings/     the application options
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Clock.h"
#include "app/ColumnObserver.h"
#include "app/CommandTarget.h"
#include "app/Controls.h"
#include "app/DialogHost.h"
#include "app/Ids.h"
#include "app/Prompts.h"
#include "device/Pivlink.h"
#include "settings/DeviceSettings.h"
#include "settings/Registry.h"
#include "trafficlight/FileService.h"
#include "trafficlight/ProtocolFallback.h"
#include "ui/SystemTray.h"
#include "ui/TrayShell.h"

namespace toggra {

// The platform services the dialog works through, passed in at construction.
// They are assembled by CServiceBuilder (app/Composition.h), the one place
// that wires them for every front-end, the tests and the benchmarks.
struct DlgServices {
  IDialogHost* host = nullptr;
  IPrompts* prompts = nullptr;
  IClock* clock = nullptr;
  IRegistry* registry = nullptr;
  DeviceSettingsRoot* settingsRoot = nullptr;
  IFileService* files = nullptr;
  IProtocolFallback* protocolFallback = nullptr;  // keeps lines the protocol file refused
  ITrayShell* trayShell = nullptr;
  std::function<std::unique_ptr<CPivlink>()> createDevice;  // CreatePivlink by default
  IEventQueue* events = nullptr;  // work posted from other threads; may be null
};

// Where a column's new state came from. The state file mirrors the states the
// program itself set or read back from its devices; a state taken from the
// state file is not written back, so that instances sharing the file in the
// group layout do not echo each other.
enum class StateSource { Command, ReadBack, StateFile };

struct SwitchRecord {
  int m_devNo = -1;
  int m_switchId = 0;
  std::unique_ptr<CSystemTray> m_tray;
  int m_state = 0;
  int m_countdown = 0;
  int m_timer = 0;
  int m_countdown2 = 0;
  int m_timer2 = 0;
  int m_countdownT = 0;
  int m_timerT = 0;
  int32_t m_commandTime = 0;  // low 32 bits of _time64
  CControl* m_timeButton = nullptr;
  CControl* m_startButton = nullptr;
  int m_keyType = 0;
  int m_usbType = 0;
  int m_serial = 0;
  int m_version = 0;
  int m_inverted = 0;
  std::string m_candidate;
};

// What PollColumn tells the tick.
struct PollResult {
  bool changed = false;  // the column's buttons must be redrawn
  bool stopped = false;  // a timed switch-on was cut short: run EndOfRun
};

class CToggraDlg : public ICommandTarget {
 public:
  explicit CToggraDlg(const DlgServices& services);
  ~CToggraDlg() override;  // teardown
  CToggraDlg(const CToggraDlg&) = delete;
  CToggraDlg& operator=(const CToggraDlg&) = delete;

  // ---- start-up, layout, ending (app/) ----
  bool OnInitDialog();
  void OnOK();      // Enter
  void OnCancel();  // Escape, the close box
  // The base class's end-dialog operation: ends the modal loop with `result`.
  void EndDialog(int result);
  void UpdateTitle();

  // ---- switch operations (switching/) ----
  void SwitchGreen(int i);
  void SwitchRed(int i);
  void SwitchYellow(int i);
  void SwitchDark(int i);

  // ---- routing (switching/) ----
  void OnCommand(int id) override;  // WM_COMMAND
  // Messages 0x8001 + i (tray callbacks) and 0x8011 + i (start/stop).
  intptr_t OnMessage(int msg, uintptr_t wParam, intptr_t lParam);
  // WM_KEYDOWN in the pre-translation: posts the start/stop message of the
  // key's column, if it has one. The key keeps its normal effect.
  void PreTranslateKeyDown(int virtualKey);
  void OnSysCommand(int nID);
  // The push-button entry of an upper-row button (ODA_SELECT of WM_DRAWITEM).
  void OnDrawItemSelect(int id, bool hasFocus, bool selected);

  // ---- colour control, countdown, files (trafficlight/) ----
  PollResult PollColumn(int i);
  void ApplyStartColour(int i);
  void TimerTick();
  void StartStop(int i);
  void EditDurations(int i);
  void EndOfRun(int i);
  void WriteProtocol(int i);
  void SaveState();
  void ReadState();

  // ---- application options (settings/) ----
  bool ReadOption(const char* name, int* value);  // "OneLine", "PushButton", ...
  bool ReadProtocolOption(std::string* value);
  void WriteOption(const char* name, int value);
  void WriteProtocolOption(const std::string& value);

  // ---- controls ----
  CControl& Control(int id);
  const CControl* FindControl(int id) const;
  const std::map<int, CControl>& Controls() const { return m_controls; }
  void SetWindowText(int id, const std::string& text);
  void EnableWindow(int id, bool enable);
  void ShowWindow(int id, bool show);
  void SetButtonState(int id, bool pressed);  // BM_SETSTATE
  void MoveWindow(int id, const Rect& rect);
  void InvalidateAll();                        // InvalidateRect(NULL, TRUE)
  void InvalidateControl(int id);

  // ---- the one path of column changes ----
  // Sets column i's m_state. A change is told to the observers once and, for
  // a column the state file mirrors, marks the file for rewriting (see
  // StateSource). The callers keep their own tray lamp and redraw steps.
  void SetColumnState(int i, int state, StateSource source = StateSource::Command);
  // Rewrites the state file when a mirrored state changed since it was last
  // written; the tick and the operations without their own write call it.
  void FlushStateMirror();
  void AddObserver(IColumnObserver* observer);
  void RemoveObserver(IColumnObserver* observer);
  bool ColumnsLaidOut() const { return m_columnsLaidOut; }

  // Appends a log line when logging (-L) is on: the oldest goes when more
  // than m_logLimit lines are kept (0: no limit), and m_logEcho, when set,
  // gets each line as it is made.
  void AppendLog(const std::string& line);
  // Low 32 bits of _time64.
  int32_t Now32() const { return static_cast<int32_t>(m_services.clock->Time64()); }
  int ShownColumns() const;  // k: m_groupSize in group mode, else m_switchCount

  bool Ended() const { return m_ended; }
  int Result() const { return m_result; }

  // ---- members ----
  std::array<SwitchRecord, kMaxColumns> m_records;
  int m_switchCount = 0;
  std::unique_ptr<CPivlink> m_device;
  int m_timerId = 0;
  std::string m_protocolFile;
  std::vector<std::string> m_logLines;
  size_t m_logLimit = 0;
  std::function<void(const std::string&)> m_logEcho;
  CSemaphore m_semaphore;
  int m_trafficLight = 0;
  int m_groupMode = 0;
  int m_groupCount = 0;
  int m_groupStride = 0;
  int m_groupSize = 0;
  int m_trayMode = 1;
  int m_exclusive = 0;
  int m_logging = 0;
  int m_simulation = 0;
  int m_oneLine = 0;
  int m_pushButton = 0;
  int m_arrow = 0;
  int m_noArguments = 0;
  int m_colour1 = -1;
  int m_colour2 = -1;
  int m_startColour = -1;
  int m_exitOnRed = 0;
  std::vector<std::string>* m_nameList = nullptr;
  std::string m_stateFile;
  int m_stateFileOk = 0;
  std::string m_stateFileReport;  // what stderr was last told about the state file
  std::array<CControl*, kMaxColumns> m_timeButtons{};
  std::array<CControl*, kMaxColumns> m_groupBoxes{};
  std::array<CControl*, kMaxColumns> m_startButtons{};
  IconId m_hIcon = kIconApp;
  IconId m_iconRed = kIconRed;
  IconId m_iconGreen = kIconGreen;
  IconId m_iconYellow = kIconYellow;
  IconId m_iconWhite = kIconWhite;
  // GetMultiSwitch reading of the current tick, per type-40 device: the low 16
  // bits of the channel word, or -1 after a failed read.
  std::unordered_map<int, int> m_multiSwitchMask;

  DlgServices m_services;

  // Called instead of the no-device handling when discovery finds no column:
  // the program then runs without columns until a device comes (AdoptDevices).
  // Set by a front-end that has nobody to ask (--headless).
  std::function<void()> m_waitForDevices;

  // Devices [first, end) of m_device, which appeared after start-up, get
  // their columns as at start-up, after those there are (app/AdoptDevices.cpp).
  // In simulation they replace the simulated columns.
  void AdoptDevices(int first, int end);

  // Start-up steps (app/).
  void Discover(CDeviceSettings& settings);
  // Columns for devices [first, end) (in simulation, for device 0).
  void DiscoverRange(CDeviceSettings& settings, int first, int end);
  // Whether one of devices [first, end) would give columns.
  bool AnyUsable(int first, int end);
  void NoDeviceHandling(CDeviceSettings& settings);

 private:
  void CreateControls();

  void NotifyColumn(int i, unsigned what);

  std::map<int, CControl> m_controls;
  std::vector<IColumnObserver*> m_observers;
  bool m_columnsLaidOut = false;  // observers hear of single columns only after start-up
  bool m_stateMirrorStale = false;
  bool m_ended = false;
  int m_result = 0;
};

}  // namespace toggra

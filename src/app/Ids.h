// Control IDs, message numbers, key codes, icon and string resources, state
// codes: every number the program's parts agree on, in one place.
#pragma once

#include <cstdint>

namespace toggra {

inline constexpr int kMaxColumns = 16;

// Dialog results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Controls of the main dialog (template 102); column i adds i.
inline constexpr int kIdUpperButton = 1002;   // first row: off / red
inline constexpr int kIdLowerButton = 1018;   // second row: on / green
inline constexpr int kIdThirdButton = 1034;   // third row: yellow
inline constexpr int kIdGroupBox = 1050;      // column frame
inline constexpr int kIdTimeButton = 1066;    // "Kurzzeit"
inline constexpr int kIdStartButton = 1083;   // "Start (F1)" ...

// In the group layout second-row button j shows channel j + 4, whatever the
// group size.
inline constexpr int kGroupSecondRowOffset = 4;

// Tray menu commands; column i adds i (except "Beenden").
inline constexpr int kCmdExit = 32771;        // "Beenden", all columns
inline constexpr int kCmdOpenApp = 32773;     // "Applikation öffnen"
inline constexpr int kCmdDark = 32789;        // "Aus"

// Window messages the dialog receives; column i adds i.
inline constexpr int kMsgTrayCallback = 0x8001;
inline constexpr int kMsgStartStop = 0x8011;

// Tray icon ids, also the ids of the tray menus; column i adds i.
inline constexpr int kTrayIdSwitch = 132;
inline constexpr int kTrayIdTrafficLight = 155;

// System-menu items (Linux: the main window's context menu).
inline constexpr int kSysAbout = 0x10;
inline constexpr int kSysExit = 0x20;
inline constexpr int kSysLog = 0x40;

// Icon resources. In the core an icon is its resource number.
using IconId = int;
inline constexpr IconId kIconApp = 128;
inline constexpr IconId kIconGreen = 129;
inline constexpr IconId kIconRed = 130;
inline constexpr IconId kIconYellow = 151;
inline constexpr IconId kIconWhite = 153;

// Column state codes (m_state).
inline constexpr int kStateUnreachable = -1;
inline constexpr int kStateOff = 0;     // traffic light: red
inline constexpr int kStateOn = 1;      // traffic light: green
inline constexpr int kStateYellow = 2;
inline constexpr int kStateDark = 3;

// Lamp ids of a traffic light; a plain channel n (from 1) has 15 + n.
inline constexpr int kLampRed = 16;
inline constexpr int kLampYellow = 17;
inline constexpr int kLampGreen = 18;
inline constexpr int kFirstSwitchId = 16;

// Controls of the duration dialog "Dauer" (template 148).
inline constexpr int kIdHours = 1082, kIdMinutes = 1099, kIdSeconds = 1100;
inline constexpr int kIdHours2 = 1110, kIdMinutes2 = 1111, kIdSeconds2 = 1112;
inline constexpr int kIdHoursT = 1116, kIdMinutesT = 1118, kIdSecondsT = 1120;
inline constexpr int kIdGroupGreenYellow = 1106, kIdGroupYellowRed = 1105,
                     kIdGroupGreenRed = 1108, kIdGroupTotal = 1122;
inline constexpr int kIdProtocol = 1124, kIdCandidate = 1126;

// Options dialog (template 100), log dialog (154), start error (149).
inline constexpr int kIdCheckOneLine = 1102, kIdCheckPushButton = 1103,
                     kIdCheckArrow = 1104;
inline constexpr int kIdLogEdit = 1109;
inline constexpr int kIdCheckDontShow = 1101;

// Windows virtual-key codes, as the key map is written in them.
inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_NUMPAD0 = 0x60;
inline constexpr int VK_NUMPAD1 = 0x61;
inline constexpr int VK_NUMPAD9 = 0x69;
inline constexpr int VK_MULTIPLY = 0x6A;
inline constexpr int VK_ADD = 0x6B;
inline constexpr int VK_SUBTRACT = 0x6D;
inline constexpr int VK_DECIMAL = 0x6E;
inline constexpr int VK_DIVIDE = 0x6F;
inline constexpr int VK_F1 = 0x70;
inline constexpr int VK_F12 = 0x7B;
inline constexpr int VK_F16 = 0x7F;

// Tray notifications (low word of lParam).
inline constexpr int WM_LBUTTONDBLCLK = 0x203;
inline constexpr int WM_RBUTTONUP = 0x205;

// String resources.
inline constexpr const char* kStrAbout = "Inf&o über Toggra...";   // 101
inline constexpr const char* kStrCannotOpen = "Datei konnte nicht geöffnet werden";  // 103
inline constexpr const char* kStrExit = "Beenden";                 // 105
inline constexpr const char* kStrTrayTip = "Schalter %s";          // 106
inline constexpr const char* kStrError = "Fehler";                 // 108
inline constexpr const char* kStrShortTime = "Kurzzeit";           // 109
inline constexpr const char* kStrStop = "Stop";                    // 110
inline constexpr const char* kStrStart = "Start";                  // 111
inline constexpr const char* kStrProtocolLine = "%s; %d\r\n";      // 112
inline constexpr const char* kStrLogfile = "Logfile";              // 114

// Per-column entries of the device settings store.
inline constexpr const char* kEntryTimer = "SwitchTimer";
inline constexpr const char* kEntryTimer2 = "SwitchTimer2";
inline constexpr const char* kEntryTimerT = "SwitchTimerT";
inline constexpr const char* kEntryCandidate = "SwitchCandidate";
inline constexpr const char* kEntryDevId = "devID";
// The program-wide flag of the start-error dialog.
inline constexpr const char* kEntryShowStartError = "DisplaySwitchStartError";

// Application options (under the user key).
inline constexpr const char* kOptionOneLine = "OneLine";
inline constexpr const char* kOptionPushButton = "PushButton";
inline constexpr const char* kOptionArrow = "Arrow";
inline constexpr const char* kOptionOnTray = "OnTray";

// Texts of the main dialog that are no string resources.
inline constexpr const char* kTitleToggra = "Toggra";
inline constexpr const char* kTitleTrafficLight = "Lumora ";
inline constexpr const char* kTitleGroup = "Duoquad ";
inline constexpr const char* kTitleStateFileWarning = " - warning - see log file";
inline constexpr const char* kStrUnreachable = "Schalter nicht erreichbar";
inline constexpr const char* kStrSimulation = "Simulation";
inline constexpr const char* kStrSettingNotSaved =
    "Die Einstellung \"%s\" konnte nicht gespeichert werden.";      // 32780
// The settings store's own box when neither registry root can be opened.
inline constexpr const char* kStrRegistryOpenError = "Registry open error";
inline constexpr const char* kStrRegistryOpenErrorCaption = "ERROR";

}  // namespace toggra

// The start sequence: program name and arguments to start options, the main
// dialog built, filled, run modally and destroyed.
#include "app/Application.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "Version.h"
#include "app/ToggraDlg.h"

namespace toggra {

namespace {

// Group mode without (or with a negative) colour number: a dark orange.
constexpr int kDefaultGroupColour = 0x993300;

constexpr char kUsage[] =
    "Aufruf: toggra [Optionen] [Zahl1 [Zahl2]] [r|g|y]\n"
    "\n"
    "Schaltet USB-Schalter und USB-Ampeln. Optionen in Groß- oder Kleinschreibung:\n"
    "\n"
    "  -A            Ampelmodus: nur Ampeln, eine Spalte je Ampel. Ohne Option\n"
    "                ebenso, wenn der Programmname \"ampel\" enthält\n"
    "                (z. B. eine Kopie namens verkehrsampel).\n"
    "  -D            Gruppenmodus 2x4: nur Geräte mit 8 Kanälen, vier Spalten mit\n"
    "                einer oberen und einer unteren Lampenreihe.\n"
    "  -F            Keine Symbole im Infobereich; Enter, Escape und das Schließen\n"
    "                des Fensters beenden das Programm.\n"
    "  -L            Schaltvorgänge protokollieren (Kontextmenü \"Logfile\").\n"
    "  -N[Name ...]  Spaltennamen in Spaltenreihenfolge. Namen mit Leerzeichen in\n"
    "                Anführungszeichen; vor \"]\" ein Leerzeichen:\n"
    "                -N[\"Pumpe 1\" Licht ]\n"
    "  -S Datei      Zustandsdatei, die sich mehrere Programminstanzen teilen.\n"
    "  -T            Exklusiv: Einschalten eines Kanals schaltet die anderen Kanäle\n"
    "                seiner Gruppe aus.\n"
    "  Zahl1 Zahl2   Dauern in Sekunden: Zahl1 ersetzt die erste Dauer (Ampel: Grün\n"
    "                bis Gelb), Zahl2 die zweite (Gelb bis Rot). Mit beiden Zahlen\n"
    "                sind die Tasten \"Kurzzeit\" und \"Start\" gesperrt.\n"
    "                Mit -D die Lampenfarben als Dezimalzahl von 0xRRGGBB: Zahl1 für\n"
    "                die untere, Zahl2 für die obere Reihe (Vorgabe 10040064).\n"
    "  r, g, y       Startfarbe der Ampel: Rot, Grün, Gelb. Mit Zahl2 oder -D endet\n"
    "                das Programm, wenn ein Ampellauf Rot erreicht.\n"
    "  -h, -?        Diese Hilfe anzeigen.\n"
    "\n"
    "Optionen, die mit \"--\" beginnen, sind Toggras eigene; sie und die Qt-Optionen\n"
    "wie -platform offscreen werden vorher entfernt:\n"
    "  --help        Diese Hilfe anzeigen.\n"
    "  --version     Die Programmversion anzeigen.\n"
    "  --headless    Ohne Fenster und Infobereich laufen (ohne Anzeige), mit der\n"
    "                MQTT-Anbindung, wenn TOGGRA_MQTT einen Broker nennt.\n"
    "\n"
    "Was keine Wirkung hat, meldet eine Warnung; das Programm startet trotzdem.\n"
    "In einer Shell jeden Namen als eigenes Argument: -N[ \"Pumpe 1\" Licht ]\n"
    "\n"
    "Umgebung:\n"
    "  TOGGRA_DEVICES    Geräteeinträge, durch ; getrennt (bench:DATEI,\n"
    "                    usbhub:ORT, ...); sonst entries in [devices] von\n"
    "                    toggra.conf, sonst der Wert \"Devices\".\n"
    "  TOGGRA_BENCH      Datei mit simulierten Geräten (kurz für bench:DATEI).\n"
    "  TOGGRA_BENCH_LOG  Datei, an die jeder Befehl an die simulierten Geräte\n"
    "                    angehängt wird.\n"
    "  TOGGRA_BACKEND_DIR  Ordner der Hardware-Module (usbhub.so, hidrelay.so,\n"
    "                    gpio.so, mqtt.so); sonst der installierte Ordner.\n"
    "  TOGGRA_HKCU       Einstellungsdatei des Benutzers (sonst\n"
    "                    $XDG_CONFIG_HOME/toggra/HKEY_CURRENT_USER.reg).\n"
    "  TOGGRA_HKLM       Einstellungsdatei des Rechners (sonst\n"
    "                    /etc/toggra/HKEY_LOCAL_MACHINE.reg).\n"
    "  TOGGRA_MQTT       MQTT-Broker: mqtt[s]://[BENUTZER@]RECHNER[:PORT]; sonst url\n"
    "                    in [mqtt] von toggra.conf, sonst der Wert \"MQTT\".\n"
    "  TOGGRA_MQTT_PASSWORD_FILE  Datei mit dem Passwort (Modus 0600).\n"
    "  TOGGRA_MQTT_CA_FILE        CA-Zertifikate für mqtts://.\n"
    "  TOGGRA_MQTT_CERT_FILE      Client-Zertifikat für mqtts:// (PEM).\n"
    "  TOGGRA_MQTT_KEY_FILE       Sein Schlüssel (PEM).\n"
    "  TOGGRA_MQTT_PREFIX         Themenpräfix (sonst toggra/RECHNERNAME).\n"
    "  TOGGRA_MQTT_DISCOVERY_PREFIX  Präfix für Home Assistant (homeassistant).\n"
    "  TOGGRA_SYSTEM_CONF         toggra.conf des Rechners (/etc/toggra/toggra.conf).\n"
    "  XDG_CONFIG_HOME   Ordner der Benutzereinstellungen und von toggra/toggra.conf\n"
    "                    (sonst ~/.config).\n"
    "  XDG_STATE_HOME    Hier (in toggra/) bleiben Protokollzeilen, solange die\n"
    "                    Protokolldatei nicht zu öffnen ist (sonst ~/.local/state).\n"
    "  QT_QPA_PLATFORM   Qt-Plattform, z. B. offscreen für einen Lauf ohne Anzeige.\n"
    "\n"
    "Mehr in der Handbuchseite toggra(1).\n";

// 0xRRGGBB as written on the command line to the platform colour value with
// red in the low byte; anything above the three colour bytes is dropped.
int ToColourValue(int rgb) {
  const auto v = static_cast<uint32_t>(rgb);
  return static_cast<int>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
}

int GroupColour(int number) { return ToColourValue(number < 0 ? kDefaultGroupColour : number); }

}  // namespace

std::string AssembleCommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (k > 0) line += ' ';
    if (arg.empty()) {
      // Kept as an argument, as the platform's own command line would keep it.
      line += "\"\"";
    } else if (arg.find(' ') == std::string::npos) {
      line += arg;
    } else if (arg.size() > 2 && arg[0] == '-' && (arg[1] == 'S' || arg[1] == 's')) {
      // "-S/tmp/mein stand.txt" as one argument: the quotes must surround the
      // path, not the option, or the path would end at its first space.
      line += arg.substr(0, 2) + '"' + arg.substr(2) + '"';
    } else {
      line += '"' + arg + '"';
    }
  }
  return line;
}

std::string ProgramNameFromPath(const std::string& argv0) {
  const size_t slash = argv0.find_last_of('/');
  std::string base = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  // A leading dot marks a hidden file, not an extension.
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  return base;
}

OwnOptions TakeOwnOptions(const std::vector<std::string>& args) {
  OwnOptions own;
  bool ended = false;
  for (const std::string& arg : args) {
    if (ended || arg.rfind("--", 0) != 0) {
      own.rest.push_back(arg);
    } else if (arg == "--") {
      ended = true;
    } else if (arg == "--help") {
      own.help = true;
    } else if (arg == "--version") {
      own.version = true;
    } else if (arg == "--headless") {
      own.headless = true;
    } else {
      own.unknown.push_back(arg);
    }
  }
  return own;
}

const std::vector<std::string>& OwnOptionNames() {
  static const std::vector<std::string> names{"help", "version", "headless"};
  return names;
}

bool IsFrameworkOption(const std::string& arg) {
  // What the window system's toolkit reads itself, with one dash or two.
  static const char* const kNames[] = {
      "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
      "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "reverse", "session",
      "display", "name", "dialogs", "nograb", "dograb", "sync", "style", "stylesheet",
      "widgetcount", "qmljsdebugger", "testability", "visual", "ncols", "cmap", "im",
      "inputstyle", "fn", "font", "bg", "background", "fg", "foreground", "btn", "button",
      "nocrashhandler"};
  if (arg.rfind("--", 0) != 0) return false;
  const std::string name = arg.substr(2, arg.find('=') == std::string::npos
                                             ? std::string::npos
                                             : arg.find('=') - 2);
  for (const char* known : kNames)
    if (name == known) return true;
  return false;
}

std::optional<std::string> InfoRequest(const std::vector<std::string>& args) {
  const OwnOptions own = TakeOwnOptions(args);
  if (own.help) return std::string(kUsage);
  if (own.version) return std::string("toggra " TOGGRA_VERSION "\n");
  return std::nullopt;
}

std::optional<EarlyExit> AnswerBeforeStart(const std::vector<std::string>& args,
                                           bool frameworkOptionsRemoved) {
  constexpr int kUsageError = 2;
  if (const auto info = InfoRequest(args)) return EarlyExit{0, *info, {}};
  const OwnOptions own = TakeOwnOptions(args);
  std::vector<std::string> unknown;
  for (const std::string& option : own.unknown)
    if (frameworkOptionsRemoved || !IsFrameworkOption(option)) unknown.push_back(option);
  if (!unknown.empty()) {
    EarlyExit answer{kUsageError, {}, {}};
    for (const std::string& option : unknown)
      answer.standardError += "toggra: unbekannte Option „" + option +
                              "“ (toggra --help zeigt die Optionen)\n";
    return answer;
  }
  // The framework's options read by the classic parser could only make it
  // warn, never ask for the help: their words hold no "-h" or "-?".
  if (ParseCommandLine(AssembleCommandLine(own.rest), "toggra").help)
    return EarlyExit{0, kUsage, {}};
  return std::nullopt;
}

std::string WarningText(const StartOptions& options) {
  std::string text;
  for (const std::string& warning : options.warnings) text += "toggra: " + warning + "\n";
  return text;
}

void ApplyStartOptions(const StartOptions& options, std::vector<std::string>* names,
                       CToggraDlg& dlg) {
  dlg.m_trafficLight = options.trafficLight ? 1 : 0;
  dlg.m_groupMode = options.groupMode ? 1 : 0;
  dlg.m_groupStride = options.groupStride;
  dlg.m_groupSize = options.groupSize;
  dlg.m_trayMode = options.trayMode ? 1 : 0;
  dlg.m_exclusive = options.exclusive ? 1 : 0;
  dlg.m_logging = options.logging ? 1 : 0;
  if (names && names != &options.names) *names = options.names;
  dlg.m_nameList = names;
  dlg.m_stateFile = options.stateFile;
  dlg.m_startColour = options.colour;
  dlg.m_noArguments = options.noArguments ? 1 : 0;

  int number2 = options.number2;
  if (options.groupMode) {
    dlg.m_colour1 = GroupColour(options.number1);
    dlg.m_colour2 = GroupColour(options.number2);
    number2 = options.number2 < 0 ? kDefaultGroupColour : options.number2;
  } else {
    dlg.m_colour1 = options.number1;
    dlg.m_colour2 = options.number2;
  }
  if (options.colour >= 0 && number2 >= 0) dlg.m_exitOnRed = 1;

  // Read from the registry by the dialog only when the line was empty.
  dlg.m_oneLine = 0;
  dlg.m_pushButton = 0;
  dlg.m_arrow = 0;
}

bool CToggraApp::InitInstance(const std::vector<std::string>& argv, const DlgServices& services,
                              const std::function<int(CToggraDlg&)>& doModal) {
  const std::string programName = argv.empty() ? std::string() : ProgramNameFromPath(argv[0]);
  const std::vector<std::string> args(argv.empty() ? argv.end() : argv.begin() + 1, argv.end());
  // The options, with the name list, belong to this frame; the dialog only
  // points to the list and empties it when it is destroyed, so they must be
  // declared before the dialog.
  StartOptions options = ParseCommandLine(AssembleCommandLine(TakeOwnOptions(args).rest), programName);
  const std::string warnings = WarningText(options);
  if (!warnings.empty()) {
    std::fputs(warnings.c_str(), stderr);
    std::fflush(stderr);
  }

  // The registry key name of the framework has no counterpart here: the
  // options live under the program's own keys.
  auto dlg = std::make_unique<CToggraDlg>(services);
  ApplyStartOptions(options, &options.names, *dlg);
  if (doModal) doModal(*dlg);
  dlg.reset();
  return false;
}

}  // namespace toggra

// Faults met by the whole program built from its real services: the bench
// behind CreatePivlink, hive files, POSIX protocol and state files, the main
// window, the Qt dialogs and the tray. What is checked is what a user would
// see (which dialog appears, with which text, the window title) and what the
// devices and files receive. Only the clock is the test's, so that the poll's
// quiet period passes without a real wait.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "app/Application.h"
#include "app/Ids.h"
#include "app/StartOptions.h"
#include "app/Composition.h"
#include "app/ToggraDlg.h"
#include "device/BenchFile.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompts.h"
#include "gui/QtTrayShell.h"
#include "gui/TemplateDialog.h"
#include "gui/TerminationSignals.h"
#include "settings/HiveRegistry.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"
#include "trafficlight/PosixFileService.h"
#include "trafficlight/ProtocolFallback.h"

namespace toggra::gui {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr int kTickMs = 10;
constexpr int kWaitMs = 5000;

// What a dialog or message box showed: its title and its visible texts.
struct Shown {
  std::string title;
  std::vector<std::string> texts;
  bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
  os << '"' << s.title << '"';
  for (const std::string& t : s.texts) os << " \"" << t << '"';
  return os;
}

const Shown kDeviceError{"Fehler", {"Es wurde kein USB-Gerät gefunden.", "Anwendung wird beendet"}};

// Answers each dialog the program opens with the next scripted answer and
// keeps what it showed. A dialog nobody expected is closed and fails the test.
class ModalAnswers : public QObject {
 public:
  using Answer = std::function<void(QWidget*)>;

  ModalAnswers() {
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswers::Look);
    m_timer.start(2);
  }
  void Then(Answer answer) { m_answers.push_back(std::move(answer)); }
  bool AllUsed() const { return m_answers.empty(); }

  std::vector<Shown> shown;

 private:
  void Look() {
    QWidget* w = QApplication::activeModalWidget();
    // An answer may take effect only later (a signal goes through the loop).
    if (!w || !w->isVisible() || w == m_answered) return;
    m_answered = w;
    Shown s{w->windowTitle().toStdString(), {}};
    for (QLabel* label : w->findChildren<QLabel*>())
      if (label->isVisibleTo(w) && !label->text().isEmpty())
        s.texts.push_back(label->text().toStdString());
    shown.push_back(s);
    if (m_answers.empty()) {
      ADD_FAILURE() << "unexpected dialog " << s;
      w->close();
      return;
    }
    Answer answer = std::move(m_answers.front());
    m_answers.pop_front();
    answer(w);
  }

  QTimer m_timer;
  std::deque<Answer> m_answers;
  QPointer<QWidget> m_answered;
};

ModalAnswers::Answer Press(const QString& text) {
  return [text](QWidget* w) {
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
      if (b->text().remove('&') == text) {
        b->click();
        return;
      }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    w->close();
  };
}

// Public: the fault table below acts on the fixture from outside.
class FullStack : public ::testing::Test {
 public:
  FullStack() {
    setenv("TOGGRA_BENCH", bench.c_str(), 1);
    setenv("TOGGRA_BENCH_LOG", commandLog.c_str(), 1);
    fs::create_directories(dir.File("hives"));
  }
  ~FullStack() override {
    // The window lets go of the dialog before the dialog goes.
    window.reset();
    dlg.reset();
    unsetenv("TOGGRA_BENCH");
    unsetenv("TOGGRA_BENCH_LOG");
  }

  // The main dialog built as the program builds it, from the command line.
  CToggraDlg& Build(const std::string& commandLine) {
    registry = std::make_unique<CHiveRegistry>(hkcu, hklm);
    window = std::make_unique<CMainWindow>(kTickMs);
    prompts.SetMainWindow(window.get());
    tray.SetWindow(window.get());
    tray.SetMessageSink([this](int message, uintptr_t wParam, intptr_t lParam) {
      window->SendMessage(message, wParam, lParam);
    });
    DlgServices s = CServiceBuilder(CServiceBuilder::Kind::Desktop)
                        .Host(*window.get())
                        .Prompts(prompts)
                        .Clock(clock)
                        .Registry(*registry.get())
                        .SettingsRoot(settingsRoot)
                        .Files(files)
                        .ProtocolFallback(protocolFallback)
                        .TrayShell(tray)
                        .Build();
    dlg = std::make_unique<CToggraDlg>(s);
    ApplyStartOptions(ParseCommandLine(commandLine, "toggra"), &names, *dlg);
    return *dlg;
  }
  bool Start(const std::string& commandLine) {
    Build(commandLine);
    return window->Start(*dlg);
  }

  void Click(int id) { QTest::mouseClick(window->ControlWidget(id), Qt::LeftButton); }
  // Lets the poll's quiet period pass and waits for the tick to read the
  // column back as `done` says.
  bool PollUntil(int column, const std::function<bool(int state)>& done) {
    clock.Advance(10);
    return QTest::qWaitFor([&] { return done(dlg->m_records[column].m_state); }, kWaitMs);
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> lines;
    std::istringstream in(TempDir::Read(commandLog));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The commands sent since the log had `from` lines.
  std::vector<std::string> CommandsSince(size_t from) const {
    const std::vector<std::string> all = Commands();
    return {all.begin() + std::min(from, all.size()), all.end()};
  }
  std::vector<int> BenchStates(int device = 0) const {
    BenchParse p = ParseBench(TempDir::Read(bench), bench);
    return p.ok ? p.set.devices[device].state : std::vector<int>{};
  }
  void SetBenchState(int channel, int value) {
    BenchFile file(bench, {});
    ASSERT_TRUE(file.Modify([&](BenchSet& set) {
      set.SetState(0, channel, value);
      return true;
    }));
  }
  void ReplaceBench(const std::string& text) {
    std::error_code ec;
    fs::remove_all(bench, ec);
    BenchFile file(bench, {});
    ASSERT_TRUE(file.Replace(text));
  }

  TempDir dir;
  std::string bench = dir.File("hardware.bench");
  std::string commandLog = dir.File("commands.log");
  std::string hkcu = dir.File("hives/HKEY_CURRENT_USER.reg");
  std::string hklm = dir.File("hives/HKEY_LOCAL_MACHINE.reg");
  test::ManualClock clock;
  std::unique_ptr<CHiveRegistry> registry;
  DeviceSettingsRoot settingsRoot;
  CPosixFileService files;
  CProtocolFallback protocolFallback{dir.File("state/toggra")};
  CQtPrompts prompts;
  CQtTrayShell tray;
  ModalAnswers answers;
  std::vector<std::string> names;
  std::unique_ptr<CMainWindow> window;
  std::unique_ptr<CToggraDlg> dlg;
};

std::string Device(int type, int switches, const std::string& state, int trafficLight = 0,
                   int multiSwitchFails = 0) {
  return "[device]\ntype = " + std::to_string(type) +
         "\nversion = 3\nserial = 4242\nswitches = " + std::to_string(switches) +
         "\ntraffic_light = " + std::to_string(trafficLight) +
         "\nmulti_switch_fails = " + std::to_string(multiSwitchFails) + "\nstate = " + state + "\n";
}

// ---- a column that cannot be read any more ----

struct UnreadableCase {
  const char* name;
  const char* commandLine;
  std::string benchText;
  int column;
  std::function<void(FullStack&)> inject;
  std::function<void(FullStack&)> heal;
  std::vector<std::string> darkSends;  // what "Aus" sends to the faulty column
  bool trafficLight;

  friend void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }
};

class UnreadableColumn : public FullStack, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableColumn, RefusesOnAndOffWithTheDeviceErrorKeepsDarkAndResumes) {
  const UnreadableCase& c = GetParam();
  TempDir::Write(bench, c.benchText);
  ASSERT_TRUE(Start(c.commandLine));
  c.inject(*this);
  ASSERT_TRUE(PollUntil(c.column, [](int s) { return s < 0; }));

  // On and off are refused with the device error; Abbrechen changes nothing.
  size_t before = Commands().size();
  answers.Then(Press("Abbrechen"));
  answers.Then(Press("Abbrechen"));
  Click(kIdLowerButton + c.column);
  Click(kIdUpperButton + c.column);
  EXPECT_EQ(answers.shown, (std::vector<Shown>{kDeviceError, kDeviceError}));
  EXPECT_EQ(CommandsSince(before), std::vector<std::string>{});
  EXPECT_FALSE(window->Ending());

  // "Aus" (and yellow on a traffic light) are sent without asking.
  before = Commands().size();
  dlg->OnCommand(kCmdDark + c.column);
  EXPECT_EQ(CommandsSince(before), c.darkSends);
  if (c.trafficLight) {
    before = Commands().size();
    Click(kIdThirdButton);
    EXPECT_EQ(
        CommandsSince(before),
        (std::vector<std::string>{"SetSwitch 0 17 1", "SetSwitch 0 16 0", "SetSwitch 0 18 0"}));
  }
  EXPECT_EQ(answers.shown.size(), 2u);

  c.heal(*this);
  ASSERT_TRUE(PollUntil(c.column, [](int s) { return s >= 0; }));
  before = Commands().size();
  Click(kIdLowerButton + c.column);
  EXPECT_EQ(answers.shown.size(), 2u) << "no dialog once the column reads again";
  EXPECT_FALSE(CommandsSince(before).empty());
  const std::vector<int> on = c.trafficLight  ? std::vector<int>{0, 0, 1}
                              : c.column == 0 ? std::vector<int>{1, 0}
                                              : std::vector<int>{0, 1};
  EXPECT_EQ(BenchStates(), on);
}

const std::string kTwoPlain = Device(8, 2, "0 0");
const std::string kTwoMulti = Device(40, 2, "0 0");
const std::string kLight = Device(8, 3, "1 0 0", 1);

const std::vector<std::string> kLampsOff{"SetSwitch 0 16 0", "SetSwitch 0 17 0",
                                         "SetSwitch 0 18 0"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Faults, UnreadableColumn,
    ::testing::Values(
        UnreadableCase{"ChannelReadsMinusOne", "-L", kTwoPlain, 1,
                       [](FullStack& t) { t.SetBenchState(1, -1); },
                       [](FullStack& t) { t.SetBenchState(1, 0); },
                       {"SetSwitch 0 17 0"}, false},
        UnreadableCase{"MultiSwitchFails", "-L", kTwoMulti, 1,
                       [](FullStack& t) { t.ReplaceBench(Device(40, 2, "0 0", 0, 1)); },
                       [](FullStack& t) { t.ReplaceBench(kTwoMulti); },
                       {"SetSwitch 0 17 0"}, false},
        UnreadableCase{"BenchFileDeleted", "-L", kTwoPlain, 0,
                       [](FullStack& t) { fs::remove(t.bench); },
                       [](FullStack& t) { t.ReplaceBench(kTwoPlain); },
                       {"SetSwitch 0 16 0"}, false},
        UnreadableCase{"TrafficLightRedAndGreenLit", "-A", kLight, 0,
                       [](FullStack& t) { t.SetBenchState(2, 1); },
                       [](FullStack& t) { t.ReplaceBench(kLight); },
                       kLampsOff, true},
        UnreadableCase{"TrafficLightLampReadsTwo", "-A", kLight, 0,
                       [](FullStack& t) { t.SetBenchState(1, 2); },
                       [](FullStack& t) { t.ReplaceBench(kLight); },
                       kLampsOff, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---- files that cannot be written ----

TEST_F(FullStack, ProtocolInAFolderThatCannotBeMadeShowsTheBoxAndTheChannelStillGoesOff) {
  TempDir::Write(bench, Device(8, 1, "1"));
  // A regular file where the protocol's folder would be: not even root can
  // create the protocol there.
  TempDir::Write(dir.File("blocker"), "");
  const std::string protocol = dir.File("blocker") + "/runs.txt";
  TempDir::Write(hkcu,
                 "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB\\Toggra]\n"
                 "\"Protocol\"=\"" +
                     protocol + "\"\n");
  ASSERT_TRUE(Start("-L"));
  size_t before = Commands().size();
  answers.Then(Press("OK"));
  Click(kIdUpperButton);
  ASSERT_EQ(answers.shown.size(), 1u);
  EXPECT_EQ(answers.shown[0].title, "Fehler");
  // The fixed first line, then the path with the system's reason and the
  // place where the line waits.
  const std::string kept = protocolFallback.FileFor(protocol);
  const std::string text = answers.shown[0].texts.empty() ? "" : answers.shown[0].texts[0];
  EXPECT_EQ(text.rfind("Datei konnte nicht geöffnet werden\n" + protocol + ": ", 0), 0u) << text;
  EXPECT_NE(text.find(kept), std::string::npos) << text;
  EXPECT_EQ(TempDir::Read(kept), "; 0\r\n");
  EXPECT_EQ(CommandsSince(before), std::vector<std::string>{"SetSwitch 0 16 0"});

  // Once the folder can be made, the kept line arrives before the new one and
  // nothing is shown.
  fs::remove(dir.File("blocker"));
  fs::create_directory(dir.File("blocker"));
  Click(kIdUpperButton);
  EXPECT_EQ(answers.shown.size(), 1u);
  EXPECT_EQ(TempDir::Read(protocol), "; 0\r\n; 0\r\n");
  EXPECT_EQ(TempDir::Read(kept), "");
}

TEST_F(FullStack, HiveThatCannotBeWrittenReportsOneFailedSaveOnceAndKeepsOptionsQuiet) {
  TempDir::Write(bench, Device(8, 1, "0"));
  // The machine hive can never be written, so the device settings go to the
  // user's hive, whose folder then turns into a file while the program runs.
  TempDir::Write(dir.File("blocker"), "");
  hklm = dir.File("blocker") + "/HKEY_LOCAL_MACHINE.reg";
  ASSERT_TRUE(Start("-L"));
  const std::string hives = dir.File("hives");
  fs::rename(hives, dir.File("hives.away"));
  TempDir::Write(hives, "");

  // Escape hides to the tray and stores "OnTray": a failure there says nothing.
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_Escape);
  ASSERT_TRUE(window->isMinimized() || !window->isVisible());
  EXPECT_TRUE(answers.shown.empty());
  window->showNormal();

  auto durationOk = [](QWidget* w) {
    w->findChild<QLineEdit*>(ControlName(kIdSeconds))->setText("5");
    Press("OK")(w);
  };
  answers.Then(durationOk);
  answers.Then(Press("OK"));
  Click(kIdTimeButton);
  // One failed save, one message: the store cannot open its key, and says
  // which file and why; the values that then fail too add nothing.
  ASSERT_EQ(answers.shown.size(), 2u);
  EXPECT_EQ(answers.shown[1],
            (Shown{"ERROR", {"Registry open error\n" + hkcu + ": Not a directory"}}));
  // The program goes on with the duration it was given.
  EXPECT_EQ(qobject_cast<QAbstractButton*>(window->ControlWidget(kIdTimeButton))->text(), "05");

  // Writable again: the next change is stored without a word.
  fs::remove(hives);
  fs::rename(dir.File("hives.away"), hives);
  answers.Then(durationOk);
  Click(kIdTimeButton);
  EXPECT_EQ(answers.shown.size(), 3u);
  EXPECT_NE(TempDir::Read(hkcu).find("\"08-03-00001092-SwitchTimer\"=dword:00000005"),
            std::string::npos)
      << TempDir::Read(hkcu);
  EXPECT_TRUE(answers.AllUsed());
}

// ---- a state file another process keeps locked ----

TEST_F(FullStack, StateFileHeldByAnotherProcessWarnsRetriesAndIsFollowedAgainAfterwards) {
  TempDir::Write(bench, Device(40, 8, "0 0 0 0 0 0 0 0"));
  const std::string stateFile = dir.File("stand.txt");
  TempDir::Write(stateFile, "0 0 0 0 0 0 0 0");
  ASSERT_TRUE(Start("-D -L -S " + stateFile));
  const QString warning = "Duoquad  - warning - see log file";
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == "Duoquad "; }, kWaitMs));

  const int holder = ::open(stateFile.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == warning; }, kWaitMs));
  const std::string readFailed =
      "Read from " + stateFile + " failed, err=11 - Resource temporarily unavailable\r\n";
  auto count = [&](const std::string& line) {
    return std::count(dlg->m_logLines.begin(), dlg->m_logLines.end(), line);
  };
  // Tried again on every tick for as long as the lock is held.
  EXPECT_TRUE(QTest::qWaitFor([&] { return count(readFailed) >= 20; }, kWaitMs));

  // A switch command meanwhile tries five times, 20 ms apart, and gives up.
  clock.ClearSleeps();
  Click(kIdLowerButton);
  const std::string writeFailed =
      "Write from " + stateFile + " failed, err=11 - Resource temporarily unavailable\r\n";
  EXPECT_EQ(count(writeFailed), 5);
  EXPECT_EQ(std::count(clock.Sleeps().begin(), clock.Sleeps().end(), 20), 5);
  EXPECT_EQ(TempDir::Read(stateFile), "0 0 0 0 0 0 0 0");
  EXPECT_EQ(window->windowTitle(), warning);

  // The holder writes and lets go: the warning goes, and its state is taken up.
  const std::string next = "0 1 0 0 0 0 0 1";
  ASSERT_EQ(::ftruncate(holder, 0), 0);
  ASSERT_EQ(::write(holder, next.data(), next.size()), static_cast<ssize_t>(next.size()));
  ::close(holder);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == "Duoquad "; }, kWaitMs));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return BenchStates() == std::vector<int>{0, 1, 0, 0, 0, 0, 0, 1}; }, kWaitMs));
  EXPECT_TRUE(answers.shown.empty());
}

// ---- ending on a signal ----

TEST_F(FullStack, SignalEndsTheRunAsBeendenEvenWithADialogOpen) {
  TempDir::Write(bench, Device(8, 2, "1 0"));
  Build("");
  CTerminationSignals endOnSignal([this](int) { dlg->OnCommand(kCmdExit); });
  ASSERT_TRUE(endOnSignal.Installed());
  // Nobody answers the duration dialog; the signal must close it.
  answers.Then([](QWidget*) { ::raise(SIGTERM); });
  QTimer::singleShot(0, [&] {
    EXPECT_NE(tray.Icon(kTrayIdSwitch), nullptr);
    Click(kIdTimeButton);
  });
  // Should the signal leave the dialog open, the test fails instead of hanging.
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    ADD_FAILURE() << "still running " << kWaitMs << " ms after the signal";
    if (QWidget* open = QApplication::activeModalWidget()) open->close();
    dlg->OnCommand(kCmdExit);
  });
  watchdog.start(kWaitMs);
  EXPECT_EQ(window->RunModal(*dlg), IDOK);
  watchdog.stop();
  ASSERT_EQ(answers.shown.size(), 1u);
  EXPECT_EQ(answers.shown[0].title, "Dauer");
  const size_t before = Commands().size();
  dlg.reset();
  EXPECT_EQ(CommandsSince(before), (std::vector<std::string>{"ResetDevice 0", "ResetDevice 0"}));
  EXPECT_EQ(tray.Icon(kTrayIdSwitch), nullptr);
  EXPECT_EQ(tray.Icon(kTrayIdSwitch + 1), nullptr);
  EXPECT_EQ(BenchStates(), (std::vector<int>{1, 0}));
}

}  // namespace
}  // namespace toggra::gui

namespace toggra::gui {
namespace {

// A fresh user with nothing but toggra.conf: its devices and its caption,
// which a "devID" would still override.
TEST_F(FullStack, CaptionFromTheUsersConfigurationFileNamesTheColumn) {
  unsetenv("TOGGRA_BENCH");
  TempDir::Write(bench, Device(8, 3, "0 0 0"));
  fs::create_directories(dir.File("config/toggra"));
  TempDir::Write(dir.File("config/toggra/toggra.conf"),
                 "# mine\n[devices]\nentries = bench:" + bench + "\n[caption]\nbench:0:2 = Pumpe\n");
  setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  ASSERT_TRUE(Start("-F"));
  unsetenv("XDG_CONFIG_HOME");
  ASSERT_EQ(dlg->m_switchCount, 3);
  EXPECT_EQ(qobject_cast<QGroupBox*>(window->ControlWidget(kIdGroupBox + 1))->title(), "Pumpe");
  EXPECT_NE(qobject_cast<QGroupBox*>(window->ControlWidget(kIdGroupBox))->title(), "Pumpe");
}

}  // namespace
}  // namespace toggra::gui

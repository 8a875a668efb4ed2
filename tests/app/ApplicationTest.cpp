#include "app/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ToggraDlg.h"
#include "support/CaseNames.h"
#include "support/TestDialog.h"

namespace toggra {
namespace {

using test::TestDialog;
using Args = std::vector<std::string>;

TEST(ArgvAssembly, JoinsWithSingleSpacesAndQuotesArgumentsWithSpaces) {
  EXPECT_EQ(AssembleCommandLine({}), "");
  EXPECT_EQ(AssembleCommandLine({"60", "30", "g"}), "60 30 g");
  EXPECT_EQ(AssembleCommandLine({"-S", "/tmp/mein stand.txt", "-T"}),
            "-S \"/tmp/mein stand.txt\" -T");
}

TEST(ArgvAssembly, ShellArgumentsReachTheParserIntact) {
  auto parse = [](const Args& args) {
    return ParseCommandLine(AssembleCommandLine(args), "toggra");
  };
  EXPECT_EQ(parse({"-S", "/tmp/mein stand.txt"}).stateFile, "/tmp/mein stand.txt");
  // The path glued to the option: the quotes go round the path only.
  const StartOptions glued = parse({"-S/tmp/mein stand.txt", "-T"});
  EXPECT_EQ(glued.stateFile, "/tmp/mein stand.txt");
  EXPECT_TRUE(glued.exclusive);
  // A whole list in one shell word, with quoted names inside.
  const StartOptions list = parse({"-N[\"Pumpe 1\" Licht ]", "g"});
  EXPECT_EQ(list.names, (Args{"Pumpe 1", "Licht"}));
  EXPECT_EQ(list.colour, 1);
  EXPECT_EQ(parse({"-N[Pumpe", "Licht", "]"}).names, (Args{"Pumpe", "Licht"}));
  // An empty argument is still an argument.
  EXPECT_EQ(AssembleCommandLine({"-S", ""}), "-S \"\"");
  EXPECT_EQ(parse({"-S", "", "-T"}).stateFile, "");
  EXPECT_TRUE(parse({"-S", "", "-T"}).exclusive);
  EXPECT_TRUE(parse({}).noArguments);
  EXPECT_FALSE(parse({""}).noArguments);
}

TEST(ProgramNames, BaseNameWithoutDirectoryAndExtension) {
  EXPECT_EQ(ProgramNameFromPath("/usr/bin/toggra"), "toggra");
  EXPECT_EQ(ProgramNameFromPath("verkehrsampel"), "verkehrsampel");
  EXPECT_EQ(ProgramNameFromPath("/usr/bin/Ampel.exe"), "Ampel");
  EXPECT_EQ(ProgramNameFromPath("./toggra.bin.sh"), "toggra.bin");
  EXPECT_EQ(ProgramNameFromPath("/opt/v1.2/toggra"), "toggra");
  EXPECT_EQ(ProgramNameFromPath("/opt/.ampel"), ".ampel");
  EXPECT_EQ(ProgramNameFromPath(""), "");
}

TEST(ProgramNames, OnlyTheFileNameSelectsTrafficLights) {
  auto lights = [](const std::string& argv0) {
    return ParseCommandLine("", ProgramNameFromPath(argv0)).trafficLight;
  };
  EXPECT_TRUE(lights("/usr/bin/Ampel.exe"));
  EXPECT_TRUE(lights("/home/anna/bin/verkehrsampel"));
  EXPECT_FALSE(lights("/home/ampel/bin/toggra"));
  EXPECT_FALSE(lights("/usr/bin/toggra.ampel"));
}

TEST(InfoRequests, HelpNamesEveryOptionAndBothAnswerAnywhereAmongTheArguments) {
  const auto help = InfoRequest({"--help"});
  ASSERT_TRUE(help.has_value());
  for (const char* option : {"-A", "-D", "-F", "-L", "-N[", "-S", "-T", "Zahl1 Zahl2",
                             "r, g, y", "ampel", "--version", "--headless", "-h, -?",
                             "TOGGRA_BENCH"}) {
    EXPECT_NE(help->find(option), std::string::npos) << option;
  }
  EXPECT_EQ(help->back(), '\n');
  EXPECT_EQ(InfoRequest({"--version"}), std::optional<std::string>("toggra 4.2.2\n"));
  EXPECT_EQ(InfoRequest({"-A", "--help", "-T"}), help);
  EXPECT_EQ(InfoRequest({"-T", "--version"}), std::optional<std::string>("toggra 4.2.2\n"));
  for (const Args& args : {Args{}, Args{"-T"}, Args{"--HELP"}, Args{"--", "--help"},
                           Args{"-N[", "--x", "]"}, Args{"--headless"}}) {
    EXPECT_FALSE(InfoRequest(args).has_value());
  }
}

TEST(OwnOptions, AreTakenOffBeforeTheClassicParserAndKeepTheRestInOrder) {
  const OwnOptions own = TakeOwnOptions({"-A", "--headless", "60", "--verbose", "-T", "--",
                                         "--help", "g"});
  EXPECT_TRUE(own.headless);
  EXPECT_FALSE(own.help);  // after "--" it is the parser's
  EXPECT_EQ(own.unknown, Args{"--verbose"});
  EXPECT_EQ(own.rest, (Args{"-A", "60", "-T", "--help", "g"}));
  for (const std::string& name : OwnOptionNames())
    EXPECT_TRUE(TakeOwnOptions({"--" + name}).unknown.empty()) << name;
}

TEST(EarlyAnswers, HelpVersionAndUnknownOwnOptionsEndBeforeAnyWindow) {
  const auto help = AnswerBeforeStart({"--help", "-A"}, false);
  ASSERT_TRUE(help.has_value());
  EXPECT_EQ(help->exitCode, 0);
  EXPECT_EQ(help->standardOutput, InfoRequest({"--help"}).value());
  for (const Args& args : {Args{"-h"}, Args{"-A", "-?"}, Args{"-H", "60"}}) {
    const auto classic = AnswerBeforeStart(args, true);
    ASSERT_TRUE(classic.has_value()) << args[0];
    EXPECT_EQ(classic->exitCode, 0);
    EXPECT_EQ(classic->standardOutput, help->standardOutput);
  }
  // The framework may still own an unknown "--" option before it has taken
  // its own off; afterwards it is an error naming it.
  EXPECT_FALSE(AnswerBeforeStart({"--platform", "offscreen"}, false).has_value());
  const auto unknown = AnswerBeforeStart({"-T", "--verbose"}, true);
  ASSERT_TRUE(unknown.has_value());
  EXPECT_EQ(unknown->exitCode, 2);
  EXPECT_TRUE(unknown->standardOutput.empty());
  EXPECT_NE(unknown->standardError.find("„--verbose“"), std::string::npos);
  for (const Args& args : {Args{}, Args{"-T", "60"}, Args{"--headless", "-A"}, Args{"-X"}})
    EXPECT_FALSE(AnswerBeforeStart(args, true).has_value());
}

class CopyStep : public testing::Test {
 protected:
  Args names;  // the dialog empties it when destroyed: declared first
  TestDialog t;

  CToggraDlg& Apply(const std::string& line) {
    const StartOptions o = ParseCommandLine(line, "toggra");
    ApplyStartOptions(o, &names, t.Dialog());
    return t.Dialog();
  }
};

// The numbers and the colour letter as the dialog receives them: durations,
// or in group mode lamp colours with red and blue swapped.
struct CopyCase {
  const char* line;
  int colour1, colour2, startColour, exitOnRed;
};

class NumbersAndLetter : public CopyStep, public testing::WithParamInterface<CopyCase> {};

TEST_P(NumbersAndLetter, ReachTheDialogAsDurationsOrGroupColours) {
  const CopyCase& c = GetParam();
  CToggraDlg& d = Apply(c.line);
  EXPECT_EQ(d.m_colour1, c.colour1);
  EXPECT_EQ(d.m_colour2, c.colour2);
  EXPECT_EQ(d.m_startColour, c.startColour);
  EXPECT_EQ(d.m_exitOnRed, c.exitOnRed);
  // Two blocks of four channels with -D, no groups without it.
  EXPECT_EQ(d.m_groupStride * d.m_groupSize, d.m_groupMode ? 8 : 0);
  EXPECT_EQ(d.m_groupMode, c.line[1] == 'D');
}

INSTANTIATE_TEST_SUITE_P(
    CopyStep, NumbersAndLetter,
    testing::Values(CopyCase{"60 30 g", 60, 30, 1, 1},
                    // Ending on red needs a letter and a second number.
                    CopyCase{"60 g", 60, -1, 1, 0}, CopyCase{"60 30", 60, 30, -1, 0},
                    CopyCase{"1 -5 r", 1, -5, 0, 0}, CopyCase{"0 0 r", 0, 0, 0, 1},
                    CopyCase{"-D", 0x003399, 0x003399, -1, 0},
                    CopyCase{"-D y", 0x003399, 0x003399, 2, 1},
                    CopyCase{"-D 16711680 255", 0x0000FF, 0xFF0000, -1, 0},
                    // Above the three colour bytes everything is dropped.
                    CopyCase{"-D 305419896", 0x785634, 0x003399, -1, 0},
                    CopyCase{"-D 99999999999", 0xFFFFFF, 0x003399, -1, 0},
                    CopyCase{"-D 255 -1", 0xFF0000, 0x003399, -1, 0}),
    [](const auto& info) { return test::RowName(info.index, info.param.line); });

TEST_F(CopyStep, FlagsStateFileAndNamesReachTheDialog) {
  t.Dialog().m_oneLine = 1;
  t.Dialog().m_pushButton = 1;
  t.Dialog().m_arrow = 1;
  CToggraDlg& d = Apply("-A -F -L -T -S /tmp/x -N[a b ]");
  EXPECT_EQ(d.m_trafficLight, 1);
  EXPECT_EQ(d.m_trayMode, 0);
  EXPECT_EQ(d.m_logging, 1);
  EXPECT_EQ(d.m_exclusive, 1);
  EXPECT_EQ(d.m_stateFile, "/tmp/x");
  EXPECT_EQ(d.m_noArguments, 0);
  EXPECT_EQ(d.m_groupMode, 0);
  EXPECT_EQ(d.m_oneLine, 0);
  EXPECT_EQ(d.m_pushButton, 0);
  EXPECT_EQ(d.m_arrow, 0);
  ASSERT_EQ(d.m_nameList, &names);
  EXPECT_EQ(names, (Args{"a", "b"}));
}

TEST_F(CopyStep, EmptyLineLeavesTrayModeOnAndAnEmptyList) {
  CToggraDlg& d = Apply("");
  EXPECT_EQ(d.m_noArguments, 1);
  EXPECT_EQ(d.m_trayMode, 1);
  EXPECT_EQ(d.m_startColour, -1);
  EXPECT_EQ(d.m_colour1, -1);
  ASSERT_NE(d.m_nameList, nullptr);
  EXPECT_TRUE(d.m_nameList->empty());
}

class StartSequence : public testing::Test {
 protected:
  TestDialog t;

  DlgServices Services() {
    return t.Services([] { return std::make_unique<test::FakePivlink>(); });
  }
};

TEST_F(StartSequence, RunsTheFilledDialogOnceAndDestroysItBeforeReturning) {
  int runs = 0;
  Args namesSeen;
  auto doModal = [&](CToggraDlg& d) {
    ++runs;
    EXPECT_EQ(d.m_trafficLight, 1);
    EXPECT_EQ(d.m_trayMode, 0);
    EXPECT_EQ(d.m_colour1, 60);
    EXPECT_EQ(d.m_colour2, 30);
    EXPECT_EQ(d.m_startColour, 0);
    EXPECT_EQ(d.m_exitOnRed, 1);
    EXPECT_EQ(d.m_stateFile, "/tmp/mein stand.txt");
    if (d.m_nameList) namesSeen = *d.m_nameList;
    // A column with a tray icon shows when the dialog is torn down.
    d.m_switchCount = 1;
    d.m_records[0].m_tray = std::make_unique<CSystemTray>(*d.m_services.trayShell);
    d.m_records[0].m_tray->Install(&d, kMsgTrayCallback, "Schalter Pumpe", kIconRed,
                                   kTrayIdTrafficLight, false, "", "", 0, 10);
    return IDOK;
  };
  CToggraApp app;
  EXPECT_FALSE(app.InitInstance({"/usr/local/bin/verkehrsampel", "-N[Pumpe Licht ]", "-F",
                                 "-S", "/tmp/mein stand.txt", "60", "30", "r"},
                                Services(), doModal));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(namesSeen, (Args{"Pumpe", "Licht"}));
  ASSERT_FALSE(t.tray.calls.empty());
  EXPECT_EQ(t.tray.calls.back().message, NIM_DELETE);
  EXPECT_TRUE(t.tray.icons.empty());
}

TEST_F(StartSequence, WarnsOnStderrAndStartsWithoutTheOwnOptions) {
  bool exclusive = false, trafficLight = true;
  testing::internal::CaptureStderr();
  CToggraApp().InitInstance({"/usr/bin/toggra", "--headless", "-X", "-T", "600", "30", "20"},
                            Services(), [&](CToggraDlg& d) {
                              exclusive = d.m_exclusive != 0;
                              trafficLight = d.m_trafficLight != 0;
                              return IDOK;
                            });
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(exclusive);
  EXPECT_FALSE(trafficLight);
  EXPECT_EQ(err,
            "toggra: unbekannte Option „-X“ übergangen\n"
            "toggra: Zahl „600“ übergangen: die spätere Zahl „20“ ersetzt sie (es zählen nur "
            "zwei Zahlen)\n");
}

TEST_F(StartSequence, NoArgumentsReachTheDialogAndTheResultIsIgnored) {
  for (const Args& argv : {Args{"/usr/bin/toggra"}, Args{}}) {
    int noArguments = -1;
    CToggraApp app;
    EXPECT_FALSE(app.InitInstance(argv, Services(), [&](CToggraDlg& d) {
      noArguments = d.m_noArguments;
      EXPECT_EQ(d.m_trafficLight, 0);
      EXPECT_NE(d.m_nameList, nullptr);
      return IDCANCEL;
    }));
    EXPECT_EQ(noArguments, 1) << argv.size();
  }
}

}  // namespace
}  // namespace toggra

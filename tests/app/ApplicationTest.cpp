#include "app/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ToggraDlg.h"
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

TEST(InfoRequests, HelpNamesEveryOption) {
  const auto help = InfoRequest({"--help"});
  ASSERT_TRUE(help.has_value());
  for (const char* option : {"-A", "-D", "-F", "-L", "-N[", "-S", "-T", "Zahl1 Zahl2",
                             "r, g, y", "ampel", "--version", "TOGGRA_BENCH"}) {
    EXPECT_NE(help->find(option), std::string::npos) << option;
  }
  EXPECT_EQ(help->back(), '\n');
}

TEST(InfoRequests, VersionAndOnlyAsTheSoleArgument) {
  EXPECT_EQ(InfoRequest({"--version"}), std::optional<std::string>("toggra 4.2.2\n"));
  EXPECT_FALSE(InfoRequest({}).has_value());
  EXPECT_FALSE(InfoRequest({"-T"}).has_value());
  EXPECT_FALSE(InfoRequest({"--help", "-T"}).has_value());
  EXPECT_FALSE(InfoRequest({"-T", "--version"}).has_value());
  EXPECT_FALSE(InfoRequest({"--HELP"}).has_value());
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

TEST_F(CopyStep, DurationsAreCopiedUnchanged) {
  CToggraDlg& d = Apply("60 30 g");
  EXPECT_EQ(d.m_colour1, 60);
  EXPECT_EQ(d.m_colour2, 30);
  EXPECT_EQ(d.m_startColour, 1);
  EXPECT_EQ(d.m_exitOnRed, 1);
}

TEST_F(CopyStep, ExitOnRedNeedsALetterAndASecondNumber) {
  CToggraDlg& d = Apply("60 g");
  EXPECT_EQ(d.m_colour1, 60);
  EXPECT_EQ(d.m_colour2, -1);
  EXPECT_EQ(d.m_exitOnRed, 0);
  EXPECT_EQ(Apply("60 30").m_exitOnRed, 0);
  EXPECT_EQ(Apply("r").m_exitOnRed, 0);
  EXPECT_EQ(Apply("1 -5 r").m_exitOnRed, 0);
  EXPECT_EQ(Apply("0 0 r").m_exitOnRed, 1);
}

TEST_F(CopyStep, GroupModeWithoutNumbersUsesTheDefaultColour) {
  CToggraDlg& d = Apply("-D");
  EXPECT_EQ(d.m_colour1, 0x003399);
  EXPECT_EQ(d.m_colour2, 0x003399);
  EXPECT_EQ(d.m_exitOnRed, 0);
  EXPECT_EQ(d.m_groupMode, 1);
  EXPECT_EQ(d.m_groupStride, 2);
  EXPECT_EQ(d.m_groupSize, 4);
}

TEST_F(CopyStep, GroupModeWithALetterEndsOnRed) {
  EXPECT_EQ(Apply("-D y").m_exitOnRed, 1);
}

TEST_F(CopyStep, GroupColoursSwapRedAndBlue) {
  CToggraDlg& d = Apply("-D 16711680 255");
  EXPECT_EQ(d.m_colour1, 0x0000FF);
  EXPECT_EQ(d.m_colour2, 0xFF0000);
  // Above the three colour bytes everything is dropped.
  EXPECT_EQ(Apply("-D 305419896").m_colour1, 0x785634);
  EXPECT_EQ(Apply("-D 99999999999").m_colour1, 0xFFFFFF);
  // A negative second number falls back to the default colour.
  EXPECT_EQ(Apply("-D 255 -1").m_colour2, 0x003399);
}

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
    DlgServices s;
    s.host = &t.host;
    s.prompts = &t.prompts;
    s.clock = &t.clock;
    s.registry = &t.registry;
    s.settingsRoot = &t.settingsRoot;
    s.files = &t.files;
    s.trayShell = &t.tray;
    s.createDevice = [] { return std::make_unique<test::FakePivlink>(); };
    return s;
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

TEST_F(StartSequence, NoArgumentsReachTheDialogAndTheResultIsIgnored) {
  int noArguments = -1;
  CToggraApp app;
  EXPECT_FALSE(app.InitInstance({"/usr/bin/toggra"}, Services(), [&](CToggraDlg& d) {
    noArguments = d.m_noArguments;
    EXPECT_EQ(d.m_trafficLight, 0);
    EXPECT_NE(d.m_nameList, nullptr);
    return IDCANCEL;
  }));
  EXPECT_EQ(noArguments, 1);
}

TEST_F(StartSequence, ToleratesAnEmptyArgumentVector) {
  bool ran = false;
  CToggraApp app;
  EXPECT_FALSE(app.InitInstance({}, Services(), [&](CToggraDlg& d) {
    ran = true;
    EXPECT_EQ(d.m_noArguments, 1);
    return IDOK;
  }));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace toggra

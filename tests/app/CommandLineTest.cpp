#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "app/StartOptions.h"

#include "support/CaseNames.h"

namespace toggra {
namespace {

StartOptions Parse(const std::string& line) { return ParseCommandLine(line, "toggra"); }

// Every field, so that a case can say "nothing else changed".
void ExpectSameOptions(const StartOptions& a, const StartOptions& b) {
  EXPECT_EQ(a.trafficLight, b.trafficLight);
  EXPECT_EQ(a.groupMode, b.groupMode);
  EXPECT_EQ(a.groupStride, b.groupStride);
  EXPECT_EQ(a.groupSize, b.groupSize);
  EXPECT_EQ(a.trayMode, b.trayMode);
  EXPECT_EQ(a.exclusive, b.exclusive);
  EXPECT_EQ(a.logging, b.logging);
  EXPECT_EQ(a.names, b.names);
  EXPECT_EQ(a.stateFile, b.stateFile);
  EXPECT_EQ(a.number1, b.number1);
  EXPECT_EQ(a.number2, b.number2);
  EXPECT_EQ(a.colour, b.colour);
}

TEST(Emptiness, OnlyAnEmptyLineOrALeadingHighByteCountsAsNoArguments) {
  EXPECT_TRUE(Parse("").noArguments);
  EXPECT_TRUE(Parse("\xFC").noArguments);
  EXPECT_TRUE(Parse("\x80-T").noArguments);
  EXPECT_FALSE(Parse("-T").noArguments);
  EXPECT_FALSE(Parse("g\xFC").noArguments);
  // Only spaces: an argument, but every other default stays.
  const StartOptions spaces = Parse("    ");
  ExpectSameOptions(spaces, StartOptions{});
  EXPECT_FALSE(spaces.noArguments);
}

TEST(OptionLetters, EachLetterSetsItsFlagInEitherCase) {
  const StartOptions lower = Parse("-a -d -f -l -t");
  ExpectSameOptions(lower, Parse("-A -D -F -L -T"));
  EXPECT_TRUE(lower.trafficLight && lower.groupMode && lower.logging && lower.exclusive);
  EXPECT_FALSE(lower.trayMode);
  EXPECT_EQ(lower.groupStride, 2);
  EXPECT_EQ(lower.groupSize, 4);
}

TEST(OptionLetters, NeedNothingAfterThem) {
  const StartOptions joined = Parse("-A-T");
  EXPECT_TRUE(joined.trafficLight);
  EXPECT_TRUE(joined.exclusive);
  const StartOptions withColour = Parse("-Ag");
  EXPECT_TRUE(withColour.trafficLight);
  EXPECT_EQ(withColour.colour, 1);
}

TEST(OptionLetters, UnknownLettersPassOverTheDashOnly) {
  const StartOptions o = Parse("-X -T");
  EXPECT_TRUE(o.exclusive);
  // What follows the dash keeps its meaning.
  EXPECT_EQ(Parse("-g").colour, 1);
  EXPECT_EQ(Parse("-5").number1, 5);
  ExpectSameOptions(Parse("-"), StartOptions{});
  ExpectSameOptions(Parse("- -"), StartOptions{});
}

TEST(ColourLetters, OnlyLowerCaseLettersCountAndTheLastWins) {
  EXPECT_EQ(Parse("r").colour, 0);
  EXPECT_EQ(Parse("g").colour, 1);
  EXPECT_EQ(Parse("y").colour, 2);
  EXPECT_EQ(Parse("r y g").colour, 1);
  EXPECT_EQ(Parse("G R Y").colour, -1);
  // Letters inside a word count one by one: "grey" ends in yellow.
  EXPECT_EQ(Parse("grey").colour, 2);
  EXPECT_EQ(Parse("bunt").colour, -1);
}

struct PairCase {
  const char* line;
  int number1;
  int number2;
};

std::ostream& operator<<(std::ostream& os, const PairCase& c) { return os << '"' << c.line << '"'; }

class NumberPairs : public testing::TestWithParam<PairCase> {};

TEST_P(NumberPairs, ReadAsTheCLibraryReadsTwoIntegers) {
  const StartOptions o = Parse(GetParam().line);
  EXPECT_EQ(o.number1, GetParam().number1);
  EXPECT_EQ(o.number2, GetParam().number2);
}

constexpr int kMax = std::numeric_limits<int>::max();
constexpr int kMin = std::numeric_limits<int>::min();

INSTANTIATE_TEST_SUITE_P(
    Table, NumberPairs,
    testing::Values(
        PairCase{"60 30 g", 60, 30}, PairCase{"60 g", 60, -1}, PairCase{"60", 60, -1},
        PairCase{"0 0", 0, 0},
        // A later pair overwrites: 56 is a pair of its own.
        PairCase{"12 34 56", 56, 34}, PairCase{"60    30", 60, 30},
        // Any white space separates the two, none is needed before a sign.
        PairCase{"60\t30", 60, 30}, PairCase{"60-30", 60, -30},
        // The second may carry a sign; it is consumed with its digits.
        PairCase{"60 -30", 60, -30}, PairCase{"60 +30", 60, 30}, PairCase{"60 - 30", 30, -1},
        PairCase{"60x30", 30, -1}, PairCase{"60,30", 30, -1}, PairCase{"007 08", 7, 8},
        PairCase{"-T 5 -T 6", 6, -1},
        // Beyond 32 bits the value saturates at the int range.
        PairCase{"99999999999", kMax, -1}, PairCase{"2147483647 2147483648", kMax, kMax},
        PairCase{"1 -2147483648", 1, kMin}, PairCase{"1 -99999999999999999999999", 1, kMin},
        // A high byte ends the scan before the second pair.
        PairCase{"60 30 \xFC 5", 60, 30}),
    [](const auto& info) { return test::RowName(info.index, info.param.line); });

TEST(NumberPairs, LeaveOtherOptionsAfterThemIntact) {
  const StartOptions o = Parse("60 30 g -T");
  EXPECT_EQ(o.colour, 1);
  EXPECT_TRUE(o.exclusive);
  const StartOptions tight = Parse("60 30r");
  EXPECT_EQ(tight.number2, 30);
  EXPECT_EQ(tight.colour, 0);
}

struct NamesCase {
  const char* line;
  std::vector<std::string> names;
};

std::ostream& operator<<(std::ostream& os, const NamesCase& c) { return os << '"' << c.line << '"'; }

class NameLists : public testing::TestWithParam<NamesCase> {};

TEST_P(NameLists, ReadNamesUpToTheClosingBracket) {
  EXPECT_EQ(Parse(GetParam().line).names, GetParam().names);
}

using Names = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Table, NameLists,
    testing::Values(NamesCase{"-N[]", {}}, NamesCase{"-N[", {}}, NamesCase{"-N", {}},
                    NamesCase{"-N[Pumpe Licht ]", Names{"Pumpe", "Licht"}},
                    NamesCase{"-N[Pumpe Licht]", Names{"Pumpe", "Licht]"}},
                    NamesCase{"-n[\"Pumpe 1\" \"Licht 2\"]", Names{"Pumpe 1", "Licht 2"}},
                    NamesCase{"-N[\"a [b]\"]", Names{"a [b]"}},
                    NamesCase{"-N[a  ]", Names{"a", "]"}}, NamesCase{"-N[a ", Names{"a"}},
                    NamesCase{"-N[a  ", Names{"a", ""}}, NamesCase{"-N[   a ]", Names{"a"}},
                    NamesCase{"-N[\"\" b ]", Names{"", "b"}},
                    NamesCase{"-N[\"offen", Names{"offen"}}, NamesCase{"-N xyz [a ]", Names{"a"}},
                    NamesCase{"-N[a ] -n[b ]", Names{"a", "b"}},
                    // Names may hold any byte but the space.
                    NamesCase{"-N[Gr\xFCn \"\xC3\xA4 b\"]", Names{"Gr\xFCn", "\xC3\xA4 b"}},
                    NamesCase{"-N[a\tb ]", Names{"a\tb"}}),
    [](const auto& info) { return test::RowName(info.index, info.param.line); });

TEST(NameLists, ScanGoesOnAfterTheBracket) {
  const StartOptions o = Parse("-N[a ] g -T");
  EXPECT_EQ(o.names, Names{"a"});
  EXPECT_EQ(o.colour, 1);
  EXPECT_TRUE(o.exclusive);
  EXPECT_TRUE(Parse("-N[]-T").exclusive);
  // Digits and letters inside the list are names, not options.
  const StartOptions inside = Parse("-N[60 g -T ]");
  EXPECT_EQ(inside.names, (Names{"60", "g", "-T"}));
  EXPECT_EQ(inside.number1, -1);
  EXPECT_EQ(inside.colour, -1);
  EXPECT_FALSE(inside.exclusive);
}

TEST(NameLists, WithoutABracketTheRestOfTheLineIsTakenUp) {
  const StartOptions o = Parse("-N 60 g -T");
  ExpectSameOptions(o, StartOptions{});
}

TEST(StateFile, ValueFollowsTheLetterOrTheSpacesAfterIt) {
  EXPECT_EQ(Parse("-Sstate.txt").stateFile, "state.txt");
  EXPECT_EQ(Parse("-s   state.txt").stateFile, "state.txt");
  EXPECT_EQ(Parse("-S /tmp/a b").stateFile, "/tmp/a");
  EXPECT_EQ(Parse("-S a -S b").stateFile, "b");
  EXPECT_EQ(Parse("-S \"offen").stateFile, "offen");
  EXPECT_EQ(Parse("-S \"\" -S").stateFile, "");
  // At the end of the line the letter changes nothing.
  ExpectSameOptions(Parse("-S"), StartOptions{});
  ExpectSameOptions(Parse("-S    "), StartOptions{});
  EXPECT_EQ(Parse("-S a -S").stateFile, "a");
}

TEST(StateFile, QuotedPathKeepsSpacesAndTheScanGoesOn) {
  const StartOptions o = Parse("-S \"C:\\Daten\\stand.txt\" -T");
  EXPECT_EQ(o.stateFile, "C:\\Daten\\stand.txt");
  EXPECT_TRUE(o.exclusive);
  EXPECT_EQ(Parse("-S \"/tmp/mein stand.txt\"").stateFile, "/tmp/mein stand.txt");
  // Unquoted, an option right after the path is part of it.
  const StartOptions glued = Parse("-S a-T");
  EXPECT_EQ(glued.stateFile, "a-T");
  EXPECT_FALSE(glued.exclusive);
}

TEST(HighBytes, EndTheScanBetweenOptionsButAreLettersInsideNamesAndPaths) {
  const StartOptions o = Parse("-T \xFC -A 60 g");
  EXPECT_TRUE(o.exclusive);
  EXPECT_FALSE(o.trafficLight);
  EXPECT_EQ(o.number1, -1);
  EXPECT_EQ(o.colour, -1);
  EXPECT_FALSE(Parse("-\xFC -T").exclusive);  // directly after a dash too
  const StartOptions inside = Parse("-S /tmp/St\xE4nde.txt -N[M\xFChle ] -T");
  EXPECT_EQ(inside.stateFile, "/tmp/St\xE4nde.txt");
  EXPECT_EQ(inside.names, Names{"M\xFChle"});
  EXPECT_TRUE(inside.exclusive);
  // An embedded terminator ends the line.
  const StartOptions cut = Parse(std::string("-T\0-A", 5));
  EXPECT_TRUE(cut.exclusive);
  EXPECT_FALSE(cut.trafficLight);
}

TEST(ProgramName, AmpelInAnyCaseSelectsTrafficLights) {
  EXPECT_TRUE(ParseCommandLine("", "verkehrsampel").trafficLight);
  EXPECT_TRUE(ParseCommandLine("", "AMPEL").trafficLight);
  EXPECT_TRUE(ParseCommandLine("-T", "Ampel2").trafficLight);
  EXPECT_FALSE(ParseCommandLine("", "toggra").trafficLight);
  EXPECT_FALSE(ParseCommandLine("", "amp-el").trafficLight);
  EXPECT_FALSE(ParseCommandLine("", "\xC4mpel").trafficLight);
}

// ---- what had no effect is named, one warning per piece ----

struct WarningCase {
  const char* line;
  std::vector<std::string> warnings;
};

std::ostream& operator<<(std::ostream& os, const WarningCase& c) {
  return os << '"' << c.line << '"';
}

class Warnings : public testing::TestWithParam<WarningCase> {};

TEST_P(Warnings, NameEachPieceThatHadNoEffect) {
  EXPECT_EQ(Parse(GetParam().line).warnings, GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Warnings,
    testing::Values(
        // What works says nothing.
        WarningCase{"-A -D -F -L -T -N[a \"b c\"] -S /tmp/x 60 30 g", {}},
        WarningCase{"-g -A 60 -5", {}}, WarningCase{"", {}}, WarningCase{"   ", {}},
        WarningCase{"-N[]-T", {}},
        WarningCase{"-X -T", {"unbekannte Option „-X“ übergangen"}},
        WarningCase{"-R", {"unbekannte Option „-R“ übergangen"}},
        WarningCase{"- 5", {"„-“ ohne Optionsbuchstaben übergangen"}},
        WarningCase{"-5", {"„-“ vor „5“ übergangen: die erste Zahl ist nie negativ"}},
        WarningCase{"600 30 20",
                    {"Zahl „600“ übergangen: die spätere Zahl „20“ ersetzt sie (es zählen nur "
                     "zwei Zahlen)"}},
        WarningCase{"1 2 3 4",
                    {"Zahl „1“ übergangen: die spätere Zahl „3“ ersetzt sie (es zählen nur "
                     "zwei Zahlen)",
                     "Zahl „2“ übergangen: die spätere Zahl „4“ ersetzt sie (es zählen nur "
                     "zwei Zahlen)"}},
        WarningCase{"r g", {"Farbe „r“ übergangen: die spätere Farbe „g“ ersetzt sie"}},
        WarningCase{"foo -T \"box", {"„foo“ nicht verstanden, übergangen",
                                     "„\"box“ nicht verstanden, übergangen"}},
        WarningCase{"-S", {"„-S“ ohne Datei übergangen"}},
        WarningCase{"-S \"\"", {"„-S“ ohne Datei übergangen"}},
        WarningCase{"-S a -S b",
                    {"Zustandsdatei „a“ übergangen: ein späteres „-S“ ersetzt sie"}},
        WarningCase{"-N", {"„-N“ ohne „[“ übergangen"}},
        WarningCase{"-N 60 -T",
                    {"„60 -T“ übergangen: „-N“ ohne „[“ verbraucht den Rest der Befehlszeile"}},
        WarningCase{"-N xyz [a ]", {"„xyz“ zwischen „-N“ und „[“ übergangen"}},
        WarningCase{"-N[\"Pumpe 1\" Licht]",
                    {"Namensliste ohne „]“: der Rest der Befehlszeile wurde als Namen gelesen "
                     "(vor „]“ gehört ein Leerzeichen)"}},
        WarningCase{"-T \xFC -A",
                    {"„\xFC -A“ übergangen: ein Byte ab 0x80 zwischen den Optionen beendet das "
                     "Lesen"}}));

TEST(Warnings, LeaveTheOptionsAsTheyWere) {
  // The warnings are only told; every line means what it meant before.
  for (const char* line : {"-X -T 5", "600 30 20 g", "-N 60 -T", "foo -A", "-S"}) {
    StartOptions o = Parse(line);
    EXPECT_FALSE(o.warnings.empty()) << line;
    EXPECT_FALSE(o.help) << line;
  }
  EXPECT_TRUE(Parse("-X -T").exclusive);
  EXPECT_EQ(Parse("600 30 20").number1, 20);
  EXPECT_EQ(Parse("600 30 20").number2, 30);
}

TEST(HelpLetters, HAndQuestionMarkAskForTheHelpAnywhereBetweenOptions) {
  for (const char* line : {"-h", "-H", "-?", "-A -h -T", "60 -?"}) {
    const StartOptions o = Parse(line);
    EXPECT_TRUE(o.help) << line;
    EXPECT_TRUE(o.warnings.empty()) << line;
  }
  // Inside a name or a path it is a name or a path.
  EXPECT_FALSE(Parse("-N[-h ]").help);
  EXPECT_FALSE(Parse("-S -h").help);
  EXPECT_FALSE(Parse("-T \xFC -h").help);
}

}  // namespace
}  // namespace toggra

// The help text, the man pages and the metainfo against what the programs do:
// an option the parser acts on but a document leaves out, a documented option
// the parser ignores, or a version a document forgot, fails here.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "app/Application.h"
#include "app/StartOptions.h"

namespace toggra {
namespace {

using Names = std::set<std::string>;

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(TOGGRA_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The body of a man page section, from the line break that ends its .SH line up
// to the next .SH.
std::string ManSection(const std::string& page, const std::string& title) {
  const std::string heading = "\n.SH " + title + "\n";
  const size_t begin = page.find(heading);
  if (begin == std::string::npos) return {};
  const size_t end = page.find("\n.SH ", begin + heading.size());
  const size_t first = begin + heading.size() - 1;  // keeps the line break before the body
  return page.substr(first, end == std::string::npos ? end : end - first);
}

// The lines of the help text from `title` up to the next blank line.
std::string HelpBlock(const std::string& help, const std::string& title) {
  const size_t begin = help.find(title);
  if (begin == std::string::npos) return {};
  const size_t end = help.find("\n\n", begin);
  return help.substr(begin, end == std::string::npos ? end : end - begin);
}

Names Matches(const std::string& text, const std::string& pattern) {
  Names found;
  const std::regex re(pattern, std::regex::multiline);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it)
    found.insert((*it)[1]);
  return found;
}

std::string Help() { return InfoRequest({"--help"}).value_or(""); }

bool SameOptions(const StartOptions& a, const StartOptions& b) {
  return a.trafficLight == b.trafficLight && a.groupMode == b.groupMode &&
         a.groupStride == b.groupStride && a.groupSize == b.groupSize &&
         a.trayMode == b.trayMode && a.exclusive == b.exclusive && a.logging == b.logging &&
         a.names == b.names && a.stateFile == b.stateFile && a.number1 == b.number1 &&
         a.number2 == b.number2 && a.colour == b.colour && a.noArguments == b.noArguments;
}

// The option letters the parser acts on. Each is tried with a name list and a
// value after it, so that the options that take one show their effect too.
Names ParsedOptionLetters() {
  const std::string tail = "[w ] w";
  const StartOptions without = ParseCommandLine(tail, "toggra");
  Names letters;
  for (char c = 'A'; c <= 'Z'; ++c) {
    if (!SameOptions(ParseCommandLine(std::string("-") + c + tail, "toggra"), without))
      letters.insert(std::string(1, c));
  }
  return letters;
}

class OptionDocumentation : public testing::Test {
 protected:
  const Names parsed = ParsedOptionLetters();
  const std::string man = ReadSource("doc/toggra.1");
};

TEST_F(OptionDocumentation, HelpListsExactlyTheParsedOptions) {
  ASSERT_FALSE(parsed.empty());
  EXPECT_EQ(Matches(Help(), R"(^  -([A-Z])\b)"), parsed);
}

TEST_F(OptionDocumentation, ManPageListsExactlyTheParsedOptions) {
  EXPECT_EQ(Matches(ManSection(man, "OPTIONS"), R"(^\.TP\n\.B[IR]? \\-([A-Z])\b)"), parsed);
  EXPECT_EQ(Matches(ManSection(man, "SYNOPSIS"), R"(\\-([A-Z])\b)"), parsed);
}

TEST_F(OptionDocumentation, HelpAndManPageListExactlyTheOwnOptions) {
  const Names inHelp = Matches(Help(), R"(^  --([a-z]+))");
  const Names inMan = Matches(ManSection(man, "OPTIONS"), R"(^\.TP\n\.B \\-\\-([a-z]+)$)");
  const Names known(OwnOptionNames().begin(), OwnOptionNames().end());
  EXPECT_EQ(inHelp, known);
  EXPECT_EQ(inMan, known);
  for (const std::string& option : known)
    EXPECT_TRUE(TakeOwnOptions({"--" + option}).unknown.empty()) << option;
  // The two that answer without starting.
  EXPECT_TRUE(InfoRequest({"--help"}).has_value());
  EXPECT_TRUE(InfoRequest({"--version"}).has_value());
}

TEST_F(OptionDocumentation, HelpLettersAreDocumentedWhereTheParserAnswersThem) {
  for (const char* letter : {"-h", "-?"}) {
    EXPECT_TRUE(ParseCommandLine(letter, "toggra").help) << letter;
  }
  EXPECT_NE(Help().find("  -h, -?"), std::string::npos);
  EXPECT_NE(ManSection(man, "OPTIONS").find(".BR \\-h \", \" \\-?"), std::string::npos);
}

TEST_F(OptionDocumentation, HelpAndManPageNameTheSameEnvironment) {
  const Names inHelp = Matches(HelpBlock(Help(), "Umgebung:"), R"(^  ([A-Z][A-Z_]+) )");
  const Names inMan = Matches(ManSection(man, "ENVIRONMENT"), R"(^\.TP\n\.B ([A-Z][A-Z_]+)$)");
  EXPECT_FALSE(inHelp.empty());
  EXPECT_EQ(inHelp, inMan);
}

// The commands in toggra-bench's usage text and in its man page.
TEST(BenchToolDocumentation, ManPageListsExactlyTheToolsCommands) {
  FILE* pipe = popen(TOGGRA_BENCH_TOOL " 2>&1", "r");
  ASSERT_NE(pipe, nullptr);
  std::string usage;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) usage += buffer;
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 2) << usage;

  const Names inUsage = Matches(usage, R"(toggra-bench FILE ([a-z]+))");
  const std::string man = ReadSource("doc/toggra-bench.1");
  EXPECT_FALSE(inUsage.empty());
  EXPECT_EQ(Matches(ManSection(man, "COMMANDS"), R"(^\.TP\n\.BI? ([a-z]+)\b)"), inUsage);
}

// Each document that names the version names the program's own.
TEST(VersionInDocuments, MatchesTheProgramsVersion) {
  const std::string version = InfoRequest({"--version"}).value_or("");
  ASSERT_EQ(version.rfind("toggra ", 0), 0u);
  const std::string number = version.substr(7, version.find('\n') - 7);
  for (const char* page : {"doc/toggra.1", "doc/toggra-bench.1"}) {
    const Names th = Matches(ReadSource(page), R"re(^\.TH .* "toggra ([0-9.]+)")re");
    EXPECT_EQ(th, Names{number}) << page;
  }
  // The newest release comes first.
  const std::string metainfo = ReadSource("data/org.toggra.Toggra.metainfo.xml");
  std::smatch release;
  ASSERT_TRUE(std::regex_search(metainfo, release, std::regex(R"re(<release version="([^"]+)")re")));
  EXPECT_EQ(release[1], number);
}

}  // namespace
}  // namespace toggra

// Every command example of README.md and the man pages, run as written through
// /bin/sh on a fresh demo set with the built programs on PATH, offscreen, and
// ended by SIGTERM. Each example runs twice: once with a stand-in `toggra`
// that records the arguments the shell made (read here by the program's own
// argument handling), once with the real one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/StartOptions.h"
#include "device/BenchFormat.h"
#include "support/TempDir.h"

extern char** environ;

namespace toggra::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kShownDeadline = 8s;
constexpr auto kEndDeadline = 4s;

struct Example {
  std::string source;  // file and line
  std::vector<std::string> lines;
};

void PrintTo(const Example& e, std::ostream* os) { *os << e.source; }

std::string ReadSource(const std::string& relative) {
  return TempDir::Read(std::string(TOGGRA_SOURCE_DIR) + "/" + relative);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Indented blocks after a blank line (list continuations follow text, not a
// blank line); fenced blocks hold file contents, not commands.
void ReadmeExamples(std::vector<Example>& out) {
  const std::vector<std::string> lines = SplitLines(ReadSource("README.md"));
  bool inBlock = false, fenced = false;
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.rfind("```", 0) == 0) fenced = !fenced;
    const bool code = !fenced && line.rfind("    ", 0) == 0;
    if (code && (inBlock || (k > 0 && lines[k - 1].empty()))) {
      if (!inBlock) out.push_back({"README.md:" + std::to_string(k + 1), {}});
      out.back().lines.push_back(line.substr(4));
      inBlock = true;
    } else {
      inBlock = false;
    }
  }
}

// The .nf ... .fi blocks of a page's EXAMPLES section, with roff's escapes undone.
void ManExamples(const std::string& page, std::vector<Example>& out) {
  const std::vector<std::string> lines = SplitLines(ReadSource(page));
  bool inExamples = false, inBlock = false;
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.rfind(".SH ", 0) == 0) inExamples = line == ".SH EXAMPLES";
    if (!inExamples) continue;
    if (line == ".nf") {
      out.push_back({page + ":" + std::to_string(k + 1), {}});
      inBlock = true;
    } else if (line == ".fi") {
      inBlock = false;
    } else if (inBlock && line[0] != '.') {
      out.back().lines.push_back(std::regex_replace(line, std::regex(R"(\\-)"), "-"));
    }
  }
}

std::vector<Example> AllExamples() {
  std::vector<Example> all;
  ReadmeExamples(all);
  std::vector<std::string> pages;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(TOGGRA_SOURCE_DIR) + "/doc"))
    if (entry.path().extension() == ".1") pages.push_back("doc/" + entry.path().filename().string());
  std::sort(pages.begin(), pages.end());
  for (const std::string& page : pages) ManExamples(page, all);
  return all;
}

// Blocks that are not run here, and why: the build, test, package and
// benchmark commands are what CI runs itself (they need a compiler, root or
// minutes); a synopsis shows the form, not a command; a broker on another
// machine and systemd are not here (the MQTT tests run the bridge and the
// headless program against a broker of their own on loopback).
std::string NotRunBecause(const Example& e) {
  for (const std::string& line : e.lines) {
    if (line.find("mqtt://") != std::string::npos || line.find("mqtts://") != std::string::npos)
      return "needs the broker it names";
    if (line.find("systemctl") != std::string::npos) return "needs systemd";
    for (const char* build : {"cmake ", "cpack", "install-deps.sh", "_benchmarks", "bench/"})
      if (line.find(build) != std::string::npos) return "build, package or benchmark command";
    if (line.find("[-A]") != std::string::npos || line.find(" | ") != std::string::npos)
      return "synopsis";
  }
  return {};
}

// Runs of toggra as a command, by name (or also by path); not toggra-bench,
// not a folder.
int ToggraCommands(const std::string& script, bool byPathToo) {
  static const std::regex byName(R"((^|[\s;&|])toggra(\s|$))");
  static const std::regex byPath(R"((^|[\s;&|/])toggra(\s|$))");
  const std::regex& command = byPathToo ? byPath : byName;
  int n = 0;
  for (const std::string& line : SplitLines(script)) {
    const std::string code = line.substr(0, line.find('#'));
    n += static_cast<int>(std::distance(
        std::sregex_iterator(code.begin(), code.end(), command), std::sregex_iterator()));
  }
  return n;
}

// The example as a script for this test's folder: /tmp becomes the folder,
// ./build (the documents' build folder, from the source tree) the build folder
// of these programs, and the placeholders of a usage summary the demo set and
// its first channel, optional parts left out.
std::string Script(const Example& e, const std::string& dir) {
  const std::string build = std::string(TOGGRA_EXECUTABLE).substr(
      0, std::string(TOGGRA_EXECUTABLE).find_last_of('/') + 1);
  std::string script;
  for (std::string line : e.lines) {
    // A marker first: the build folder itself may lie under /tmp.
    static const std::string kBuildMark = "\x01build\x01";
    line = std::regex_replace(line, std::regex(R"((\$PWD/|\./)build/)"), kBuildMark);
    line = std::regex_replace(line, std::regex(R"( \[(--[a-z-]+|[A-Z]+)\])"), "");
    line = std::regex_replace(line, std::regex(R"(DEVICE ID VALUE)"), "0 16 1");
    // Of alternatives the first, and a channel of the demo set for an ID.
    line = std::regex_replace(line, std::regex(R"(\b([a-z]+)(\|[a-z]+)+\b)"), "$1");
    line = std::regex_replace(line, std::regex(R"(\bID\b)"), "bench:0:1");
    const bool writesDemo = line.find(" demo") != std::string::npos;
    line = std::regex_replace(line, std::regex(R"(\bFILE\b)"),
                              writesDemo ? "/tmp/new-demo.bench" : "/tmp/toggra-demo.bench");
    line = std::regex_replace(line, std::regex("/tmp/"), dir + "/");
    for (size_t at; (at = line.find(kBuildMark)) != std::string::npos;)
      line.replace(at, kBuildMark.size(), build);
    script += line + "\n";
  }
  return script;
}

class ShellRun {
 public:
  ShellRun(const std::string& script, const std::map<std::string, std::string>& env,
           const std::string& dir)
      : m_err(dir + "/run.err") {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      all[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    }
    for (const auto& [k, v] : env) all[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : all) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string sh = "/bin/sh", c = "-c", body = script;
    char* argv[] = {sh.data(), c.data(), body.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir + "/run.out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, every;
    sigemptyset(&none);
    sigfillset(&every);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &every);
    // A group of its own: background instances are ended with the shell.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    if (posix_spawn(&m_pid, sh.c_str(), &actions, &attr, argv, envp.data()) != 0) m_pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ShellRun() {
    if (m_pid > 0 && GroupAlive()) ::kill(-m_pid, SIGKILL);
    Reap();
  }

  std::string Stderr() const { return TempDir::Read(m_err); }

  // Waits until `shown` instances reported their window, or the shell ended
  // when none is expected. False on the deadline.
  bool WaitForStart(int shown) {
    return WaitFor([&] { return shown == 0 ? m_status >= 0 : CountShown() >= shown; });
  }
  bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kShownDeadline;
    while (std::chrono::steady_clock::now() < end) {
      Reap();
      if (done() || (m_status >= 0 && !GroupAlive())) return done();
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  // SIGTERM to the whole group; true when every process of it has gone.
  bool End() {
    if (GroupAlive()) ::kill(-m_pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + kEndDeadline;
    while (std::chrono::steady_clock::now() < end) {
      Reap();
      if (!GroupAlive()) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  // The shell's wait status once it ended by itself before End, else -1.
  int ShellStatusBeforeEnd() const { return m_statusBeforeEnd; }
  void MarkEnd() { m_statusBeforeEnd = m_status; }

 private:
  int CountShown() const {
    int n = 0;
    for (const std::string& line : SplitLines(Stderr())) n += line.rfind("shown ", 0) == 0;
    return n;
  }
  bool GroupAlive() const { return m_pid > 0 && ::kill(-m_pid, 0) == 0; }
  void Reap() {
    int status = 0;
    if (m_pid > 0 && m_status < 0 && ::waitpid(m_pid, &status, WNOHANG) == m_pid) m_status = status;
  }

  pid_t m_pid = -1;
  int m_status = -1;
  int m_statusBeforeEnd = -1;
  std::string m_err;
};

std::string Directory(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

class DocumentedExample : public ::testing::TestWithParam<Example> {
 protected:
  void SetUp() override {
    ::mkdir(dir.File("runtime").c_str(), 0700);
    ::mkdir(dir.File("stub").c_str(), 0700);
    // The stand-in records each call's arguments, NUL-separated, in a file
    // of its own, so that calls running side by side do not mix.
    const std::string stub = dir.File("stub/toggra");
    ::mkdir(dir.File("argv").c_str(), 0700);
    TempDir::Write(stub,
                   "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\000' \"$a\"; done "
                   "> \"$ARGV_DIR/call.$$\"\n");
    ::chmod(stub.c_str(), 0755);
    demo = dir.File("toggra-demo.bench");
    const std::string write = std::string(TOGGRA_BENCH_TOOL) + " " + demo + " demo";
    ASSERT_EQ(std::system(write.c_str()), 0);
  }

  std::map<std::string, std::string> Environment(const std::string& path) const {
    return {{"PATH", path + ":" + std::getenv("PATH")},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"TOGGRA_REPORT_SHOWN", "1"},
            {"TOGGRA_BENCH", demo},
            {"TOGGRA_BENCH_LOG", dir.File("commands.log")},
            {"TOGGRA_HKCU", dir.File("HKEY_CURRENT_USER.reg")},
            {"TOGGRA_HKLM", dir.File("HKEY_LOCAL_MACHINE.reg")},
            {"HOME", dir.Path().string()},
            {"XDG_STATE_HOME", dir.File("state")},
            {"XDG_RUNTIME_DIR", dir.File("runtime")},
            {"ARGV_DIR", dir.File("argv")}};
  }

  // The argument lists the stand-in received.
  std::vector<std::vector<std::string>> RecordedCalls() const {
    std::vector<std::vector<std::string>> calls;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("argv"))) {
      std::vector<std::string> args;
      std::istringstream fields(TempDir::Read(entry.path().string()));
      for (std::string arg; std::getline(fields, arg, '\0');) args.push_back(arg);
      calls.push_back(args);
    }
    return calls;
  }

  bool DemoHasEightChannels() const {
    const BenchParse parse = ParseBench(TempDir::Read(demo), demo);
    return std::any_of(parse.set.devices.begin(), parse.set.devices.end(),
                       [](const BenchDevice& d) { return d.switches == 8; });
  }

  TempDir dir;
  std::string demo;
};

TEST_P(DocumentedExample, RunsAsWrittenThroughAShell) {
  const Example& e = GetParam();
  if (const std::string why = NotRunBecause(e); !why.empty()) GTEST_SKIP() << why;
  const std::string script = Script(e, dir.Path().string());
  const int instances = ToggraCommands(script, true);
  const int byName = ToggraCommands(script, false);
  // A page's later examples go on with the bench file an earlier one wrote.
  const std::string text = Script(Example{e.source, e.lines}, "/tmp");
  static const std::regex benchPath(R"(/tmp/([\w.-]+\.bench))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), benchPath);
       it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    if (text.find(name + " demo") == std::string::npos && !std::ifstream(dir.File(name)))
      TempDir::Write(dir.File(name), TempDir::Read(demo));
  }
  if (script.find("-D ") != std::string::npos && !DemoHasEightChannels())
    GTEST_SKIP() << "the demo set has no 8-channel device for the group layout";

  // What the shell hands over reads without a single warning.
  if (byName > 0) {
    ShellRun stub(script, Environment(dir.File("stub") + ":" + Directory(TOGGRA_BENCH_TOOL)),
                  dir.Path().string());
    stub.WaitFor([&] { return static_cast<int>(RecordedCalls().size()) >= byName; });
    EXPECT_TRUE(stub.End());
    const auto calls = RecordedCalls();
    EXPECT_EQ(static_cast<int>(calls.size()), byName) << script;
    for (const auto& args : calls) {
      EXPECT_FALSE(AnswerBeforeStart(args, true).has_value()) << script;
      const StartOptions o =
          ParseCommandLine(AssembleCommandLine(TakeOwnOptions(args).rest), "toggra");
      EXPECT_TRUE(o.warnings.empty()) << script << o.warnings.front();
      if (script.find("-N[") != std::string::npos)
        EXPECT_EQ(o.names, (std::vector<std::string>{"Pumpe 1", "Licht"}));
    }
    std::remove(dir.File("stand.txt").c_str());
  }

  ShellRun run(script, Environment(Directory(TOGGRA_EXECUTABLE) + ":" + Directory(TOGGRA_BENCH_TOOL)),
               dir.Path().string());
  EXPECT_TRUE(run.WaitForStart(instances)) << script << run.Stderr();
  run.MarkEnd();
  EXPECT_TRUE(run.End()) << "still running after SIGTERM:\n" << script;
  const int status = run.ShellStatusBeforeEnd();
  if (status >= 0) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << script << run.Stderr();
  // No warning, error or missing command on the way.
  for (const std::string& line : SplitLines(run.Stderr())) {
    EXPECT_NE(line.rfind("toggra", 0), 0u) << script << line;
    EXPECT_EQ(line.find("not found"), std::string::npos) << script << line;
  }
  if (script.find(" -S ") != std::string::npos) {
    const std::string state = TempDir::Read(dir.File("stand.txt"));
    EXPECT_TRUE(std::regex_match(state, std::regex(R"(-?\d+( -?\d+){7})"))) << state;
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentedExample, ::testing::ValuesIn(AllExamples()),
                         [](const auto& info) {
                           std::string name = info.param.source;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(DocumentedExamples, AreFoundAndMostOfThemRun) {
  int run = 0;
  for (const Example& e : AllExamples()) run += NotRunBecause(e).empty();
  // README: talk timer, timed switch-on, two instances, named columns, bench
  // tool; the man pages: four and three.
  EXPECT_GE(run, 12);
}

}  // namespace
}  // namespace toggra::test

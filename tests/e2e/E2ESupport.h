// The real program started as a child process on a bench file of its own,
// with its settings, state and protocol files in a temporary folder, and
// observed from outside: the command log, the bench file, the state file,
// stderr and the exit status.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/BenchFile.h"
#include "device/BenchFormat.h"
#include "support/TempDir.h"

extern char** environ;

namespace toggra::e2e {

using namespace std::chrono_literals;
using test::TempDir;

// Polls `done` until it holds or `timeout` has passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                      std::chrono::milliseconds step = 20ms) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(step);
  }
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline long Count(const std::vector<std::string>& lines, const std::string& line) {
  return std::count(lines.begin(), lines.end(), line);
}

// Writes a state file as the program does: opened without truncation,
// locked without waiting (tried again while a reader holds it), then
// truncated and written in one piece.
inline bool WriteStateWhole(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool locked = false;
  WaitUntil([&] { return locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0; }, 2s, 1ms);
  const bool ok = locked && ::ftruncate(fd, 0) == 0 &&
                  ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// Writes eight states to a running program's state file until it has applied
// them (`applied` sees the pattern written). The program takes the file as it
// finds it when it begins to watch it; on a slow start the first write can
// come before that and be no change to it, so each try writes a pattern not
// written yet.
inline bool WriteStatesUntilApplied(const std::string& path,
                                    const std::function<bool(const std::vector<int>&)>& applied,
                                    std::chrono::milliseconds perTry = std::chrono::seconds(5)) {
  const std::vector<std::vector<int>> tries{
      {1, 0, 1, 0, 0, 0, 0, 1}, {0, 1, 0, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1, 0, 0}};
  for (const std::vector<int>& want : tries) {
    std::string text;
    for (int v : want) text += (text.empty() ? "" : " ") + std::to_string(v);
    if (!WriteStateWhole(path, text)) return false;
    if (WaitUntil([&] { return applied(want); }, perTry)) return true;
  }
  return false;
}

// A child process; killed and reaped when the object goes, should a test
// have left it running.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& stdoutPath, const std::string& stderrPath) {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const size_t eq = entry.find('=');
      if (eq != std::string::npos) all[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : env) all[name] = value;
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : all) envStrings.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvCopy = argv;
    for (std::string& s : argvCopy) args.push_back(s.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The test program may run with signals blocked or ignored; the child
    // starts with the defaults, as from a shell.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all_signals;
    sigemptyset(&none);
    sigfillset(&all_signals);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all_signals);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&m_pid, args[0], &actions, &attr, args.data(), envp.data()) != 0) m_pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (Running()) {
      ::kill(m_pid, SIGKILL);
      int status = 0;
      ::waitpid(m_pid, &status, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }

  // Still running (neither ended nor a zombie waiting to be reaped).
  bool Running() {
    if (m_pid <= 0 || m_status) return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_status = status;
      return false;
    }
    return true;
  }
  void Signal(int signal) {
    if (Running()) ::kill(m_pid, signal);
  }
  // The wait status once the process has ended, nullopt while it runs.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout) {
    WaitUntil([this] { return !Running(); }, timeout, 10ms);
    return m_status;
  }

 private:
  pid_t m_pid = -1;
  std::optional<int> m_status;
};

inline std::string DescribeStatus(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exit code " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
  return "status " + std::to_string(*status);
}

inline bool CleanExit(const std::optional<int>& status) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// One [device] section of a bench file.
struct Device {
  int type = 8;
  int serial = 0;
  int switches = 1;
  int trafficLight = 0;
  int configFailures = 0;
  int multiSwitchFails = 0;
  std::vector<int> state;
};

inline std::string BenchText(const std::vector<Device>& devices) {
  std::string text;
  for (const Device& d : devices) {
    std::string state;
    for (int v : d.state) state += (state.empty() ? "" : " ") + std::to_string(v);
    text += "[device]\ntype = " + std::to_string(d.type) +
            "\nversion = 1\nserial = " + std::to_string(d.serial) +
            "\nswitches = " + std::to_string(d.switches) +
            "\ntraffic_light = " + std::to_string(d.trafficLight) +
            "\ncutter = 0\nconfig_failures = " + std::to_string(d.configFailures) +
            "\nmulti_switch_fails = " + std::to_string(d.multiSwitchFails) + "\nstate = " + state +
            "\nresets = 0\n\n";
  }
  return text;
}

// A folder with everything one or more program instances need.
class E2ETest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string bench = dir.File("hardware.bench");
  std::string stateFile = dir.File("stand.txt");

  // Starts `toggra` with `args` on the bench; `name` keeps its command log,
  // stdout and stderr apart from other instances'.
  ChildProcess& Start(const std::vector<std::string>& args, const std::string& name = "toggra",
                      std::map<std::string, std::string> env = {}) {
    std::vector<std::string> argv{TOGGRA_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string runtime = dir.File("runtime");
    ::mkdir(runtime.c_str(), 0700);
    std::map<std::string, std::string> base{
        {"QT_QPA_PLATFORM", "offscreen"},
        {"TOGGRA_BENCH", bench},
        {"TOGGRA_BENCH_LOG", LogPath(name)},
        {"TOGGRA_HKCU", dir.File("HKEY_CURRENT_USER.reg")},
        {"TOGGRA_HKLM", dir.File("HKEY_LOCAL_MACHINE.reg")},
        {"HOME", dir.Path().string()},
        {"XDG_RUNTIME_DIR", runtime},
    };
    for (auto& [k, v] : env) base[k] = v;
    m_children.push_back(std::make_unique<ChildProcess>(argv, base, dir.File(name + ".out"),
                                                        dir.File(name + ".err")));
    EXPECT_TRUE(m_children.back()->Started());
    return *m_children.back();
  }

  std::string LogPath(const std::string& name = "toggra") const { return dir.File(name + ".log"); }
  std::vector<std::string> Log(const std::string& name = "toggra") const {
    return Lines(TempDir::Read(LogPath(name)));
  }
  std::vector<std::string> SetSwitches(const std::string& name = "toggra") const {
    std::vector<std::string> out;
    for (const std::string& line : Log(name))
      if (line.rfind("SetSwitch ", 0) == 0) out.push_back(line);
    return out;
  }
  std::string Stderr(const std::string& name = "toggra") const {
    return TempDir::Read(dir.File(name + ".err"));
  }

  // The bench as the program's own reader parses it; null while it does not parse.
  std::optional<BenchSet> Bench() const {
    BenchParse parse = ParseBench(TempDir::Read(bench), bench);
    if (!parse.ok) return std::nullopt;
    return parse.set;
  }
  // A change made under the bench's lock, as a person's tool would make it.
  void ChangeBench(const std::function<void(BenchSet&)>& change) {
    BenchFile file(bench, {});
    ASSERT_TRUE(file.Modify([&](BenchSet& set) {
      change(set);
      return true;
    }));
  }

 private:
  std::vector<std::unique_ptr<ChildProcess>> m_children;
};

}  // namespace toggra::e2e

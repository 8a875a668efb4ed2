// toggra-ctl run as a child process with only the device entries given, for
// the serial back-ends' program tests.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

// E2ESupport.h's bench fixture names the GUI program; only its ChildProcess
// is used here.
#ifndef TOGGRA_EXECUTABLE
#define TOGGRA_EXECUTABLE "toggra"
#endif
#include "e2e/E2ESupport.h"
#include "support/TempDir.h"

namespace toggra::test {

struct CtlRun {
  int status = -1;
  std::string out, err;
};

inline CtlRun RunCtl(const TempDir& dir, const std::string& devices,
                     const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& more = {}) {
  using namespace std::chrono_literals;
  std::map<std::string, std::string> env{{"TOGGRA_DEVICES", devices},
                                         {"TOGGRA_BENCH", ""},
                                         {"TOGGRA_HKCU", dir.File("HKEY_CURRENT_USER.reg")},
                                         {"TOGGRA_HKLM", dir.File("HKEY_LOCAL_MACHINE.reg")},
                                         {"HOME", dir.Path().string()},
                                         {"XDG_CONFIG_HOME", dir.File("config")}};
  env.insert(more.begin(), more.end());
  std::vector<std::string> argv{TOGGRA_CTL_EXECUTABLE};
  argv.insert(argv.end(), args.begin(), args.end());
  e2e::ChildProcess ctl(argv, env, dir.File("ctl.out"), dir.File("ctl.err"));
  const auto status = ctl.WaitExit(20s);
  CtlRun run;
  run.out = TempDir::Read(dir.File("ctl.out"));
  run.err = TempDir::Read(dir.File("ctl.err"));
  run.status = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  return run;
}

}  // namespace toggra::test

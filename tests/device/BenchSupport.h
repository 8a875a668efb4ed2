// Bench files in a temporary folder, a bench library on them that collects
// its messages, and a runner for the toggra-bench tool.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/BenchPivlink.h"
#include "support/TempDir.h"

namespace toggra::test {

class BenchTest : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string path = dir.File("set.bench");
  const std::string logPath = dir.File("wire.log");
  std::vector<std::string> messages;  // what the library reported

  std::unique_ptr<CBenchPivlink> Make(const std::string& log = "") {
    return std::make_unique<CBenchPivlink>(
        path, log, [this](const std::string& m) { messages.push_back(m); });
  }
  // Writes `text` as the bench file and opens the devices on it.
  std::unique_ptr<CBenchPivlink> Open(const std::string& text, const std::string& log = "") {
    TempDir::Write(path, text);
    auto lib = Make(log);
    lib->OpenArvendal();
    return lib;
  }
  std::string File() const { return TempDir::Read(path); }
};

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the built toggra-bench with `args`, its output caught in files of `dir`.
inline ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string outPath = dir.File("tool.out"), errPath = dir.File("tool.err");
  std::vector<std::string> all{TOGGRA_BENCH_TOOL};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ToolRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.exitCode = WEXITSTATUS(status);
  run.out = TempDir::Read(outPath);
  run.err = TempDir::Read(errPath);
  return run;
}

}  // namespace toggra::test

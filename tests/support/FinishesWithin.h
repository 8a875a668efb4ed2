// Runs a call that must not block in a child process, so that a test learns of
// a hang as a failure instead of hanging itself.
#pragma once

#include <chrono>
#include <csignal>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

namespace toggra::test {

// Whether `work`, run in a forked child, ended within `limit`; a child still
// running then is killed. The child ends with _exit, so nothing of the test's
// state is torn down twice.
inline bool FinishesWithin(std::chrono::milliseconds limit, const std::function<void()>& work) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    work();
    ::_exit(0);
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return false;
    }
    ::usleep(1000);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace toggra::test

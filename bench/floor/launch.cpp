// launch PROGRAM [ARGS...]: writes "start SECONDS" (monotonic clock) to
// stderr, then becomes PROGRAM, so that the program's own "shown" line on the
// same stream gives its start-up time from exec to the first window.
#include <unistd.h>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: launch PROGRAM [ARGS...]\n", stderr);
    return 2;
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "start %lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
  std::fflush(stderr);
  execvp(argv[1], argv + 1);
  std::perror(argv[1]);
  return 127;
}

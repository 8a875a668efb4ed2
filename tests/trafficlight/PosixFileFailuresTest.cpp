// Failures of the protocol and state files that the system reports only after
// the open: a write that stops short, a read that fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"
#include "trafficlight/PosixFileService.h"

namespace toggra::test {
namespace {

// Runs `call` in a child whose files may grow to `limit` bytes, where a write
// across the limit stops short and the next one fails with EFBIG. The child's
// exit code is what `call` returned.
template <typename Call>
int WithFileSizeLimit(rlim_t limit, Call call) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit r{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &r);
    ::_exit(call());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr rlim_t kLimit = 8;

TEST(PosixFileFailures, ALineCutShortByAFullFileIsAFailure) {
  TempDir dir;
  const std::string protocol = dir.File("protocol");
  const int error = WithFileSizeLimit(kLimit, [&] {
    CPosixFileService files;
    return files.AppendLine(protocol, "Anna Beispiel; 240\r\n");
  });
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(TempDir::Read(protocol).size(), kLimit);
}

TEST(PosixFileFailures, AStateCutShortIsNotWrittenAndSaysWhy) {
  TempDir dir;
  const std::string state = dir.File("state");
  const int result = WithFileSizeLimit(kLimit, [&] {
    CPosixFileService files;
    bool written = true;
    const int error = files.WriteState(state, "1 0 0 0 0 1 0 0", &written);
    return written ? 0 : error;
  });
  EXPECT_EQ(result, EFBIG);
}

TEST(PosixFileFailures, AFailedReadKeepsItsErrno) {
  // A regular file by stat whose first page is not there to read.
  CPosixFileService files;
  std::string data = "old";
  bool readOk = true;
  EXPECT_EQ(files.ReadState("/proc/self/mem", 63, &data, &readOk), EIO);
  EXPECT_FALSE(readOk);
  EXPECT_EQ(data, "");
}

}  // namespace
}  // namespace toggra::test

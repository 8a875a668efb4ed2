// Protocol lines that several instances append to one file at the same
// moment: every line must arrive, whole and unmixed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include "support/TempDir.h"
#include "trafficlight/PosixFileService.h"

namespace toggra::e2e {
namespace {

using test::TempDir;

constexpr int kWriters = 6;
constexpr int kLinesEach = 2000;

// The candidate of writer w's line i; the lengths vary up to a few
// kilobytes, beyond what a pipe would write in one piece.
std::string Candidate(int w, int i) {
  return "Kandidat " + std::to_string(w) + "-" + std::to_string(i) + " " +
         std::string(static_cast<size_t>((i * 37 + w * 101) % 3000), static_cast<char>('a' + w));
}

std::string Line(int w, int i) { return Candidate(w, i) + "; " + std::to_string(i) + "\r\n"; }

TEST(ProtocolAppend, LinesOfSeveralProcessesAtOnceAreAllThereAndWhole) {
  TempDir dir;
  const std::string protocol = dir.File("protokoll.txt");
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  pid_t children[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    children[w] = fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      close(gate[1]);
      char byte;
      while (read(gate[0], &byte, 1) > 0) {
      }
      CPosixFileService files;
      int failures = 0;
      for (int i = 0; i < kLinesEach; ++i) failures += files.AppendLine(protocol, Line(w, i)) != 0;
      _exit(failures == 0 ? 0 : 1);
    }
  }
  close(gate[0]);
  close(gate[1]);  // all start together
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const std::string text = TempDir::Read(protocol);
  std::map<std::string, int> seen;
  size_t expectedBytes = 0;
  for (int w = 0; w < kWriters; ++w)
    for (int i = 0; i < kLinesEach; ++i) {
      seen[Line(w, i)] = 0;
      expectedBytes += Line(w, i).size();
    }
  EXPECT_EQ(text.size(), expectedBytes);
  size_t pos = 0, unknown = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos) << "text after the last line end";
    const std::string line = text.substr(pos, end + 2 - pos);
    auto it = seen.find(line);
    if (it == seen.end())
      ++unknown;
    else
      ++it->second;
    pos = end + 2;
  }
  EXPECT_EQ(unknown, 0u) << "mixed or broken lines";
  int lostOrDoubled = 0;
  for (const auto& [line, count] : seen) lostOrDoubled += count != 1;
  EXPECT_EQ(lostOrDoubled, 0);
}

}  // namespace
}  // namespace toggra::e2e

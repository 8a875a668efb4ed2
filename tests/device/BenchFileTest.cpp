#include "device/BenchFile.h"

#include <cstdio>

#include "device/BenchSupport.h"

namespace toggra::test {
namespace {

// With no settle time the stamp is trusted at once: only the stamp can tell
// that the file changed.
class TrustedStamp : public BenchTest {
 protected:
  BenchFile file{path, [this](const std::string& m) { messages.push_back(m); },
                 std::chrono::nanoseconds(0)};

  int FirstState() {
    const BenchSet* set = file.Current();
    return set && !set->devices.empty() ? set->devices[0].State(0) : -100;
  }
  void SetMtime(const std::string& p, time_t sec, long nsec = 0) {
    const timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  }
  static timespec MtimeOf(const std::string& p) {
    struct stat st;
    stat(p.c_str(), &st);
    return st.st_mtim;
  }
};

TEST_F(TrustedStamp, SeesAReplacementWithTheSameSizeAndTime) {
  TempDir::Write(path, "[device]\nstate = 0\n");
  ASSERT_EQ(FirstState(), 0);
  const timespec old = MtimeOf(path);
  const std::string next = dir.File("next");
  TempDir::Write(next, "[device]\nstate = 1\n");
  SetMtime(next, old.tv_sec, old.tv_nsec);
  ASSERT_EQ(std::rename(next.c_str(), path.c_str()), 0);
  EXPECT_EQ(FirstState(), 1);
}

TEST_F(TrustedStamp, SeesInPlaceWritesBySizeOrTime) {
  TempDir::Write(path, "[device]\nstate = 0\n");
  ASSERT_EQ(FirstState(), 0);
  TempDir::Write(path, "[device]\nstate = 1 0\n");
  EXPECT_EQ(FirstState(), 1);
  // Same size, times a nanosecond apart.
  constexpr time_t kSecond = 1'700'000'000;
  TempDir::Write(path, "[device]\nstate = 0 0\n");
  SetMtime(path, kSecond, 500);
  EXPECT_EQ(FirstState(), 0);
  TempDir::Write(path, "[device]\nstate = 5 0\n");
  SetMtime(path, kSecond, 501);
  EXPECT_EQ(FirstState(), 5);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace toggra::test

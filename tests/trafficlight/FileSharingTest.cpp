#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "support/TempDir.h"
#include "support/TestDialog.h"
#include "trafficlight/PosixFileService.h"

namespace toggra::test {
namespace {

// Another process's handle on the file, holding a lock as long as it lives.
class HeldLock {
 public:
  HeldLock(const std::string& path, int operation) : m_fd(::open(path.c_str(), O_RDONLY)) {
    EXPECT_GE(m_fd, 0);
    EXPECT_EQ(::flock(m_fd, operation), 0);
  }
  ~HeldLock() { ::close(m_fd); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

 private:
  int m_fd;
};

class SharedStateFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("state");
  CPosixFileService files;
};

TEST_F(SharedStateFile, WriterMeetingAReaderFailsWithoutTruncating) {
  TempDir::Write(path, "1 1 1 1 1 1 1 1");
  HeldLock reader(path, LOCK_SH);
  bool written = true;
  EXPECT_EQ(files.WriteState(path, "0 0 0 0 0 0 0 0", &written), EWOULDBLOCK);
  EXPECT_FALSE(written);
  EXPECT_EQ(TempDir::Read(path), "1 1 1 1 1 1 1 1");
  std::string data;
  bool readOk = false;
  EXPECT_EQ(files.ReadState(path, 3, &data, &readOk), 0);  // readers share
  EXPECT_EQ(data, "1 1");
}

TEST_F(SharedStateFile, ReaderMeetingAWriterFails) {
  TempDir::Write(path, "1 1 1 1 1 1 1 1");
  HeldLock writer(path, LOCK_EX);
  std::string data;
  bool readOk = true;
  EXPECT_EQ(files.ReadState(path, 63, &data, &readOk), EWOULDBLOCK);
  EXPECT_FALSE(readOk);
}

TEST_F(SharedStateFile, FolderAndDanglingLinkFailCleanly) {
  std::string data;
  bool ok = false;
  EXPECT_EQ(files.ReadState(dir.Path().string(), 63, &data, &ok), EISDIR);
  EXPECT_EQ(files.WriteState(dir.Path().string(), "x", &ok), EISDIR);
  EXPECT_EQ(files.AppendLine(dir.Path().string(), "x"), EISDIR);
  const std::string link = dir.File("link"), target = dir.File("missing");
  std::filesystem::create_symlink(target, link);
  EXPECT_EQ(files.ReadState(link, 63, &data, &ok), ENOENT);
  EXPECT_EQ(files.WriteState(link, "x", &ok), ENOENT);
  EXPECT_EQ(files.AppendLine(link, "x"), ENOENT);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(SharedStateFile, ProtocolLinesAreAppendedToANewFile) {
  const std::string protocol = dir.File("runs.txt");
  EXPECT_EQ(files.AppendLine(protocol, "Anna; 90\r\n"), 0);
  EXPECT_EQ(files.AppendLine(protocol, "; 0\r\n"), 0);
  EXPECT_EQ(TempDir::Read(protocol), "Anna; 90\r\n; 0\r\n");
  EXPECT_EQ(files.ErrorText(ENOENT), "No such file or directory\r\n");
}

// Two dialogs in the group layout given the same state file, as two instances
// started with the same -S path.
class TwoInstances : public SharedStateFile {
 protected:
  void SetUp() override {
    for (TestDialog* t : {&a, &b}) {
      CToggraDlg& d = t->Dialog();
      d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4;
      d.m_stateFile = path;
      d.m_services.files = &files;
      t->device->devices.push_back({});
      for (int i = 0; i < 8; ++i) t->AddColumn(0, kFirstSwitchId + i, kStateOff);
    }
  }
  static int State(TestDialog& t, int i) { return t.Dialog().m_records[i].m_state; }
  TestDialog a, b;
};

TEST_F(TwoInstances, EachFollowsWhatTheOtherWrites) {
  a.Dialog().m_records[2].m_state = 1;
  a.Dialog().SaveState();
  b.Dialog().TimerTick();
  EXPECT_EQ(State(b, 2), 1);
  EXPECT_EQ(b.device->CallsOf("SetSwitch")[2], "SetSwitch 0 18 1");
  b.Dialog().m_records[2].m_state = 0;
  b.Dialog().m_records[7].m_state = 1;
  b.Dialog().SaveState();
  a.Dialog().TimerTick();
  EXPECT_EQ(State(a, 2), 0);
  EXPECT_EQ(State(a, 7), 1);
}

TEST_F(TwoInstances, WriterRetriesWhileTheOtherReadsAndKeepsTheFileIntact) {
  b.Dialog().m_records[0].m_state = 1;
  b.Dialog().SaveState();
  a.Dialog().m_records[0].m_state = 0;
  {
    HeldLock reader(path, LOCK_SH);
    a.Dialog().SaveState();
  }
  EXPECT_EQ(a.clock.Sleeps(), std::vector<int>(5, 20));
  EXPECT_EQ(a.Dialog().m_stateFileOk, 0);
  EXPECT_EQ(TempDir::Read(path), "1 0 0 0 0 0 0 0");
  a.Dialog().TimerTick();
  EXPECT_EQ(State(a, 0), 1);  // the other's state wins, nothing half-written
  EXPECT_EQ(a.Dialog().m_stateFileOk, 1);
}

}  // namespace
}  // namespace toggra::test

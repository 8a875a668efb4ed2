// The state and protocol files on the real file system, at the paths a user
// may give or find there: names with spaces and umlauts, and paths that are
// no regular file, which must fail like a file that cannot be opened.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <utility>

#include "app/Application.h"
#include "support/FinishesWithin.h"
#include "support/TempDir.h"
#include "support/TestDialog.h"
#include "trafficlight/PosixFileService.h"

namespace toggra::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kWarning = " - warning - see log file";

// A dialog in the group layout (-D -L) on eight channels, with the real file
// service and its state and protocol files at `path`.
class RealFiles {
 public:
  explicit RealFiles(const std::string& path) {
    d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4;
    d.m_logging = 1;
    d.m_stateFile = path;
    d.m_protocolFile = path;
    d.m_services.files = &files;
    t.device->devices.push_back({});
    for (int i = 0; i < 8; ++i) t.AddColumn(0, kFirstSwitchId + i, kStateOff);
    d.UpdateTitle();
  }
  bool LogHas(const std::string& start) const {
    for (const std::string& line : d.m_logLines) {
      if (line.rfind(start, 0) == 0) return true;
    }
    return false;
  }

  TestDialog t;
  CToggraDlg& d = t.Dialog();
  CPosixFileService files;
};

// ---- names with spaces and letters beyond ASCII ----

TEST(FileNamesWithSpacesAndUmlauts, StateFileFromTheCommandLineAndProtocolWork) {
  TempDir dir;
  fs::create_directory(dir.Path() / "Zustände und Läufe");
  const std::string state = dir.File("Zustände und Läufe/stand 1.txt");
  const std::string protocol = dir.File("Zustände und Läufe/Protokoll Prüfung.txt");
  const StartOptions options = ParseCommandLine(AssembleCommandLine({"-D", "-S", state}), "toggra");
  ASSERT_EQ(options.stateFile, state);

  RealFiles r(options.stateFile);
  r.d.m_protocolFile = protocol;
  r.d.m_records[3].m_state = kStateOn;
  r.d.SaveState();
  EXPECT_EQ(TempDir::Read(state), "0 0 0 1 0 0 0 0");
  TempDir::Write(state, "1 0 0 0 0 0 0 1");
  r.d.ReadState();
  EXPECT_EQ(r.d.m_records[0].m_state, kStateOn);
  EXPECT_EQ(r.d.m_records[3].m_state, kStateOff);
  EXPECT_EQ(r.d.m_stateFileOk, 1);
  EXPECT_EQ(r.t.host.title.find(kWarning), std::string::npos);

  r.d.m_records[0].m_candidate = "Jürgen";
  r.d.WriteProtocol(0);
  EXPECT_EQ(TempDir::Read(protocol), "Jürgen; 0\r\n");
  EXPECT_TRUE(r.t.prompts.boxes.empty());
}

// ---- paths that are no regular file ----

struct Target {
  const char* label;
  // Puts something that is no regular file at `path`; `dir` is free to use.
  std::function<void(const std::string& path, const TempDir& dir)> make;
  bool reader = false;  // a FIFO that another process holds open for reading
};

class StateAndProtocolOnNoRegularFile : public ::testing::TestWithParam<Target> {
 protected:
  void TearDown() override {
    if (m_reader >= 0) ::close(m_reader);
  }
  TempDir dir;
  std::string path = dir.File("stand 1.txt");
  int m_reader = -1;
};

TEST_P(StateAndProtocolOnNoRegularFile, FailsAsUnopenableWithoutBlockingAndResumes) {
  RealFiles r(path);
  // A good start, then the file is replaced while the program runs.
  r.d.SaveState();
  ASSERT_EQ(r.d.m_stateFileOk, 1);
  ASSERT_EQ(r.t.host.title.find(kWarning), std::string::npos);
  fs::remove(path);
  GetParam().make(path, dir);
  if (GetParam().reader) {
    m_reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(m_reader, 0);
  }

  // Every access is tried in a child first: a FIFO must not block the thread.
  ASSERT_TRUE(FinishesWithin(5s, [&] { r.d.ReadState(); })) << "ReadState blocked";
  ASSERT_TRUE(FinishesWithin(5s, [&] { r.d.SaveState(); })) << "SaveState blocked";
  ASSERT_TRUE(FinishesWithin(5s, [&] { r.d.WriteProtocol(0); })) << "WriteProtocol blocked";

  r.d.ReadState();
  EXPECT_EQ(r.d.m_stateFileOk, 0);
  EXPECT_NE(r.t.host.title.find(kWarning), std::string::npos);
  EXPECT_TRUE(r.LogHas("Read from " + path + " failed, err="));
  r.d.SaveState();
  EXPECT_TRUE(r.LogHas("Write from " + path + " failed, err="));
  EXPECT_EQ(r.t.device->CallsOf("SetSwitch").size(), 0u);

  r.d.WriteProtocol(0);
  ASSERT_EQ(r.t.prompts.boxes.size(), 1u);
  EXPECT_EQ(r.t.prompts.boxes[0].text.rfind("Datei konnte nicht geöffnet werden\n" + path + ": ", 0),
            0u);
  EXPECT_EQ(r.t.prompts.boxes[0].caption, "Fehler");
  // Nothing was created behind a link, nor sent down a pipe.
  EXPECT_FALSE(fs::exists(dir.File("missing")));
  if (m_reader >= 0) {
    char c;
    EXPECT_LE(::read(m_reader, &c, 1), 0);
  }

  // A regular file back in its place is used again.
  if (m_reader >= 0) ::close(std::exchange(m_reader, -1));
  fs::remove(path);
  TempDir::Write(path, "0 1 0 0 0 0 0 0");
  r.d.ReadState();
  EXPECT_EQ(r.d.m_stateFileOk, 1);
  EXPECT_EQ(r.d.m_records[1].m_state, kStateOn);
  EXPECT_EQ(r.t.host.title.find(kWarning), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StateAndProtocolOnNoRegularFile,
    ::testing::Values(
        Target{"DanglingLink",
               [](const std::string& p, const TempDir& d) {
                 fs::create_symlink(d.File("missing"), p);
               }},
        Target{"Folder", [](const std::string& p, const TempDir&) { fs::create_directory(p); }},
        Target{"LinkToDevNull",
               [](const std::string& p, const TempDir&) { fs::create_symlink("/dev/null", p); }},
        Target{"Fifo", [](const std::string& p, const TempDir&) { ::mkfifo(p.c_str(), 0600); }},
        Target{"FifoWithReader",
               [](const std::string& p, const TempDir&) { ::mkfifo(p.c_str(), 0600); }, true}),
    [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.label); });

// ---- what the bytes of the file say ----

TEST(StateFileText, ZeroBytesReadAsAnEmptyFile) {
  // A file filled with zero bytes, as a crash can leave it, holds no numbers:
  // outside the group layout that is a failed read like an empty file, not a
  // text that holds no number.
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_stateFile = "state";
  t.AddColumn(0, kFirstSwitchId, kStateOn);
  t.files.files["state"] = "x";
  d.ReadState();
  ASSERT_EQ(d.m_stateFileOk, 1);
  t.files.files["state"] = std::string(15, '\0');
  d.ReadState();
  EXPECT_EQ(d.m_stateFileOk, 0);
  EXPECT_NE(t.host.title.find(kWarning), std::string::npos);
}

}  // namespace
}  // namespace toggra::test

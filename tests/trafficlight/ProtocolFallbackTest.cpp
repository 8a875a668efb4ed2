// A protocol line that its file refused is kept and arrives later, in order;
// the state file's trouble is told on stderr once per change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

#include "support/TempDir.h"
#include "support/TestDialog.h"
#include "trafficlight/ProtocolFallback.h"

namespace toggra::test {
namespace {

class KeptLines : public ::testing::Test {
 protected:
  TempDir dir;
  CProtocolFallback fallback{dir.File("state/toggra")};
  std::string sent;
  int result = 0;

  int Deliver(const std::string& line, int* delivered) {
    return fallback.Deliver("/p/runs.txt", line,
                            [this](const std::string& text) {
                              sent = text;
                              return result;
                            },
                            delivered);
  }
};

TEST_F(KeptLines, AreDeliveredBeforeTheNextLineAndForgottenOnlyAfterASuccess) {
  std::string where;
  ASSERT_EQ(fallback.Keep("/p/runs.txt", "Eva; 60\r\n", &where), 0);
  EXPECT_EQ(where, fallback.FileFor("/p/runs.txt"));
  ASSERT_EQ(fallback.Keep("/p/runs.txt", "Udo; 70\r\n", &where), 0);
  // The folder is the user's own.
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("state/toggra").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  int delivered = -1;
  result = EACCES;
  EXPECT_EQ(Deliver("Max; 80\r\n", &delivered), EACCES);
  EXPECT_EQ(sent, "Eva; 60\r\nUdo; 70\r\nMax; 80\r\n");
  EXPECT_EQ(delivered, 0);
  EXPECT_EQ(TempDir::Read(where), "Eva; 60\r\nUdo; 70\r\n");

  result = 0;
  EXPECT_EQ(Deliver("Max; 80\r\n", &delivered), 0);
  EXPECT_EQ(sent, "Eva; 60\r\nUdo; 70\r\nMax; 80\r\n");
  EXPECT_EQ(delivered, 2);
  EXPECT_EQ(TempDir::Read(where), "");
  EXPECT_EQ(Deliver("Ida; 5\r\n", &delivered), 0);
  EXPECT_EQ(sent, "Ida; 5\r\n");
  EXPECT_EQ(delivered, 0);
}

TEST_F(KeptLines, EachProtocolFileHasItsOwnFallbackFile) {
  const std::string a = fallback.FileFor("/home/anna/redezeit.txt");
  EXPECT_EQ(a, dir.File("state/toggra") + "/%2Fhome%2Fanna%2Fredezeit.txt.pending");
  EXPECT_NE(fallback.FileFor("/a%2Fb"), fallback.FileFor("/a/b"));
  const std::string longPath = "/" + std::string(400, 'x');
  const std::string name = fallback.FileFor(longPath).substr(dir.File("state/toggra").size() + 1);
  EXPECT_LE(name.size(), 255u);
  EXPECT_NE(fallback.FileFor(longPath), fallback.FileFor(longPath + "y"));
}

TEST(KeptLinesFolder, FollowsXdgStateHomeElseTheHomeFolder) {
  const char* oldState = std::getenv("XDG_STATE_HOME");
  const std::string savedState = oldState ? oldState : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", "/home/anna", 1);
  setenv("XDG_STATE_HOME", "/var/lib/anna", 1);
  EXPECT_EQ(CProtocolFallback::FromEnvironment().Folder(), "/var/lib/anna/toggra");
  setenv("XDG_STATE_HOME", "relativ", 1);
  EXPECT_EQ(CProtocolFallback::FromEnvironment().Folder(), "/home/anna/.local/state/toggra");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(CProtocolFallback::FromEnvironment().Folder(), "/home/anna/.local/state/toggra");
  if (oldState) setenv("XDG_STATE_HOME", savedState.c_str(), 1);
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

TEST(ProtocolFallback, TheRefusedLineIsShownKeptAndWrittenLaterInOrder) {
  TempDir dir;
  CProtocolFallback fallback(dir.File("state"));
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_services.protocolFallback = &fallback;
  t.AddColumn(0, kLampRed);
  d.m_records[0].m_candidate = "Eva";
  d.m_records[0].m_timerT = 90;
  d.m_protocolFile = "/talks/runs.txt";
  t.files.unopenable.insert(d.m_protocolFile);

  testing::internal::CaptureStderr();
  d.WriteProtocol(0);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string kept = fallback.FileFor(d.m_protocolFile);
  ASSERT_EQ(t.prompts.boxes.size(), 1u);
  EXPECT_EQ(t.prompts.boxes[0].text,
            "Datei konnte nicht geöffnet werden\n/talks/runs.txt: Permission denied\n\n"
            "Die Zeile „Eva; 90“ wurde in " + kept +
                " aufbewahrt und wird in die Datei nachgetragen, sobald sie sich wieder öffnen "
                "lässt.");
  EXPECT_EQ(err, "toggra: cannot open protocol file /talks/runs.txt: Permission denied; line kept in " +
                     kept + ": Eva; 90\n");
  EXPECT_EQ(TempDir::Read(kept), "Eva; 90\r\n");

  t.files.unopenable.clear();
  d.m_records[0].m_candidate = "Udo";
  testing::internal::CaptureStderr();
  d.WriteProtocol(0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "toggra: 1 kept protocol line(s) written to /talks/runs.txt\n");
  EXPECT_EQ(t.files.files["/talks/runs.txt"], "Eva; 90\r\nUdo; 90\r\n");
  EXPECT_EQ(t.files.appendOpens, 2);  // one write for both: no other line comes between
  EXPECT_EQ(t.prompts.boxes.size(), 1u);
}

TEST(StateFileReasons, GoToStderrOncePerChangeOfState) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_groupMode = 1, d.m_groupStride = 2, d.m_groupSize = 4;
  d.m_stateFile = "state";
  for (int i = 0; i < 8; ++i) t.AddColumn(0, kFirstSwitchId + i);
  t.files.lockedByOther.insert("state");
  testing::internal::CaptureStderr();
  d.SaveState();
  d.SaveState();
  t.files.lockedByOther.clear();
  d.SaveState();
  d.SaveState();
  t.files.files["state"] = "1 1";
  d.ReadState();
  d.ReadState();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "toggra: state file state: cannot write: Resource temporarily unavailable\n"
            "toggra: state file state works again\n"
            "toggra: state file state: holds no 8 readable numbers, so it is not applied\n");
}

TEST(StateFileReasons, OutsideTheGroupLayoutTheReadBackIsExplainedOnce) {
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_stateFile = "state";
  t.AddColumn(0, kFirstSwitchId);
  testing::internal::CaptureStderr();
  for (int k = 0; k < 3; ++k) {
    d.SaveState();
    d.ReadState();
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("toggra: state file state: written for other programs"), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
}  // namespace toggra::test

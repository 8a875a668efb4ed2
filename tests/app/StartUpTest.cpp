// The start-up steps around discovery, the ways the dialog ends, teardown.
#include <gmock/gmock.h>

#include <cstring>
#include <optional>

#include "StartUpFixture.h"
#include "device/DeviceRegistry.h"

namespace toggra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class StartUp : public StartUpFixture {
 protected:
  void StoreOption(const char* name, int v) {
    t.registry.SetDword(RegRoot::CurrentUser, kOptionsKey, name, v);
  }
  std::optional<int> StoredOption(const char* name) {
    const auto* v = t.registry.Find(RegRoot::CurrentUser, kOptionsKey, name);
    if (!v || v->data.size() != 4) return std::nullopt;
    int out;
    std::memcpy(&out, v->data.data(), 4);
    return out;
  }
};

TEST_F(StartUp, SystemMenuGetsTheLogItemOnlyWithLogging) {
  AddDevice(8, 1);
  Dlg().m_logging = 1;
  Start();
  EXPECT_THAT(t.host.systemMenu, ElementsAre(Pair(kSysAbout, "Inf&o über Toggra..."),
                                             Pair(kSysLog, "Logfile"), Pair(kSysExit, "Beenden")));
  EXPECT_THAT(t.host.separators, ElementsAre(kSysAbout, kSysExit));
  EXPECT_EQ(t.host.icon, kIconApp);
  EXPECT_EQ(t.host.title, "Toggra");

  TestDialog quiet;
  quiet.device->devices = t.device->devices;
  quiet.Dialog().OnInitDialog();
  EXPECT_EQ(quiet.host.systemMenu.size(), 2u);
  EXPECT_THAT(quiet.Dialog().m_logLines, IsEmpty());
}

TEST_F(StartUp, LogLineIsWrittenBeforeTheGroupsAreCounted) {
  AddDevice(8, 8);
  CToggraDlg& d = Dlg();
  d.m_logging = d.m_groupMode = 1;
  d.m_groupStride = 2;
  d.m_groupSize = 4;
  Start();
  EXPECT_THAT(d.m_logLines, ElementsAre("switchCount=8, Ampel=0, 2x4=1,0,2,4, toggle=0\r\n"));
  EXPECT_EQ(d.m_groupCount, 1);
}

TEST_F(StartUp, BackEndReportsGoIntoTheLogBeforeTheStartLine) {
  AddDevice(8, 1);
  Dlg().m_logging = 1;
  TakeDeviceErrors();
  ReportDeviceError("hidrelay: /dev/hidraw3: no permission (Permission denied); fix: ...");
  Start();
  EXPECT_THAT(Dlg().m_logLines,
              ElementsAre("hidrelay: /dev/hidraw3: no permission (Permission denied); fix: ...\r\n",
                          "switchCount=1, Ampel=0, 2x4=0,0,0,0, toggle=0\r\n"));
  EXPECT_THAT(TakeDeviceErrors(), IsEmpty());
}

class DisplayOptions : public StartUp, public ::testing::WithParamInterface<int> {};

TEST_P(DisplayOptions, AreReadOnlyForAStartWithoutArguments) {
  AddDevice(8, 1);
  StoreOption("OneLine", 1);
  StoreOption("PushButton", 7);  // any value other than 0 is on
  StoreOption("Arrow", 1);
  t.registry.SetString(RegRoot::CurrentUser, kOptionsKey, "Protocol", "prot.txt");
  Dlg().m_noArguments = GetParam();
  Start();
  EXPECT_EQ(Dlg().m_oneLine, GetParam());
  EXPECT_EQ(Dlg().m_pushButton, GetParam());
  EXPECT_EQ(Dlg().m_arrow, GetParam());
  EXPECT_EQ(Dlg().m_protocolFile, "prot.txt");
}

INSTANTIATE_TEST_SUITE_P(StartUp, DisplayOptions, ::testing::Values(0, 1));

TEST_F(StartUp, WindowLastInTheTrayStartsThere) {
  AddDevice(8, 3);
  StoreOption("OnTray", 1);
  Start();
  EXPECT_EQ(t.tray.hidden, 3);  // once per column
}

TEST_F(StartUp, StateFileIsWrittenAtStartButNotInSimulation) {
  AddDevice(8, 1);
  Dlg().m_stateFile = "stand.txt";
  Start();
  EXPECT_EQ(t.files.files.count("stand.txt"), 1u);

  TestDialog simulated;
  simulated.Dialog().m_stateFile = "stand.txt";
  simulated.Dialog().OnInitDialog();
  EXPECT_EQ(simulated.files.writeOpens, 0);
}

TEST_F(StartUp, TrayModeEnterDoesNothingAndEscapeHides) {
  AddDevice(8, 2);
  Start();
  Dlg().OnOK();
  Dlg().OnCancel();
  EXPECT_THAT(t.host.ended, IsEmpty());
  EXPECT_EQ(t.tray.hidden, 2);
  EXPECT_EQ(StoredOption("OnTray"), 1);
}

TEST_F(StartUp, WithoutTrayModeNoIconsAndEnterOrEscapeEnds) {
  AddDevice(8, 2);
  StoreOption("OnTray", 5);
  Dlg().m_trayMode = 0;
  Start();
  Dlg().OnCancel();
  EXPECT_THAT(t.host.ended, ElementsAre(IDCANCEL));
  EXPECT_EQ(t.tray.hidden, 0);
  EXPECT_THAT(t.tray.icons, IsEmpty());
  EXPECT_EQ(StoredOption("OnTray"), 5);

  TestDialog enter;
  enter.Dialog().m_trayMode = 0;
  enter.Dialog().OnOK();
  EXPECT_THAT(enter.host.ended, ElementsAre(IDOK));
}

// The library object belongs to the dialog; this one leaves its call list
// behind when it is deleted.
class RecordingPivlink : public FakePivlink {
 public:
  explicit RecordingPivlink(std::vector<std::string>* sink) : m_sink(sink) {}
  ~RecordingPivlink() override {
    *m_sink = calls;
    m_sink->push_back("deleted");
  }

 private:
  std::vector<std::string>* m_sink;
};

class Teardown : public StartUpFixture {
 protected:
  std::vector<std::string> calls;
  std::vector<FakeDevice> devices;

  std::unique_ptr<CToggraDlg> StartDialog() {
    auto dlg = std::make_unique<CToggraDlg>(t.Services([this] {
      auto lib = std::make_unique<RecordingPivlink>(&calls);
      lib->devices = devices;
      return lib;
    }));
    dlg->m_nameList = &names;
    dlg->OnInitDialog();
    return dlg;
  }
  std::vector<std::string> ResetsAndDeletion() {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind("ResetDevice", 0) == 0 || c == "deleted") out.push_back(c);
    return out;
  }
};

TEST_F(Teardown, ResetsOncePerColumnThenDeletesTheLibrary) {
  devices.resize(2);
  devices[0].switches = 3;
  names = {"Pumpe"};
  auto dlg = StartDialog();
  ASSERT_EQ(t.tray.icons.size(), 4u);
  dlg.reset();
  EXPECT_THAT(ResetsAndDeletion(), ElementsAre("ResetDevice 0", "ResetDevice 0", "ResetDevice 0",
                                               "ResetDevice 1", "deleted"));
  EXPECT_THAT(t.tray.icons, IsEmpty());
  EXPECT_THAT(names, IsEmpty());
}

TEST_F(Teardown, SimulationResetsNoDevice) {
  devices.resize(1);
  devices[0].type = 99;  // attached but unusable
  auto dlg = StartDialog();
  ASSERT_EQ(dlg->m_simulation, 1);
  dlg.reset();
  EXPECT_THAT(ResetsAndDeletion(), ElementsAre("deleted"));
}

}  // namespace
}  // namespace toggra::test

// toggra-ctl's commands over bench files: what a script sees on stdout and
// stderr, the exit codes, and what the devices received.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "ctl/Ctl.h"
#include "device/BenchFormat.h"
#include "device/DeviceRegistry.h"
#include "settings/DeviceSettings.h"
#include "support/MemoryRegistry.h"
#include "support/TempDir.h"

namespace toggra::test {
namespace {

constexpr const char* kBench =
    "[device]\ntype = 8\nversion = 31\nserial = 6699\nswitches = 3\ntraffic_light = 0\n"
    "cutter = 0\nconfig_failures = 0\nmulti_switch_fails = 0\nstate = 1 0 1\nresets = 0\n\n"
    "[device]\ntype = 8\nversion = 2\nserial = 77\nswitches = 3\ntraffic_light = 1\n"
    "cutter = 0\nconfig_failures = 0\nmulti_switch_fails = 0\nstate = 1 0 0\nresets = 0\n\n"
    "[device]\ntype = 8\nversion = 3\nserial = 88\nswitches = 1\ntraffic_light = 0\n"
    "cutter = 1\nconfig_failures = 0\nmulti_switch_fails = 0\nstate = 0\nresets = 0\n\n";

class Ctl : public ::testing::Test {
 protected:
  TempDir dir;
  std::string bench = dir.File("a.bench");
  MemoryRegistry hive;
  std::map<std::string, std::string> env;
  std::vector<int> sleeps;
  std::string out, err;

  void SetUp() override {
    TempDir::Write(bench, kBench);
    env["TOGGRA_DEVICES"] = "bench:" + bench;
  }
  int Run(const std::vector<std::string>& args) {
    std::ostringstream o, e;
    CtlServices s;
    s.out = &o;
    s.err = &e;
    s.registry = &hive;
    s.backends = &BuiltinRegistry();
    s.getenv = [this](const char* name) -> const char* {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    };
    s.sleep = [this](int ms) {
      sleeps.push_back(ms);
      states.push_back(State(0, 0));
    };
    const int rc = RunCtl(args, s);
    out = o.str();
    err = e.str();
    return rc;
  }
  int State(size_t device, int channel) {
    BenchParse p = ParseBench(TempDir::Read(bench), bench);
    return p.ok ? p.set.devices[device].State(channel) : -9;
  }
  std::vector<int> states;  // channel 1 of device 0 during each pause
};

TEST_F(Ctl, ListShowsEveryChannelWithIdStateAndCaption) {
  hive.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "09-1f-00001a2b-devID", "Lampe");
  hive.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "0a-1f-00001a2b-SwitchCandidate",
                 "Anna");
  hive.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "0a-1f-00001a2b-devID", "unused");
  ASSERT_EQ(Run({"list"}), kCtlExitDone) << err;
  EXPECT_EQ(out,
            "bench:0:1\ton\ttype 8, version 31, serial 6699\t6699\n"
            "bench:0:2\toff\ttype 8, version 31, serial 6699\tLampe\n"
            "bench:0:3\ton\ttype 8, version 31, serial 6699\tAnna\n"
            "bench:1:1\tred\ttype 8, version 2, serial 77\t77\n"
            "bench:2:1\ton\ttype 8, version 3, serial 88\t88\n");
  ASSERT_EQ(Run({"list", "--json"}), kCtlExitDone);
  EXPECT_NE(out.find("{\"id\": \"bench:0:2\", \"backend\": \"bench\", \"state\": \"off\", "
                     "\"type\": 8, \"version\": 31, \"serial\": 6699, \"prefix\": "
                     "\"09-1f-00001a2b\", \"caption\": \"Lampe\"}"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.front(), '[');
  EXPECT_EQ(out.substr(out.size() - 2), "]\n");
}

TEST_F(Ctl, SwitchesByIdOrPrefixAndReadsBack) {
  EXPECT_EQ(Run({"off", "bench:0:1"}), kCtlExitDone) << err;
  EXPECT_EQ(State(0, 0), 0);
  EXPECT_EQ(Run({"toggle", "09-1F-00001A2B"}), kCtlExitDone) << err;
  EXPECT_EQ(State(0, 1), 1);
  EXPECT_EQ(Run({"status", "bench:0:2", "--json"}), kCtlExitDone);
  EXPECT_NE(out.find("\"state\": \"on\""), std::string::npos) << out;
  // Traffic light: on is green alone, off red alone.
  EXPECT_EQ(Run({"on", "bench:1:1"}), kCtlExitDone) << err;
  EXPECT_EQ(State(1, 0), 0);
  EXPECT_EQ(State(1, 2), 1);
  // A cutter's power is on at value 0.
  EXPECT_EQ(Run({"off", "bench:2:1"}), kCtlExitDone) << err;
  EXPECT_EQ(State(2, 0), 1);
}

TEST_F(Ctl, CycleSwitchesOffWaitsAndOn) {
  ASSERT_EQ(Run({"cycle", "bench:0:1"}), kCtlExitDone) << err;
  EXPECT_EQ(sleeps, std::vector<int>{2000});
  EXPECT_EQ(states, std::vector<int>{0});
  EXPECT_EQ(State(0, 0), 1);
  ASSERT_EQ(Run({"cycle", "bench:0:1", "5"}), kCtlExitDone);
  EXPECT_EQ(sleeps.back(), 5000);
}

TEST_F(Ctl, UsageErrorsExitTwoDeviceTroubleOne) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"frob"}, {"on"}, {"on", "a", "b"},
                                             {"cycle", "bench:0:1", "-1"},
                                             {"cycle", "bench:0:1", "x"}, {"list", "--bogus"},
                                             {"on", "bench:0:1", "--json"}}) {
    EXPECT_EQ(Run(args), kCtlExitUsage) << args.size();
    EXPECT_NE(err.find("usage: toggra-ctl"), std::string::npos);
  }
  EXPECT_EQ(Run({"--help"}), kCtlExitDone);
  EXPECT_NE(out.find("usage: toggra-ctl"), std::string::npos);

  EXPECT_EQ(Run({"on", "bench:0:9"}), kCtlExitDevice);
  EXPECT_NE(err.find("bench:0:9: no such channel"), std::string::npos) << err;
  // A misspelt back-end is a usage error that names the ones this build has.
  env["TOGGRA_DEVICES"] = "bench:" + bench + ";bnech:x";
  ASSERT_EQ(Run({"list"}), kCtlExitUsage);
  EXPECT_NE(err.find("device entry bnech:x: unknown back-end \"bnech\" (this build has: bench, "),
            std::string::npos)
      << err;
}

TEST_F(Ctl, NothingFoundSaysWhatWasSearched) {
  env["TOGGRA_DEVICES"] = "bench:" + dir.File("gone.bench");
  EXPECT_EQ(Run({"list"}), kCtlExitDevice);
  EXPECT_NE(err.find("no device found; searched bench:" + dir.File("gone.bench") +
                     " (environment TOGGRA_DEVICES)"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("permission"), std::string::npos) << err;
}

TEST_F(Ctl, NameWritesTheConfigurationThatListAndConfigShow) {
  env["HOME"] = dir.Path().string();
  env["TOGGRA_SYSTEM_CONF"] = dir.File("etc/toggra.conf");
  const std::string user = dir.File(".config/toggra/toggra.conf");
  ASSERT_EQ(Run({"name", "bench:0:2", "Pumpe"}), kCtlExitDone) << err;
  ASSERT_EQ(Run({"name", "--system", "bench:0:3", "Tor"}), kCtlExitDone) << err;
  ASSERT_EQ(Run({"name", "--system", "bench:0:2", "Heizung"}), kCtlExitDone) << err;
  EXPECT_EQ(TempDir::Read(user), "[caption]\nbench:0:2 = Pumpe\n");

  ASSERT_EQ(Run({"list"}), kCtlExitDone);
  EXPECT_NE(out.find("bench:0:2\toff\ttype 8, version 31, serial 6699\tPumpe\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\tTor\n"), std::string::npos) << out;
  // A "devID" value still wins over the file.
  hive.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "09-1f-00001a2b-devID", "Lampe");
  ASSERT_EQ(Run({"list"}), kCtlExitDone);
  EXPECT_NE(out.find("\tLampe\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("\tPumpe\n"), std::string::npos) << out;

  env["TOGGRA_DEVICES"].clear();
  TempDir::Write(user, TempDir::Read(user) + "[devices]\nentries = bench:" + bench + "\n");
  ASSERT_EQ(Run({"config"}), kCtlExitDone);
  EXPECT_NE(out.find("entries = bench:" + bench + "\t# " + user + ":4\n"), std::string::npos) << out;
  EXPECT_NE(out.find("bench:0:2 = Pumpe\t# " + user + ":2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("bench:0:3 = Tor\t# " + dir.File("etc/toggra.conf") + ":2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("url = \t# not set\n"), std::string::npos) << out;

  ASSERT_EQ(Run({"name", "bench:0:2", ""}), kCtlExitDone);
  EXPECT_EQ(TempDir::Read(user).find("Pumpe"), std::string::npos);
  EXPECT_EQ(Run({"name", "bench:0:2"}), kCtlExitUsage);
  EXPECT_EQ(Run({"list", "--system"}), kCtlExitUsage);
}

TEST_F(Ctl, UnreachableChannelIsReportedAndNotSwitched) {
  std::string text = kBench;
  text.replace(text.find("state = 1 0 1"), 13, "state = -1 0 1");  // reads unreachable
  TempDir::Write(bench, text);
  EXPECT_EQ(Run({"status", "bench:0:1"}), kCtlExitDevice);
  EXPECT_NE(out.find("unreachable"), std::string::npos) << out;
  EXPECT_EQ(Run({"on", "bench:0:1"}), kCtlExitDevice);
  EXPECT_EQ(err, "toggra-ctl: bench:0:1: unreachable\n");
}

}  // namespace
}  // namespace toggra::test

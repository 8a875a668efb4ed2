// The real `toggra --headless` on bench files with a real broker, driven and
// watched from outside through the broker, the bench and the command log.
#include <algorithm>
#include <regex>
#include <sys/stat.h>

#include "mqtt/BrokerSupport.h"

namespace toggra::mqtt_test {
namespace {

using e2e::BenchText;
using e2e::Device;

class HeadlessBroker : public e2e::E2ETest {
 protected:
  std::unique_ptr<CBroker> broker = std::make_unique<CBroker>(dir.Path().string());
  std::unique_ptr<CWatcher> watch = std::make_unique<CWatcher>(broker->Port());

  void WriteBench(const std::vector<Device>& devices, const std::string& path) {
    std::ofstream(path) << BenchText(devices);
  }
  ChildProcess& Headless(std::vector<std::string> args, const std::string& name,
                         std::map<std::string, std::string> env = {}) {
    args.insert(args.begin(), "--headless");
    env.emplace("TOGGRA_MQTT", broker->Url());
    env.emplace("TOGGRA_MQTT_PREFIX", "toggra/" + name);
    env.emplace("TOGGRA_MACHINE_ID", "testmachine");
    return Start(args, name, env);
  }
  std::string T(const std::string& name, const std::string& id, const char* leaf) {
    return "toggra/" + name + "/" + id + "/" + leaf;
  }
};

TEST_F(HeadlessBroker, PublishesDiscoveryAndStatesAndCarriesOutCommands) {
  WriteBench({{8, 100, 2, 0, 0, 0, {0, 0}}}, bench);
  ChildProcess& p = Headless({}, "a");
  ASSERT_TRUE(watch->WaitFor("toggra/a/status", "online")) << Stderr("a");
  const std::string c1 = "bench:0:1", c2 = "bench:0:2";
  ASSERT_TRUE(watch->WaitFor(T("a", c2, "state"), "OFF"));
  const auto config = watch->Last("homeassistant/device/toggra_testmachine_toggra_2Fa_bench_3A0/config");
  ASSERT_TRUE(config);
  for (const char* component : {"\"1\":{\"p\":\"switch\"", "\"1_run\":{\"p\":\"button\"",
                                "\"2_countdown\":{\"p\":\"sensor\"", "\"availability\""})
    EXPECT_NE(config->find(component), std::string::npos) << component << " in " << *config;

  watch->Publish(T("a", c1, "set"), "ON");
  EXPECT_TRUE(watch->WaitFor(T("a", c1, "state"), "ON"));
  EXPECT_EQ(Bench()->devices[0].state[0], 1);
  watch->Publish(T("a", c1, "set"), "TOGGLE");
  EXPECT_TRUE(watch->WaitFor(T("a", c1, "state"), "OFF"));

  // Switched by hand on the bench: the poll finds it, the bridge publishes.
  ASSERT_EQ(::system((std::string(TOGGRA_BENCH_TOOL) + " " + bench + " set 0 17 1").c_str()), 0);
  EXPECT_TRUE(watch->WaitFor(T("a", c2, "state"), "ON"));

  const size_t sent = SetSwitches("a").size();
  watch->Publish(T("a", c1, "set"), "EIN");
  watch->Publish(T("a", "bench:0:9", "set"), "ON");
  watch->Publish(T("a", c1, "set"), std::string(300, 'X'));
  ASSERT_TRUE(WaitUntil([&] { return e2e::Lines(Stderr("a")).size() >= 3; }, 5s));
  EXPECT_NE(Stderr("a").find("unknown command \"EIN\""), std::string::npos);
  EXPECT_NE(Stderr("a").find("no such channel"), std::string::npos);
  EXPECT_NE(Stderr("a").find("too long"), std::string::npos);
  EXPECT_EQ(SetSwitches("a").size(), sent);

  p.Signal(SIGTERM);
  EXPECT_TRUE(e2e::CleanExit(p.WaitExit(5s)));
  EXPECT_TRUE(watch->WaitFor("toggra/a/status", "offline"));
  EXPECT_EQ(e2e::Count(Log("a"), "ResetDevice 0"), 2);
}

TEST_F(HeadlessBroker, TrafficLightColoursAndARun) {
  WriteBench({{8, 7, 3, 1, 0, 0, {1, 0, 0}}}, bench);
  ChildProcess& p = Headless({"-A", "2", "1"}, "light");
  const std::string id = "bench:0:1";
  ASSERT_TRUE(watch->WaitFor(T("light", id, "state"), "red")) << Stderr("light");
  ASSERT_NE(watch->Last("homeassistant/device/toggra_testmachine_toggra_2Flight_bench_3A0/config")
                .value_or("").find("\"p\":\"select\""), std::string::npos);
  watch->Publish(T("light", id, "set"), "yellow");
  EXPECT_TRUE(watch->WaitFor(T("light", id, "state"), "yellow"));
  EXPECT_EQ(Bench()->devices[0].state, (std::vector<int>{0, 1, 0}));
  // "Aus" starts the green phase's countdown, as the tray item does.
  watch->Publish(T("light", id, "set"), "dark");
  EXPECT_TRUE(watch->WaitFor(T("light", id, "state"), "dark"));
  EXPECT_TRUE(watch->WaitFor(T("light", id, "countdown"), "2"));
  watch->Publish(T("light", id, "set"), "red");
  EXPECT_TRUE(watch->WaitFor(T("light", id, "countdown"), "0"));

  watch->Forget();
  watch->Publish(T("light", id, "run"), "START");
  EXPECT_TRUE(watch->WaitFor(T("light", id, "state"), "green"));
  EXPECT_TRUE(watch->WaitFor(T("light", id, "countdown"), "1", 3s));
  EXPECT_TRUE(watch->WaitFor(T("light", id, "state"), "red", 5s));
  EXPECT_EQ(watch->Last(T("light", id, "countdown")), "0");
  // Home Assistant's sensor gets the end of each phase once, not every second.
  std::vector<std::string> ends = watch->To(T("light", id, "ends"));
  // Under load the end ("None") of the command before the run may arrive
  // after Forget(); the run's own ends start with its green phase.
  while (!ends.empty() && ends.front() == "None") ends.erase(ends.begin());
  ASSERT_GE(ends.size(), 3u);
  EXPECT_LE(ends.size(), 4u) << ends.size();
  EXPECT_EQ(ends.back(), "None");
  EXPECT_TRUE(std::regex_match(ends.front(), std::regex("20[0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\+00:00")))
      << ends.front();
  auto states = watch->To(T("light", id, "state"));
  // Under load the red of the command before the run may arrive after
  // Forget(); what the run itself published starts at its green.
  const auto green = std::find(states.begin(), states.end(), "green");
  states.erase(states.begin(), green);
  EXPECT_EQ(states, (std::vector<std::string>{"green", "yellow", "red"}));
  p.Signal(SIGTERM);
  EXPECT_TRUE(e2e::CleanExit(p.WaitExit(5s)));
}

TEST_F(HeadlessBroker, RepublishesAfterBrokerRestartAndLeavesItsWillWhenKilled) {
  WriteBench({{8, 9, 1, 0, 0, 0, {1}}}, bench);
  ChildProcess& p = Headless({}, "w");
  ASSERT_TRUE(watch->WaitFor("toggra/w/bench:0:1/state", "ON")) << Stderr("w");
  broker->Stop();
  watch->Forget();
  broker->Start();  // without persistence: everything retained is gone
  EXPECT_TRUE(watch->WaitFor("toggra/w/status", "online", 10s));
  EXPECT_TRUE(watch->WaitFor("toggra/w/bench:0:1/state", "ON", 5s));
  EXPECT_TRUE(watch->Last("homeassistant/device/toggra_testmachine_toggra_2Fw_bench_3A0/config"));
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(e2e::Count(e2e::Lines(Stderr("w")), "toggra: mqtt: MQTT broker 127.0.0.1:" +
                                                    std::to_string(broker->Port()) +
                                                    ": connection lost; reconnecting"),
            1);

  p.Signal(SIGKILL);
  EXPECT_TRUE(watch->WaitFor("toggra/w/status", "offline", 5s));
}

TEST_F(HeadlessBroker, WrongPasswordGivesOneClearMessage) {
  const std::string users = dir.File("users");
  ASSERT_EQ(::system(("mosquitto_passwd -b -c " + users + " anna richtig").c_str()), 0);
  broker->Stop();
  watch.reset();
  broker = std::make_unique<CBroker>(dir.Path().string(),
                                     "allow_anonymous false\npassword_file " + users + "\n");
  watch = std::make_unique<CWatcher>(broker->Port(), "anna-watch", "anna", "richtig");
  const std::string pw = dir.File("pw");
  std::ofstream(pw) << "falsch\n";
  ::chmod(pw.c_str(), 0600);
  WriteBench({{8, 9, 1, 0, 0, 0, {0}}}, bench);
  ChildProcess& p = Headless({}, "pw", {{"TOGGRA_MQTT", broker->Url("anna")}, {"TOGGRA_MQTT_PASSWORD_FILE", pw}});
  ASSERT_TRUE(WaitUntil([&] { return Stderr("pw").find("refused the login") != std::string::npos; }, 5s));
  // It tries again after a second, but says so only once.
  EXPECT_FALSE(WaitUntil([&] { return e2e::Lines(Stderr("pw")).size() > 1; }, 1500ms)) << Stderr("pw");
  EXPECT_EQ(Stderr("pw").find("falsch"), std::string::npos);
  EXPECT_TRUE(p.Running()) << "the program keeps working without the broker";
  // The password fixed, the program told: it logs in, without a restart.
  std::ofstream(pw) << "richtig\n";
  p.Signal(SIGHUP);
  EXPECT_TRUE(watch->WaitFor("toggra/pw/status", "online", 10s)) << Stderr("pw");
  EXPECT_TRUE(p.Running());
}

// Two headless programs next to their devices, and the desktop program
// showing and switching their traffic lights through mqtt: columns.
TEST_F(HeadlessBroker, DesktopSwitchesTheLightsOfTwoHeadlessPrograms) {
  const std::string bench2 = dir.File("second.bench");
  WriteBench({{8, 11, 3, 1, 0, 0, {1, 0, 0}}}, bench);
  WriteBench({{8, 12, 3, 1, 0, 0, {1, 0, 0}}}, bench2);
  Headless({"-A"}, "h1");
  Headless({"-A"}, "h2", {{"TOGGRA_BENCH", bench2}});
  ASSERT_TRUE(watch->WaitFor("toggra/h1/bench:0:1/state", "red")) << Stderr("h1");
  ASSERT_TRUE(watch->WaitFor("toggra/h2/bench:0:1/state", "red")) << Stderr("h2");

  ChildProcess& desk = Start({"-A", "-F", "-S", stateFile, "g"}, "desk",
                             {{"TOGGRA_MQTT", broker->Url()},
                              {"TOGGRA_DEVICES", "mqtt:toggra/h1;mqtt:toggra/h2"},
                              {"TOGGRA_BENCH", ""}});
  EXPECT_TRUE(watch->WaitFor("toggra/h1/bench:0:1/state", "green")) << Stderr("desk");
  EXPECT_TRUE(watch->WaitFor("toggra/h2/bench:0:1/state", "green"));
  EXPECT_TRUE(WaitUntil([&] { return e2e::TempDir::Read(stateFile).rfind("1 1 ", 0) == 0; }, 5s))
      << e2e::TempDir::Read(stateFile);
  EXPECT_EQ(Bench()->devices[0].state, (std::vector<int>{0, 0, 1}));
  desk.Signal(SIGTERM);
  EXPECT_TRUE(e2e::CleanExit(desk.WaitExit(5s)));
  // Ending the desktop program must not reset the remote devices.
  EXPECT_EQ(e2e::Count(Log("h1"), "ResetDevice 0"), 0);
  EXPECT_EQ(Bench()->devices[0].state, (std::vector<int>{0, 0, 1}));
}

}  // namespace
}  // namespace toggra::mqtt_test

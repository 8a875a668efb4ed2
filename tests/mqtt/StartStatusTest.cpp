// How the real program ends when it cannot start as configured, without a
// display: the statuses a service manager and a shell see, and the desktop
// program's bridge.
#include <stdlib.h>
#include <sys/stat.h>

#include "app/StartProblem.h"
#include "device/DeviceRegistry.h"
#include "mqtt/BrokerSupport.h"

namespace toggra::mqtt_test {
namespace {

// As over SSH: no display of any kind, and Qt left to pick its platform.
class NoDisplay : public e2e::E2ETest {
 protected:
  void SetUp() override {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
      if (const char* value = ::getenv(name)) m_saved.emplace_back(name, value);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) ::setenv(name.c_str(), value.c_str(), 1);
  }
  // The exit code of a run that must end by itself within a few seconds.
  int Run(const std::vector<std::string>& args, std::map<std::string, std::string> env) {
    env.emplace("QT_QPA_PLATFORM", "");
    ChildProcess& p = Start(args, "t", env);
    const std::optional<int> status = p.WaitExit(5s);
    EXPECT_TRUE(status && WIFEXITED(*status)) << e2e::DescribeStatus(status) << "\n" << Stderr("t");
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }

 private:
  std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(NoDisplay, AMistypedOwnOptionEndsWithTheUsageStatus) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--headles"}, {"-A", "--headless", "--headles"}, {"--platfrom"}}) {
    EXPECT_EQ(Run(args, {}), 2);
    EXPECT_NE(Stderr("t").find("toggra: unbekannte Option „" + args.back() + "“"),
              std::string::npos) << Stderr("t");
  }
}

TEST_F(NoDisplay, HeadlessEndsWith78OnAConfigurationError) {
  std::ofstream(bench) << e2e::BenchText({{8, 5, 1, 0, 0, 0, {0}}});
  const std::string pw = dir.File("pw");
  std::ofstream(pw) << "geheim\n";
  ::chmod(pw.c_str(), 0644);
  const std::vector<std::pair<std::map<std::string, std::string>, std::string>> cases{
      {{{"TOGGRA_DEVICES", "bnech:" + bench}}, "unknown back-end \"bnech\" (this build has: bench"},
      {{{"TOGGRA_MQTT", "http://127.0.0.1"}}, "MQTT: \"http://127.0.0.1\""},
      {{{"TOGGRA_MQTT", "mqtt://anna@127.0.0.1:1"}, {"TOGGRA_MQTT_PASSWORD_FILE", pw}},
       "may be read by others"},
  };
  for (const auto& [env, message] : cases) {
    EXPECT_EQ(Run({"--headless"}, env), kExitConfig) << message;
    EXPECT_NE(Stderr("t").find(message), std::string::npos) << Stderr("t");
    EXPECT_TRUE(Log("t").empty()) << "a device was opened";
  }
}

TEST_F(NoDisplay, HeadlessEndsWith69WhenTheBrokerCannotBeReachedAtStart) {
  std::ofstream(bench) << e2e::BenchText({{8, 5, 1, 0, 0, 0, {0}}});
  const int port = FreeLoopbackPort();  // nothing listens there
  EXPECT_EQ(Run({"--headless"}, {{"TOGGRA_MQTT", "mqtt://127.0.0.1:" + std::to_string(port)}}),
            kExitUnavailable);
  EXPECT_NE(Stderr("t").find("not reachable"), std::string::npos) << Stderr("t");
}

// The window with a broker configured publishes its columns as --headless
// does, and takes commands.
TEST_F(NoDisplay, TheDesktopProgramBridgesToo) {
  CBroker broker(dir.Path().string());
  CWatcher watch(broker.Port());
  std::ofstream(bench) << e2e::BenchText({{8, 7, 1, 0, 0, 0, {0}}});
  ChildProcess& desk = Start({}, "desk", {{"TOGGRA_MQTT", broker.Url()},
                                          {"TOGGRA_MQTT_PREFIX", "toggra/desk"}});
  ASSERT_TRUE(watch.WaitFor("toggra/desk/status", "online")) << Stderr("desk");
  const std::string id = "bench:0:1";
  ASSERT_TRUE(watch.WaitFor("toggra/desk/" + id + "/state", "OFF")) << Stderr("desk");
  watch.Publish("toggra/desk/" + id + "/set", "ON");
  EXPECT_TRUE(watch.WaitFor("toggra/desk/" + id + "/state", "ON")) << Stderr("desk");
  EXPECT_TRUE(WaitUntil([&] { return Bench() && Bench()->devices[0].state == std::vector<int>{1}; },
                        5s));
  desk.Signal(SIGTERM);
  EXPECT_TRUE(e2e::CleanExit(desk.WaitExit(5s))) << Stderr("desk");
  EXPECT_EQ(watch.Last("toggra/desk/status"), "offline");
}

// Only what no hardware can mend is a configuration error: a device that is
// not plugged in may come later.
TEST(UnusableDeviceEntries, NameSyntaxAndUnknownBackEndsNotMissingHardware) {
  const std::vector<std::string> messages = UnusableDeviceEntries(
      BuiltinRegistry(), {"bench:/nowhere.bench", "usbhub:9-9", "ohne-doppelpunkt", "bnech:x"});
  ASSERT_EQ(messages.size(), 2u) << messages[0];
  EXPECT_NE(messages[0].find("device entry ohne-doppelpunkt: "), std::string::npos);
  EXPECT_NE(messages[1].find("device entry bnech:x: unknown back-end \"bnech\""),
            std::string::npos);
}

}  // namespace
}  // namespace toggra::mqtt_test

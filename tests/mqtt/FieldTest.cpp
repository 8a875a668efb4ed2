// The bridge as two small computers and a Home Assistant see it: each case is
// one fault found in the field, against a real broker on loopback.
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <regex>

#include "bridge/HomeAssistant.h"
#include "mqtt/BrokerSupport.h"

namespace toggra::mqtt_test {
namespace {

using e2e::BenchText;
using e2e::Device;

class Field : public e2e::E2ETest {
 protected:
  std::unique_ptr<CBroker> broker = std::make_unique<CBroker>(dir.Path().string());
  std::unique_ptr<CWatcher> watch = std::make_unique<CWatcher>(broker->Port());

  ChildProcess& Headless(const std::string& name, const std::string& prefix,
                         std::map<std::string, std::string> env = {},
                         std::vector<std::string> args = {}) {
    args.insert(args.begin(), "--headless");
    env.emplace("TOGGRA_MQTT", broker->Url());
    env.emplace("TOGGRA_MQTT_PREFIX", prefix);
    env.emplace("TOGGRA_MACHINE_ID", "machine-" + name);
    return Start(args, name, env);
  }
  // toggra-ctl with `args`; its exit code, *out its standard output.
  int Ctl(const std::vector<std::string>& args, std::map<std::string, std::string> env,
          std::string* out) {
    std::vector<std::string> argv{TOGGRA_CTL_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    env.emplace("HOME", dir.Path().string());
    env.emplace("TOGGRA_HKCU", dir.File("HKEY_CURRENT_USER.reg"));
    ChildProcess p(argv, env, dir.File("ctl.out"), dir.File("ctl.err"));
    const std::optional<int> status = p.WaitExit(10s);
    *out = e2e::TempDir::Read(dir.File("ctl.out")) + e2e::TempDir::Read(dir.File("ctl.err"));
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }
  // The retained messages a newcomer gets under `filter`.
  std::map<std::string, std::string> Retained(const std::string& filter) {
    CWatcher late(broker->Port(), "late");
    // Answered after the retained messages of the subscription.
    late.Publish("probe/end", "x");
    EXPECT_TRUE(late.WaitFor("probe/end", "x"));
    std::map<std::string, std::string> out;
    for (const auto& [topic, payload] : late.RetainedSeen())
      if (topic.rfind(filter, 0) == 0) out[topic] = payload;
    return out;
  }
};

// 1. A second instance on the same prefix leaves the first one alone.
TEST_F(Field, ASecondInstanceOnTheSamePrefixRefusesAndErasesNothing) {
  std::ofstream(bench) << BenchText({{8, 100, 2, 0, 0, 0, {1, 0}}});
  Headless("a", "toggra/raspberrypi");
  ASSERT_TRUE(watch->WaitFor("toggra/raspberrypi/bench:0:2/state", "OFF")) << Stderr("a");
  // A slow start (a sanitizer build) may still be publishing: take what A
  // left once two looks agree and hold both channels' configs.
  std::map<std::string, std::string> before;
  ASSERT_TRUE(WaitUntil([&] {
    auto now = Retained("");
    const bool settled = now == before && now.count("toggra/raspberrypi/bench:0:2/ends") &&
                         now.count("homeassistant/device/toggra_machine-a_toggra_2Fraspberrypi_"
                                   "bench_3A0/config");
    before = std::move(now);
    return settled;
  }, 10s)) << before.size();

  const std::string bench2 = dir.File("b.bench");
  std::ofstream(bench2) << BenchText({{8, 200, 1, 0, 0, 0, {0}}, {8, 201, 1, 0, 0, 0, {0}}});
  watch->Forget();
  ChildProcess& b = Headless("b", "toggra/raspberrypi", {{"TOGGRA_BENCH", bench2}});
  const std::optional<int> status = b.WaitExit(10s);
  ASSERT_TRUE(status && WIFEXITED(*status)) << e2e::DescribeStatus(status);
  EXPECT_EQ(WEXITSTATUS(*status), 78);
  EXPECT_NE(Stderr("b").find("machine machine-a, process"), std::string::npos) << Stderr("b");
  // Nothing of B's reached the broker but its probe, not even its last will
  // ("offline"); A, slow to start under a sanitizer, may still say "online".
  for (const std::string& topic : watch->Topics()) {
    if (topic.find("/claim/") != std::string::npos) continue;
    if (topic == "toggra/raspberrypi/status" && *watch->Last(topic) == "online") continue;
    EXPECT_EQ(topic.find("raspberrypi"), std::string::npos) << topic << " " << *watch->Last(topic);
  }
  EXPECT_EQ(Retained(""), before);
}

// 3. One id everywhere, also for a version above 0xFF; toggra-ctl over mqtt:
//    reads back what it switched.
TEST_F(Field, TheIdOfToggraCtlIsTheTopicAndTheUniqueId) {
  std::string text = BenchText({{8, 100, 2, 0, 0, 0, {0, 0}}});
  text.replace(text.find("version = 1\n"), 12, "version = 291\n");
  std::ofstream(bench) << text;
  std::string out;
  ASSERT_EQ(Ctl({"list"}, {{"TOGGRA_BENCH", bench}}, &out), 0) << out;
  ASSERT_EQ(out.rfind("bench:0:1\t", 0), 0u) << out;
  Headless("a", "toggra/a");
  ASSERT_TRUE(watch->WaitFor("toggra/a/bench:0:2/state", "OFF")) << Stderr("a");
  const auto config = watch->Last("homeassistant/device/toggra_machine-a_toggra_2Fa_bench_3A0/config");
  ASSERT_TRUE(config);
  EXPECT_NE(config->find("\"unique_id\":\"toggra_machine-a_toggra_2Fa_bench:0:2\""), std::string::npos);

  const std::map<std::string, std::string> remote{{"TOGGRA_MQTT", broker->Url()},
                                                  {"TOGGRA_DEVICES", "mqtt:toggra/a"}};
  ASSERT_EQ(Ctl({"list"}, remote, &out), 0) << out;
  EXPECT_NE(out.find("mqtt:toggra/a:bench:0:2\toff"), std::string::npos) << out;
  EXPECT_EQ(Ctl({"on", "mqtt:toggra/a:bench:0:2"}, remote, &out), 0) << out;
  EXPECT_TRUE(watch->WaitFor("toggra/a/bench:0:2/state", "ON"));
  EXPECT_EQ(Bench()->devices[0].state, (std::vector<int>{0, 1}));
}

// 4. Discovery that Home Assistant takes: one config for the device under a
//    node id of [a-zA-Z0-9_-] with the machine id, the device named by what
//    it is, its one entity by the device; a traffic light whose lamps
//    disagree is unavailable, not an invalid option.
TEST_F(Field, DiscoveryTopicsAndStatesHomeAssistantAccepts) {
  std::ofstream(bench) << BenchText({{8, 7, 3, 1, 0, 0, {1, 1, 0}}});
  Headless("k", "home/keller.pi Küche", {}, {"-A"});
  const std::string base = "home/keller.pi Küche/bench:0:1/";
  ASSERT_TRUE(watch->WaitFor(base + "availability", "offline")) << Stderr("k");
  EXPECT_FALSE(watch->Last(base + "state")) << *watch->Last(base + "state");
  const std::regex valid("homeassistant/device/toggra_machine-k_[a-zA-Z0-9_-]+/config");
  std::vector<std::string> configs;
  for (const std::string& topic : watch->Topics())
    if (topic.rfind("homeassistant/", 0) == 0) configs.push_back(topic);
  ASSERT_EQ(configs.size(), 1u);
  EXPECT_TRUE(std::regex_match(configs[0], valid)) << configs[0];
  const std::string config = watch->Last(configs[0]).value_or("");
  for (const char* part : {"\"name\":\"Prüfstandsampel 0\",\"manufacturer\":\"Arvendal GmbH\",\"model\":\"USB type 8\"",
                           "\"o\":{\"name\":\"Toggra\",\"sw\":", "\"1\":{\"p\":\"select\",\"name\":null,"})
    EXPECT_NE(config.find(part), std::string::npos) << part << " in " << config;
  for (const char* lamp : {" set 0 16 0", " set 0 17 0", " set 0 18 1"})
    ASSERT_EQ(::system((std::string(TOGGRA_BENCH_TOOL) + " " + bench + lamp).c_str()), 0);
  EXPECT_TRUE(watch->WaitFor(base + "state", "green", 8s)) << e2e::TempDir::Read(bench);
  EXPECT_TRUE(watch->WaitFor(base + "availability", "online"));
}

// 5. A device missing at start keeps its entities; they show unavailable.
TEST_F(Field, ChannelsOfAMissingDeviceStayDiscoveredAndUnavailable) {
  std::ofstream(bench) << BenchText({{8, 1, 1, 0, 0, 0, {1}}, {8, 2, 1, 0, 0, 0, {1}}});
  ChildProcess& first = Headless("m", "toggra/m");
  ASSERT_TRUE(watch->WaitFor("toggra/m/bench:1:1/state", "ON")) << Stderr("m");
  first.Signal(SIGTERM);
  ASSERT_TRUE(e2e::CleanExit(first.WaitExit(5s)));
  const auto before = Retained("homeassistant/");
  ASSERT_EQ(before.size(), 2u);

  std::ofstream(bench) << BenchText({{8, 1, 1, 0, 0, 0, {1}}});
  watch->Forget();
  Headless("m2", "toggra/m", {{"TOGGRA_MACHINE_ID", "machine-m"}});
  ASSERT_TRUE(watch->WaitFor("toggra/m/bench:1:1/availability", "offline")) << Stderr("m2");
  EXPECT_EQ(Retained("homeassistant/"), before);
  EXPECT_EQ(Retained("toggra/m/bench:1:1/state"),
            (std::map<std::string, std::string>{{"toggra/m/bench:1:1/state", "ON"}}));
}

// 5. `toggra-ctl forget ID` removes a missing channel's entities for good.
//    A channel of a device with others is cut out of the device's config;
//    the device's last channel takes the config with it.
TEST_F(Field, ForgetRemovesAChannelsTopicsAndEntities) {
  std::ofstream(bench) << BenchText({{8, 1, 2, 0, 0, 0, {1, 1}}, {8, 2, 1, 0, 0, 0, {1}}});
  ChildProcess& p = Headless("f", "toggra/f");
  ASSERT_TRUE(watch->WaitFor("toggra/f/bench:1:1/state", "ON")) << Stderr("f");
  p.Signal(SIGTERM);
  ASSERT_TRUE(e2e::CleanExit(p.WaitExit(5s)));
  const std::map<std::string, std::string> env{{"TOGGRA_MQTT", broker->Url()}, {"TOGGRA_MQTT_PREFIX", "toggra/f"},
                                               {"TOGGRA_MACHINE_ID", "machine-f"}};
  std::string out;
  ASSERT_EQ(Ctl({"forget", "bench:1:1"}, env, &out), 0) << out;
  ASSERT_EQ(Ctl({"forget", "bench:0:2"}, env, &out), 0) << out;
  EXPECT_TRUE(Retained("toggra/f/bench:1:1/").empty());
  EXPECT_TRUE(Retained("toggra/f/bench:0:2/").empty());
  const auto configs = Retained("homeassistant/");
  ASSERT_EQ(configs.size(), 1u);
  const std::string& config = configs.begin()->second;
  EXPECT_EQ(configs.begin()->first, "homeassistant/device/toggra_machine-f_toggra_2Ff_bench_3A0/config");
  EXPECT_NE(config.find("\"2\":{\"p\":\"switch\"},\"2_run\":{\"p\":\"button\"},\"2_countdown\":{\"p\":\"sensor\"}"),
            std::string::npos) << config;
  EXPECT_NE(config.find("\"1\":{\"p\":\"switch\",\"name\":\"Kanal 1\""), std::string::npos) << config;
}

// 4. The per-entity configs of the previous version move into the device
//    config (each told so, then emptied); those of a missing device stay.
TEST_F(Field, PerEntityConfigsMoveIntoTheDevice) {
  const std::string node = "homeassistant/switch/toggra_machine-v_toggra_2Fv/";
  const std::string present = node + "bench_3A0_3A1/config", absent = node + "hidrelay_3AX_3A1/config";
  watch->Publish(present, "{\"unique_id\":\"toggra_machine-v_bench:0:1\"}", true);
  watch->Publish(absent, "{\"unique_id\":\"toggra_machine-v_hidrelay:X:1\"}", true);
  ASSERT_TRUE(watch->WaitFor(absent, "{\"unique_id\":\"toggra_machine-v_hidrelay:X:1\"}"));
  std::ofstream(bench) << BenchText({{8, 1, 1, 0, 0, 0, {0}}});
  Headless("v", "toggra/v");
  ASSERT_TRUE(watch->WaitFor(present, "")) << Stderr("v");
  EXPECT_EQ(watch->To(present), (std::vector<std::string>{"{\"unique_id\":\"toggra_machine-v_bench:0:1\"}",
                                                          kMigratePayload, ""}));
  const auto kept = Retained("homeassistant/");
  EXPECT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept.count(absent), 1u);
  EXPECT_NE(kept.at("homeassistant/device/toggra_machine-v_toggra_2Fv_bench_3A0/config").find("toggra_machine-v_toggra_2Fv_bench:0:1"),
            std::string::npos);
}

// 6. A retained command is carried out once and does not stay on the broker.
TEST_F(Field, ARetainedCommandIsCarriedOutOnceAndRemoved) {
  std::ofstream(bench) << BenchText({{8, 1, 1, 0, 0, 0, {0}}});
  ChildProcess& p = Headless("r", "toggra/r");
  ASSERT_TRUE(watch->WaitFor("toggra/r/bench:0:1/state", "OFF")) << Stderr("r");
  watch->Publish("toggra/r/bench:0:1/set", "ON", true);
  ASSERT_TRUE(watch->WaitFor("toggra/r/bench:0:1/state", "ON"));
  EXPECT_TRUE(watch->WaitFor("toggra/r/bench:0:1/set", ""));
  EXPECT_TRUE(Retained("toggra/r/bench:0:1/set").empty());
  p.Signal(SIGTERM);
  ASSERT_TRUE(e2e::CleanExit(p.WaitExit(5s)));
  EXPECT_EQ(Stderr("r").find("retained"), std::string::npos) << Stderr("r");
}

// 2. A broker certificate that is not trusted: the check that failed is
//    named, and --headless ends with 78 instead of running without a broker.
TEST_F(Field, AnUntrustedBrokerCertificateIsNamedAndEndsHeadless) {
  const std::string tls = dir.File("tls");
  ::mkdir(tls.c_str(), 0700);
  ASSERT_EQ(::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout " +
                      tls + "/key.pem -out " + tls + "/cert.pem 2>/dev/null").c_str()),
            0);
  CBroker broker2(tls, "allow_anonymous true\ncertfile " + tls + "/cert.pem\nkeyfile " + tls + "/key.pem\n");
  std::ofstream(bench) << BenchText({{8, 1, 1, 0, 0, 0, {0}}});
  ChildProcess& p = Headless("t", "toggra/t", {{"TOGGRA_MQTT", "mqtts://127.0.0.1:" + std::to_string(broker2.Port())}});
  const std::optional<int> status = p.WaitExit(15s);
  ASSERT_TRUE(status && WIFEXITED(*status)) << e2e::DescribeStatus(status) << Stderr("t");
  EXPECT_EQ(WEXITSTATUS(*status), 78) << Stderr("t");
  EXPECT_NE(Stderr("t").find("the broker's certificate was not accepted: self-signed certificate"),
            std::string::npos) << Stderr("t");
}

// A caption from the user's toggra.conf names the Home Assistant entity.
TEST_F(Field, ACaptionFromTheUsersConfigurationNamesTheEntity) {
  std::ofstream(bench) << BenchText({{8, 100, 2, 0, 0, 0, {0, 0}}});
  const std::string config = dir.File("config");
  std::filesystem::create_directories(config + "/toggra");
  std::ofstream(config + "/toggra/toggra.conf") << "# mine\n[caption]\nbench:0:2 = Pumpe\n";
  Headless("c", "toggra/c", {{"XDG_CONFIG_HOME", config}});
  std::optional<std::string> entity;
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::string& topic : watch->Topics())
      if (topic.find("/device/") != std::string::npos && topic.find("bench_3A0/config") != std::string::npos)
        entity = watch->Last(topic);
    return entity && !entity->empty();
  }, 10s)) << Stderr("c");
  EXPECT_NE(entity->find("\"name\":\"Pumpe\""), std::string::npos) << *entity;
}

// 9. The -L log of a daemon stays bounded, and each line is on stderr.
TEST_F(Field, TheHeadlessLogKeepsItsNewestLinesOnly) {
  std::ofstream(bench) << BenchText({{8, 1, 1, 0, 0, 0, {0}}});
  ChildProcess& p = Headless("l", "toggra/l", {}, {"-L"});
  ASSERT_TRUE(watch->WaitFor("toggra/l/bench:0:1/state", "OFF")) << Stderr("l");
  const auto rss = [&] {
    std::ifstream status("/proc/" + std::to_string(p.Pid()) + "/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0L;
  };
  const auto sendBad = [&](int n) {
    for (int k = 0; k < n; ++k) watch->Publish("toggra/l/bench:0:1/set", "BAD-" + std::to_string(k) + std::string(50, 'x'));
    ASSERT_TRUE(WaitUntil([&] { return Stderr("l").find("BAD-" + std::to_string(n - 1)) != std::string::npos; }, 20s));
  };
  sendBad(2000);  // the log is full from here on
  const long full = rss();
  sendBad(20000);
  // Unbounded, 20,000 lines of about 150 bytes would add some 3 MiB. (A
  // sanitizer build holds freed memory back, so its size says nothing.)
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(rss() - full, 1024) << "kB";
#else
  (void)full;
#endif
  EXPECT_EQ(e2e::Count(e2e::Lines(Stderr("l")), "toggra: mqtt: ignored toggra/l/bench:0:1/set: unknown command \"BAD-19999" + std::string(50, 'x') + "\""), 1);
}

}  // namespace
}  // namespace toggra::mqtt_test

// The back-end modules: loaded only when an entry needs them, each bringing
// only its own library; a missing or foreign module is named in the message;
// what the registry knows without loading a module agrees with the module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bridge/MqttConfig.h"
#include "device/BackendModule.h"
#include "device/DeviceRegistry.h"
#include "e2e/E2ESupport.h"
#include "support/TempDir.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;

// The library each module exists for.
const std::map<std::string, std::string> kModuleLibrary{
    {"usbhub", "libusb-1.0"}, {"hidrelay", "libhidapi"}, {"gpio", "libgpiod"}, {"mqtt", "libmosquitto"},
    {"modbus", "libmodbus"}, {"ftdi", "libftdi1"}};

bool Mapped(const std::string& text) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream all;
  all << maps.rdbuf();
  return all.str().find(text) != std::string::npos;
}

bool Built(const std::string& name) {
  const auto& names = ModuleBackendNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

struct NullMqttHandler : IMqttHandler {
  void OnConnected() override {}
  void OnMessage(const MqttMessage&) override {}
  void OnProblem(const std::string&) override {}
};

// In one process, in order: nothing loads for a bench entry; each module
// entry loads its module and library and no other's.
TEST(BackendModules, EachLoadsWhenAnEntryNeedsItAndBringsOnlyItsLibrary) {
  ::unsetenv("TOGGRA_BACKEND_DIR");
  TempDir dir;
  std::vector<std::string> messages;
  auto sink = [&](const std::string& m) { messages.push_back(m); };
  BuiltinRegistry().Open({"bench:" + dir.File("none.bench")}, sink);
  for (const auto& [name, library] : kModuleLibrary) {
    EXPECT_FALSE(Mapped("/" + name + ".so")) << name;
    EXPECT_FALSE(Mapped(library)) << library;
  }
  std::vector<std::string> loaded;
  for (const std::string& name : ModuleBackendNames()) {
    messages.clear();
    BuiltinRegistry().Open({name + ":toggra-test-none"}, sink);
    for (const std::string& m : messages) EXPECT_EQ(m.find("cannot load"), std::string::npos) << m;
    loaded.push_back(BackendModuleName(name));
    for (const auto& [other, library] : kModuleLibrary) {
      const bool expected = std::find(loaded.begin(), loaded.end(), other) != loaded.end();
      EXPECT_EQ(Mapped("/backends/" + other + ".so"), expected) << "after " << name << ": " << other;
      EXPECT_EQ(Mapped(library), expected) << "after " << name << ": " << library;
    }
    // The default entry the registry knows beforehand is the module's own.
    std::string reason;
    const BackendInfo* own = LoadBackendModule(name, &reason);
    ASSERT_NE(own, nullptr) << reason;
    EXPECT_EQ(BuiltinRegistry().Find(name)->defaultEntry, own->defaultEntry) << name;
  }
}

TEST(BackendModules, BrokerClientComesFromTheMqttModule) {
  NullMqttHandler handler;
  MqttConfig config;
  config.host = "127.0.0.1";
  std::string reason;
  auto client = CreateMqttClient(config, "toggra-test", handler, {}, {}, &reason);
  if (!Built("mqtt")) {
    EXPECT_EQ(client, nullptr);
    EXPECT_NE(reason.find("no MQTT support"), std::string::npos) << reason;
    return;
  }
  ASSERT_NE(client, nullptr) << reason;
  EXPECT_TRUE(Mapped("libmosquitto"));
  EXPECT_FALSE(client->Connected());
}

// toggra-ctl as a user runs it: a bench entry needs no module, a module
// entry whose module is missing or foreign is named with the file and why.
class CtlModules : public ::testing::Test {
 protected:
  TempDir dir;
  std::string bench = dir.File("demo.bench");
  std::string out, err;

  void SetUp() override {
    ASSERT_EQ(std::system((std::string(TOGGRA_BENCH_TOOL) + " " + bench + " demo --force >/dev/null").c_str()), 0);
  }
  int Ctl(const std::vector<std::string>& args, const std::string& devices,
          const std::string& moduleDir) {
    std::vector<std::string> argv{TOGGRA_CTL_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<std::string, std::string> env{{"TOGGRA_DEVICES", devices},
                                           {"TOGGRA_BACKEND_DIR", moduleDir},
                                           {"TOGGRA_HKCU", dir.File("HKCU.reg")},
                                           {"TOGGRA_HKLM", dir.File("HKLM.reg")}};
    e2e::ChildProcess ctl(argv, env, dir.File("out"), dir.File("err"));
    const auto status = ctl.WaitExit(10s);
    out = TempDir::Read(dir.File("out"));
    err = TempDir::Read(dir.File("err"));
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }
};

TEST_F(CtlModules, BenchNeedsNoModuleAndListAllNamesTheBackends) {
  const std::string empty = dir.File("no-modules");
  ASSERT_EQ(Ctl({"list"}, "bench:" + bench, empty), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_NE(out.find("bench:0:1"), std::string::npos) << out;
  ASSERT_EQ(Ctl({"list", "--all"}, "bench:" + bench, ""), 0) << err;
  std::string expected = "backends\tbench plugin";
  for (const std::string& name : ModuleBackendNames()) expected += " " + name;
  EXPECT_NE(out.find("\n" + expected + "\n"), std::string::npos) << out;
}

TEST_F(CtlModules, MissingOrForeignModuleIsNamed) {
  if (ModuleBackendNames().empty()) GTEST_SKIP() << "no back-end modules in this build";
  const std::string name = ModuleBackendNames().back();
  const std::string file = BackendModuleName(name) + ".so";
  const std::string modules = dir.File("modules");
  std::filesystem::create_directory(modules);
  const std::string entry = name + ":x";
  ASSERT_EQ(Ctl({"list"}, "bench:" + bench + ";" + entry, modules), 0);
  EXPECT_NE(err.find("device entry " + entry + ": cannot load back-end module " + modules + "/" +
                     file + ": "),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("No such file"), std::string::npos) << err;
  EXPECT_NE(out.find("bench:0:1"), std::string::npos) << out;  // the other entry still works

  // A shared object that is no Toggra module.
  std::filesystem::copy_file(TOGGRA_FOREIGN_MODULE, modules + "/" + file);
  ASSERT_EQ(Ctl({"list"}, entry, modules), 1);  // nothing found
  EXPECT_NE(err.find(modules + "/" + file + ": no symbol toggra_backend_module"), std::string::npos)
      << err;
}

}  // namespace
}  // namespace toggra::test

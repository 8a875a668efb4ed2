// The registry of back-ends, the composite library over several of them and
// the configuration that chooses the entries.
#include <gtest/gtest.h>

#include <map>

#include "device/DeviceRegistry.h"
#include "support/FakePivlink.h"
#include "support/MemoryRegistry.h"

namespace toggra {
namespace {

using test::FakeDevice;
using test::FakePivlink;

FakeDevice Dev(int type, int version, int serial, int switches = 1) {
  FakeDevice d;
  d.type = type, d.version = version, d.serial = serial, d.switches = switches;
  return d;
}

// Two back-ends whose libraries the test keeps pointers to.
struct TwoParts {
  FakePivlink* first = nullptr;
  FakePivlink* second = nullptr;
  std::unique_ptr<CCompositePivlink> lib;

  TwoParts(int firstDevices, int secondDevices) {
    std::vector<CCompositePivlink::Part> parts;
    auto a = std::make_unique<FakePivlink>();
    auto b = std::make_unique<FakePivlink>();
    for (int d = 0; d < firstDevices; ++d) a->devices.push_back(Dev(8, 1, 100 + d));
    for (int d = 0; d < secondDevices; ++d) b->devices.push_back(Dev(40, 2, 200 + d, 4));
    first = a.get();
    second = b.get();
    parts.push_back({"alpha", "alpha:x", std::move(a)});
    parts.push_back({"beta", "beta:y", std::move(b)});
    lib = std::make_unique<CCompositePivlink>(std::move(parts));
  }
};

TEST(CompositeLibrary, NumbersDevicesOverThePartsInOrderAndRoutesEachCall) {
  TwoParts p(2, 1);
  // Nothing is asked of a device before the list is opened.
  EXPECT_EQ(p.lib->GetUSBType(0), 0);
  EXPECT_TRUE(p.first->CallsOf("GetUSBType").empty());

  ASSERT_EQ(p.lib->OpenArvendal(), 3);
  EXPECT_EQ(p.lib->GetSerialNumber(0), 100);
  EXPECT_EQ(p.lib->GetSerialNumber(1), 101);
  EXPECT_EQ(p.lib->GetSerialNumber(2), 200);
  EXPECT_EQ(p.lib->GetUSBType(2), 40);
  int count = 1, button = 0;
  EXPECT_NE(p.lib->GetSwitchConfig(2, &count, &button), 0);
  EXPECT_EQ(count, 4);

  p.lib->SetSwitch(2, 17, 1);
  p.lib->SetSwitch(1, 16, 1);
  EXPECT_EQ(p.second->CallsOf("SetSwitch"), std::vector<std::string>{"SetSwitch 0 17 1"});
  EXPECT_EQ(p.first->CallsOf("SetSwitch"), std::vector<std::string>{"SetSwitch 1 16 1"});
  EXPECT_EQ(p.lib->GetSwitch(2, 17), 1);
  unsigned long value = 0;
  EXPECT_GE(p.lib->GetMultiSwitch(2, nullptr, &value, 0), 0);
  EXPECT_EQ(value, 2ul);
  p.lib->ResetDevice(0);
  EXPECT_EQ(p.first->CallsOf("ResetDevice"), std::vector<std::string>{"ResetDevice 0"});

  EXPECT_EQ(p.lib->BackendName(1), "alpha");
  EXPECT_EQ(p.lib->BackendName(2), "beta");
  EXPECT_EQ(p.lib->ChannelId(2, 1), "beta:d0:2");
}

TEST(CompositeLibrary, NumbersOutsideTheListAnswerAsAMissingDevice) {
  TwoParts p(1, 1);
  ASSERT_EQ(p.lib->OpenArvendal(), 2);
  for (int d : {-1, 2, 1000}) {
    int count = 1, button = 0;
    EXPECT_EQ(p.lib->GetSwitchConfig(d, &count, &button), 0) << d;
    EXPECT_LT(p.lib->GetSwitch(d, 16), 0) << d;
    unsigned long v = 0;
    EXPECT_LT(p.lib->GetMultiSwitch(d, nullptr, &v, 0), 0) << d;
    p.lib->SetSwitch(d, 16, 1);
    EXPECT_EQ(p.lib->BackendName(d), "");
  }
  EXPECT_TRUE(p.first->CallsOf("SetSwitch").empty());
  EXPECT_TRUE(p.second->CallsOf("SetSwitch").empty());
}

TEST(CompositeLibrary, EveryDiscoveryPassCountsAnew) {
  TwoParts p(1, 2);
  ASSERT_EQ(p.lib->OpenArvendal(), 3);
  // A part that finds nothing (or fails) leaves no gap in the numbers.
  p.first->openResult = -5;
  ASSERT_EQ(p.lib->OpenArvendal(), 2);
  EXPECT_EQ(p.lib->GetSerialNumber(0), 200);
  EXPECT_EQ(p.lib->GetSerialNumber(1), 201);
  EXPECT_EQ(p.lib->GetSerialNumber(2), 0);
}

CDeviceRegistry FakeRegistry(std::map<std::string, int>* opened) {
  CDeviceRegistry registry;
  BackendInfo good;
  good.name = "fake";
  good.open = [opened](const std::string& arg, std::string* reason)
      -> std::unique_ptr<CBackendPivlink> {
    if (arg == "broken") {
      *reason = "broken: no such device";
      return nullptr;
    }
    ++(*opened)[arg];
    auto lib = std::make_unique<FakePivlink>();
    lib->devices.push_back(Dev(8, 1, static_cast<int>(arg.size())));
    return lib;
  };
  good.defaultEntry = "fake:*";
  registry.Register(good);
  return registry;
}

TEST(DeviceRegistry, ReportsEachUnusableEntryOnceAndKeepsTheOthersInOrder) {
  std::map<std::string, int> opened;
  const CDeviceRegistry registry = FakeRegistry(&opened);
  std::vector<std::string> errors;
  auto lib = registry.Open({"fake:a", "nocolon", ":x", "nosuch:1", "fake:broken", "fake:bbb"},
                           [&](const std::string& e) { errors.push_back(e); });
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_NE(errors[0].find("nocolon"), std::string::npos);
  EXPECT_NE(errors[2].find("unknown back-end \"nosuch\""), std::string::npos);
  EXPECT_NE(errors[3].find("fake:broken: broken: no such device"), std::string::npos);
  ASSERT_EQ(lib->OpenArvendal(), 2);
  EXPECT_EQ(lib->GetSerialNumber(0), 1);  // "a"
  EXPECT_EQ(lib->GetSerialNumber(1), 3);  // "bbb"
  EXPECT_EQ(lib->Parts()[1].entry, "fake:bbb");
  EXPECT_EQ(registry.DefaultEntries(), std::vector<std::string>{"fake:*"});
}

TEST(DeviceConfiguration, VariablesThenTheStoredValueThenTheDefaults) {
  test::MemoryRegistry hive;
  std::map<std::string, std::string> env;
  auto getenv = [&](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  // Nothing configured: the built-in defaults.
  EXPECT_EQ(ConfiguredDeviceEntries(&hive, getenv), BuiltinRegistry().DefaultEntries());
  // An empty stored value counts as not set, as `toggra-ctl config` reports it.
  hive.SetString(RegRoot::CurrentUser, "SOFTWARE\\Arvendal GmbH\\USB\\Toggra", "Devices", "");
  EXPECT_EQ(ConfiguredDeviceEntries(&hive, getenv), BuiltinRegistry().DefaultEntries());
  hive.SetString(RegRoot::CurrentUser, "SOFTWARE\\Arvendal GmbH\\USB\\Toggra", "Devices",
                 "bench:/a.bench; usbhub:1-1 ;");
  EXPECT_EQ(ConfiguredDeviceEntries(&hive, getenv),
            (std::vector<std::string>{"bench:/a.bench", "usbhub:1-1"}));
  env["TOGGRA_BENCH"] = "/b.bench";
  EXPECT_EQ(ConfiguredDeviceEntries(&hive, getenv), std::vector<std::string>{"bench:/b.bench"});
  env["TOGGRA_DEVICES"] = "bench:/c;bench:/d";
  EXPECT_EQ(ConfiguredDeviceEntries(&hive, getenv),
            (std::vector<std::string>{"bench:/c", "bench:/d"}));
  // An empty variable counts as unset.
  env["TOGGRA_DEVICES"] = "";
  EXPECT_EQ(ConfiguredDeviceEntries(&hive, getenv), std::vector<std::string>{"bench:/b.bench"});
}

TEST(DeviceConfiguration, TheBenchBackEndRefusesAMissingFile) {
  std::vector<std::string> errors;
  auto lib = BuiltinRegistry().Open({"bench:/nonexistent/toggra.bench", "bench:"},
                                    [&](const std::string& e) { errors.push_back(e); });
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("No such file or directory"), std::string::npos) << errors[0];
  EXPECT_EQ(lib->OpenArvendal(), 0);
}

}  // namespace
}  // namespace toggra

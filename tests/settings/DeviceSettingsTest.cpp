#include "settings/DeviceSettings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/CaseNames.h"
#include "support/FakePrompts.h"
#include "support/MemoryRegistry.h"

namespace toggra {
namespace {

using test::FakePrompts;
using test::MemoryRegistry;

uint32_t DwordOf(const MemoryRegistry::Value* v) {
  uint32_t out = 0;
  if (v && v->data.size() == 4) std::memcpy(&out, v->data.data(), 4);
  return out;
}

class DeviceSettingsStore : public ::testing::Test {
 protected:
  MemoryRegistry registry;
  DeviceSettingsRoot root;
  FakePrompts prompts;

  CDeviceSettings Open() { return CDeviceSettings(registry, root, &prompts); }
};

// ---- which root the store settles on ----

using DeviceSettingsRootFallback = DeviceSettingsStore;

TEST_F(DeviceSettingsRootFallback, UnwritableMachineRootSendsReadsAndWritesToUserOnceAndForAll) {
  registry.localMachineWritable = false;
  registry.SetDword(RegRoot::LocalMachine, kDeviceSettingsKey, "00-00-00000000-X", 1);
  registry.SetDword(RegRoot::CurrentUser, kDeviceSettingsKey, "00-00-00000000-X", 2);
  {
    CDeviceSettings s = Open();
    int v = 0;
    ASSERT_TRUE(s.ReadDword("00-00-00000000-X", &v));
    EXPECT_EQ(v, 2);
    ASSERT_TRUE(s.WriteString("08-1f-00001a2b-SwitchCandidate", "Anna"));
  }
  EXPECT_EQ(root.root, RegRoot::CurrentUser);
  EXPECT_NE(registry.Find(RegRoot::CurrentUser, kDeviceSettingsKey,
                          "08-1f-00001a2b-SwitchCandidate"),
            nullptr);

  // The machine root becoming writable later does not bring the store back.
  registry.localMachineWritable = true;
  CDeviceSettings again = Open();
  ASSERT_TRUE(again.WriteDword("00-00-00000000-X", 3));
  EXPECT_EQ(DwordOf(registry.Find(RegRoot::CurrentUser, kDeviceSettingsKey, "00-00-00000000-X")),
            3u);
  EXPECT_EQ(DwordOf(registry.Find(RegRoot::LocalMachine, kDeviceSettingsKey, "00-00-00000000-X")),
            1u);
  EXPECT_TRUE(prompts.boxes.empty());
}

// ---- value names ----

struct NameCase {
  int keyType, version, serial;
  const char* entry;
  const char* expected;
};

class DeviceValueNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceValueNames, FormatsLowerCaseZeroPaddedHex) {
  const NameCase& c = GetParam();
  EXPECT_EQ(CDeviceSettings::ValueName(c.keyType, c.version, c.serial, c.entry), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceValueNames,
    ::testing::Values(NameCase{8, 0x1F, 0x1A2B, "SwitchTimer", "08-1f-00001a2b-SwitchTimer"},
                      NameCase{0, 0, 0, "DisplaySwitchStartError",
                               "00-00-00000000-DisplaySwitchStartError"},
                      NameCase{0x28, 0x1F, 0x7ABCDEF0, "devID", "28-1f-7abcdef0-devID"},
                      NameCase{0x34, 3, -1, "SwitchTimerT", "34-03-ffffffff-SwitchTimerT"}),
    [](const auto& info) { return test::RowName(info.index, info.param.expected); });

// ---- types and sizes ----

using DeviceValueTypes = DeviceSettingsStore;

TEST_F(DeviceValueTypes, WrongTypeMissingOrTooLongReadsAsNotSet) {
  registry.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "timer", "60");
  registry.SetDword(RegRoot::LocalMachine, kDeviceSettingsKey, "name", 0x41);
  registry.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "fits", std::string(4094, 'x'));
  registry.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "long", std::string(4095, 'x'));
  CDeviceSettings s = Open();
  int d = 11;
  EXPECT_FALSE(s.ReadDword("timer", &d));
  EXPECT_EQ(d, 11);
  EXPECT_FALSE(s.ReadDword("missing", &d));
  std::string text = "old";
  EXPECT_FALSE(s.ReadString("name", &text));
  EXPECT_EQ(text, "");
  text = "old";
  EXPECT_FALSE(s.ReadString("long", &text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(s.ReadString("fits", &text));
  EXPECT_EQ(text, std::string(4094, 'x'));
}

TEST_F(DeviceValueTypes, DebugOptionsAcceptAnyTypeOfFourBytes) {
  MemoryRegistry::Value bin{REG_BINARY, {0x01, 0x02, 0x00, 0x00}};
  registry.keys[MemoryRegistry::Full(RegRoot::LocalMachine, kDeviceSettingsKey)]
               ["00-00-00000000-AVdebugOptions"] = bin;
  EXPECT_EQ(Open().DebugOptions(), 0x0201);

  MemoryRegistry::Value tooLong{REG_BINARY, {1, 2, 3, 4, 5}};
  registry.keys[MemoryRegistry::Full(RegRoot::LocalMachine, kDeviceSettingsKey)]
               ["00-00-00000000-AVdebugOptions"] = tooLong;
  EXPECT_EQ(Open().DebugOptions(), 0);
}

// ---- failed writes are reported ----

using FailedDeviceWrites = DeviceSettingsStore;

TEST_F(FailedDeviceWrites, ShowGermanBoxOnMainWindowNamingTheEntry) {
  CDeviceSettings s = Open();
  registry.localMachineWritable = false;
  EXPECT_FALSE(s.WriteDword(CDeviceSettings::ValueName(8, 0x1F, 0x1A2B, "SwitchTimer"), 60));
  EXPECT_FALSE(s.WriteString(CDeviceSettings::ValueName(8, 0x1F, 0x1A2B, "SwitchCandidate"), "A"));
  ASSERT_EQ(prompts.boxes.size(), 2u);
  EXPECT_EQ(prompts.boxes[0].text, "Die Einstellung \"SwitchTimer\" konnte nicht gespeichert werden.");
  EXPECT_EQ(prompts.boxes[0].caption, "Fehler");
  EXPECT_TRUE(prompts.boxes[0].owned);
  EXPECT_EQ(prompts.boxes[1].text,
            "Die Einstellung \"SwitchCandidate\" konnte nicht gespeichert werden.");
  EXPECT_EQ(registry.Find(RegRoot::LocalMachine, kDeviceSettingsKey, "08-1f-00001a2b-SwitchTimer"),
            nullptr);
}

}  // namespace
}  // namespace toggra

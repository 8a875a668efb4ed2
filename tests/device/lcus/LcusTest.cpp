// The lcus back-end on CH340 relay modules played on pseudo-terminals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceRegistry.h"
#include "device/lcus/LcusDriver.h"
#include "device/lcus/LcusWire.h"
#include "device/serial/SerialEntry.h"
#include "lcus/LcusModuleEmulator.h"
#include "serial/WithoutPrivileges.h"
#include "support/TempDir.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using Answer = LcusModuleEmulator::Answer;
using Bytes = std::vector<uint8_t>;

TEST(LcusWire, FramesCarryTheirSum) {
  auto frame = [](int relay, bool on) {
    const lcus::Frame f = lcus::SwitchFrame(relay, on);
    return Bytes(f.begin(), f.end());
  };
  EXPECT_EQ(frame(1, true), (Bytes{0xA0, 0x01, 0x01, 0xA2}));
  EXPECT_EQ(frame(1, false), (Bytes{0xA0, 0x01, 0x00, 0xA1}));
  EXPECT_EQ(frame(2, true), (Bytes{0xA0, 0x02, 0x01, 0xA3}));
  EXPECT_EQ(frame(8, true), (Bytes{0xA0, 0x08, 0x01, 0xA9}));
}

TEST(LcusWire, StatusAnswersAreReadOnlyWhenEveryRelayIsNamed) {
  auto parse = [](const std::string& text, int relays, uint32_t* on) {
    return lcus::ParseStatus(Bytes(text.begin(), text.end()), relays, on);
  };
  uint32_t on = 0;
  ASSERT_TRUE(parse("CH1: ON\r\nCH2: OFF\r\nCH3:on\nch4 : OFF\r\n", 4, &on));
  EXPECT_EQ(on, 0b0101u);
  ASSERT_TRUE(parse("\xFF" "CH2:ON CH1:OFF", 2, &on));  // any separators, any order
  EXPECT_EQ(on, 0b10u);
  EXPECT_FALSE(parse("CH1: ON\r\nCH2: OFF\r\n", 4, &on)) << "relays 3 and 4 unread";
  EXPECT_FALSE(parse("", 1, &on));
  EXPECT_FALSE(parse("CH1=1", 1, &on));
  EXPECT_EQ(lcus::Printable({0x01, 'O', 'K', '\r', '\n', '\\'}), "\\x01OK\\r\\n\\x5C");
}

struct EntryCase {
  const char* argument;
  size_t maxNumbers;
  const char* path;  // null: refused
  std::vector<uint32_t> numbers;
  friend void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.argument; }
};

class SerialEntrySyntax : public ::testing::TestWithParam<EntryCase> {};

TEST_P(SerialEntrySyntax, SplitsPathAndNumbersFromTheEnd) {
  const EntryCase& c = GetParam();
  std::string path;
  std::vector<uint32_t> numbers;
  const bool ok = serial::SplitPathNumbers(c.argument, c.maxNumbers, &path, &numbers);
  ASSERT_EQ(ok, c.path != nullptr);
  if (!ok) return;
  EXPECT_EQ(path, c.path);
  EXPECT_EQ(numbers, c.numbers);
}

constexpr const char* kByPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";

INSTANTIATE_TEST_SUITE_P(
    Entries, SerialEntrySyntax,
    ::testing::Values(
        EntryCase{"/dev/ttyUSB0", 1, "/dev/ttyUSB0", {}},
        EntryCase{"/dev/ttyUSB0:4", 1, "/dev/ttyUSB0", {4}},
        EntryCase{"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:8", 1, kByPath, {8}},
        EntryCase{"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", 3, kByPath, {}},
        EntryCase{"/dev/ttyUSB1:2:4:19200", 3, "/dev/ttyUSB1", {2, 4, 19200}},
        // More numbers than the entry takes: the first is part of the path.
        EntryCase{"/dev/x:1:2", 1, "/dev/x:1", {2}},
        EntryCase{"ttyUSB0:4", 1, nullptr, {}},
        EntryCase{"/dev/ttyUSB0:99999999999", 1, nullptr, {}},
        EntryCase{"/:4", 1, nullptr, {}}));

TEST(LcusRegistry, EntriesOutsideTheModulesAreRefused) {
  CDeviceRegistry registry;
  RegisterLcus(registry);
  std::string reason;
  for (const char* argument : {"/dev/ttyUSB0:0", "/dev/ttyUSB0:9", "ttyUSB0"}) {
    EXPECT_EQ(registry.Find("lcus")->driver(argument, &reason), nullptr) << argument;
    EXPECT_NE(reason.find("expected lcus:PATH[:N]"), std::string::npos) << reason;
  }
  EXPECT_NE(registry.Find("lcus")->driver("/dev/ttyUSB0:8", &reason), nullptr);
}

class Lcus : public ::testing::Test {
 protected:
  // A silent module waits the answer time out; one that answers ends the
  // wait at once, so it gets room for a loaded machine.
  static constexpr CLcusDriver::Timing kTiming{30ms, 10ms, 200ms};
  static constexpr CLcusDriver::Timing kAnswering{1000ms, 10ms, 200ms};

  std::unique_ptr<CDriverPivlink> Open(const std::string& link, int relays,
                                       CLcusDriver::Timing timing = kTiming) {
    auto driver = std::make_unique<CLcusDriver>(
        link, relays, timing, [this](const std::string& m) { messages.push_back(m); });
    drivers.push_back(driver.get());
    CDriverPivlink::Options options;
    options.serving = DriverServing::kCaller;
    options.retryFirst = 5ms;
    options.refresh = 5ms;
    return std::make_unique<CDriverPivlink>(std::move(driver), options);
  }
  bool Told(const std::string& text) const {
    for (const std::string& m : messages)
      if (m.find(text) != std::string::npos) return true;
    return false;
  }

  TempDir dir;
  std::vector<std::string> messages;
  std::vector<CLcusDriver*> drivers;
};

TEST_F(Lcus, SilentModuleIsSwitchedAndShowsTheLevelsLastWritten) {
  LcusModuleEmulator module(dir.File("ttyUSB0"), 4);
  auto lib = Open(dir.File("ttyUSB0"), 4);
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(lib->DeviceName(0), "ttyUSB0");
  int channels = 0;
  ASSERT_TRUE(lib->GetSwitchConfig(0, &channels, nullptr));
  EXPECT_EQ(channels, 4);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 1), 0);
  EXPECT_TRUE(Told("lcus: ttyUSB0: no answer to the status query (FF); its relays show the levels "
                   "last written")) << ::testing::PrintToString(messages);

  ASSERT_EQ(lib->SetSwitch(0, 16 + 1, 1), 1);
  ASSERT_TRUE(module.AwaitFrames(1));
  EXPECT_EQ(module.Frames(), (std::vector<Bytes>{{0xA0, 0x02, 0x01, 0xA3}}));
  EXPECT_EQ(module.Relays(), 0b0010u);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 1), 1);
  ASSERT_EQ(lib->SetSwitch(0, 16 + 3, 1), 1);
  ASSERT_EQ(lib->SetSwitch(0, 16 + 1, 0), 1);
  ASSERT_TRUE(module.AwaitFrames(3));
  EXPECT_EQ(module.Relays(), 0b1000u);
  EXPECT_EQ(module.BadFrames(), 0);
  // Asked once: a silent module is not asked again while it stays plugged in.
  const int queries = module.Queries();
  EXPECT_EQ(lib->GetSwitch(0, 16 + 3), 1);
  EXPECT_EQ(module.Queries(), queries);
  EXPECT_EQ(messages.size(), 1u) << "the finding is told once";
}

TEST_F(Lcus, AnsweringModuleIsReadBack) {
  LcusModuleEmulator module(dir.File("m"), 2, Answer::kLines);
  auto lib = Open(dir.File("m"), 2, kAnswering);
  ASSERT_EQ(lib->OpenArvendal(), 1);
  module.SetRelays(0b10);  // switched by its own button
  EXPECT_EQ(lib->GetSwitch(0, 16 + 0), 0);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 1), 1);
  ASSERT_EQ(lib->SetSwitch(0, 16 + 0, 1), 1);
  module.SetRelays(0b01);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 1), 0) << "a written level must not hide the reading";
  EXPECT_TRUE(Told("lcus: m: answers the status query")) << ::testing::PrintToString(messages);

  // A module that stops answering sensibly reads unreachable, not an old level.
  module.SetAnswer(Answer::kGarbage);
  std::string error;
  DriverReading reading;
  EXPECT_FALSE(drivers[0]->Read(0, &reading, &error));
  EXPECT_EQ(error, "the answer to the status query was not understood: \"\\x01\\x02?relay\"");
}

TEST_F(Lcus, AnswerNotUnderstoodIsNamedAndTheModuleStillSwitches) {
  LcusModuleEmulator module(dir.File("m"), 1, Answer::kGarbage);
  auto lib = Open(dir.File("m"), 1, kAnswering);
  ASSERT_EQ(lib->OpenArvendal(), 1);
  EXPECT_EQ(lib->GetSwitch(0, 16), 0);
  EXPECT_TRUE(Told("lcus: m: the answer to the status query (FF) was not understood: "
                   "\"\\x01\\x02?relay\" (expected lines \"CH1: ON\" ... \"CH1: OFF\"); its relays "
                   "show the levels last written")) << ::testing::PrintToString(messages);
  ASSERT_EQ(lib->SetSwitch(0, 16, 1), 1);
  ASSERT_TRUE(module.AwaitFrames(1));
  EXPECT_EQ(module.Relays(), 1u);
  EXPECT_EQ(lib->GetSwitch(0, 16), 1);
}

TEST_F(Lcus, ModulesSideBySideOnWorkersKeepApart) {
  LcusModuleEmulator a(dir.File("a"), 4, Answer::kLines);
  LcusModuleEmulator b(dir.File("b"), 2);
  CDeviceRegistry registry;
  RegisterLcus(registry);
  auto lib = registry.Open({"lcus:" + dir.File("a") + ":4", "lcus:" + dir.File("b") + ":2"},
                           [this](const std::string& m) { messages.push_back(m); });
  ASSERT_EQ(lib->OpenArvendal(), 2);
  EXPECT_EQ(lib->ChannelId(0, 3), "lcus:a:4");
  EXPECT_EQ(lib->ChannelId(1, 1), "lcus:b:2");
  // The calls only queue: the workers do the I/O.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(lib->SetSwitch(0, 16 + 3, 1), 1);
  ASSERT_EQ(lib->SetSwitch(1, 16 + 0, 1), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20ms);
  ASSERT_TRUE(lib->Settle(0, 2000));
  ASSERT_TRUE(lib->Settle(1, 2000));
  ASSERT_TRUE(a.AwaitFrames(1) && b.AwaitFrames(1));
  EXPECT_EQ(a.Relays(), 0b1000u);
  EXPECT_EQ(b.Relays(), 0b01u);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 3), 1);
  EXPECT_EQ(lib->GetSwitch(0, 16 + 0), 0);
  EXPECT_EQ(lib->GetSwitch(1, 16 + 0), 1);
  EXPECT_EQ(lib->GetSwitch(1, 16 + 1), 0);
}

TEST_F(Lcus, ModuleThatGoesAwayComesBackWithItsRelaysOff) {
  LcusModuleEmulator module(dir.File("ttyUSB0"), 2);
  auto lib = Open(dir.File("ttyUSB0"), 2);
  ASSERT_EQ(lib->OpenArvendal(), 1);
  ASSERT_EQ(lib->SetSwitch(0, 16, 1), 1);
  ASSERT_TRUE(module.AwaitFrames(1));
  EXPECT_EQ(lib->GetSwitch(0, 16), 1);  // found silent: no more queries that could fail

  module.Unplug();
  EXPECT_EQ(lib->GetSwitch(0, 16), -1);
  EXPECT_EQ(lib->SetSwitch(0, 16 + 1, 1), 0);
  std::string error;
  DriverReading reading;
  EXPECT_FALSE(drivers[0]->Read(0, &reading, &error));
  EXPECT_NE(error.find("no such device"), std::string::npos) << error;

  module.Plug();
  EXPECT_EQ(lib->GetSwitch(0, 16), 0) << "a module plugged in anew starts off";
  ASSERT_EQ(lib->SetSwitch(0, 16 + 1, 1), 1);
  ASSERT_TRUE(module.AwaitFrames(2));
  EXPECT_EQ(module.Relays(), 0b10u);
  EXPECT_EQ(module.Frames().back(), (Bytes{0xA0, 0x02, 0x01, 0xA3}));
}

TEST_F(Lcus, NodeWithoutPermissionIsNamedWithTheFix) {
  LcusModuleEmulator module(dir.File("ttyUSB0"), 1);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms(0755));
  ASSERT_EQ(::chmod(module.Peer().SlavePath().c_str(), 0), 0);
  const std::string error = RunWithoutPrivileges([&] {
    CLcusDriver driver(dir.File("ttyUSB0"), 1, kTiming, [](const std::string&) {});
    driver.Enumerate();
    std::string e;
    return driver.Write(0, 0, true, &e) ? std::string("opened") : e;
  });
  EXPECT_EQ(error.rfind(dir.File("ttyUSB0") + ": no permission (Permission denied); fix: ", 0), 0u)
      << error;
  EXPECT_NE(error.find("install the udev rule 70-toggra-serial.rules and join the group toggra "
                       "(sudo usermod -aG toggra USER); then log in again"),
            std::string::npos) << error;
  EXPECT_TRUE(module.Frames().empty());
}

}  // namespace
}  // namespace toggra::test

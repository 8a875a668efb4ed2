// The driver kit's adapter over a scripted driver: what the program reads and
// when, what reaches the driver in which order, and what a failing or silent
// device does to the others.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/Channels.h"
#include "device/kit/DriverPivlink.h"

namespace toggra::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Devices in memory. A device can be made to hang (its calls wait until it is
// let go) or to fail; every call is recorded with its time.
class ScriptedDriver : public IDriver {
 public:
  struct Call {
    int device;
    int channel;  // -1 for a read
    bool on;
    Clock::time_point at;
  };
  std::vector<DriverDevice> devices;
  // The writes, kept where they outlive the driver.
  std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();

  std::vector<DriverDevice> Enumerate() override {
    std::lock_guard lock(m_mutex);
    m_levels.assign(devices.size(), 0);
    m_hung.assign(devices.size(), false);
    m_failing.assign(devices.size(), false);
    return devices;
  }
  bool Read(int device, DriverReading* reading, std::string* error) override {
    std::unique_lock lock(m_mutex);
    if (!Pass(lock, device, -1, false, error)) return false;
    reading->on = m_levels[device];
    return true;
  }
  bool Write(int device, int channel, bool on, std::string* error) override {
    std::unique_lock lock(m_mutex);
    if (!Pass(lock, device, channel, on, error)) return false;
    log->push_back(std::to_string(device) + ":" + std::to_string(channel) + ":" + (on ? "1" : "0"));
    m_levels[device] = on ? m_levels[device] | 1u << channel : m_levels[device] & ~(1u << channel);
    return true;
  }

  void Hang(int device, bool hung) {
    std::lock_guard lock(m_mutex);
    m_hung[device] = hung;
    m_changed.notify_all();
  }
  void Fail(int device, bool failing) {
    std::lock_guard lock(m_mutex);
    m_failing[device] = failing;
  }
  void SetLevels(int device, uint32_t levels) {
    std::lock_guard lock(m_mutex);
    m_levels[device] = levels;
  }
  std::vector<Call> Calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  // The writes (not the reads) that reached `device`, as "channel:on".
  std::vector<std::string> Writes(int device) {
    std::vector<std::string> out;
    for (const Call& c : Calls())
      if (c.device == device && c.channel >= 0)
        out.push_back(std::to_string(c.channel) + ":" + (c.on ? "1" : "0"));
    return out;
  }

 private:
  bool Pass(std::unique_lock<std::mutex>& lock, int device, int channel, bool on,
            std::string* error) {
    m_changed.wait(lock, [&] { return !m_hung[device]; });
    m_calls.push_back({device, channel, on, Clock::now()});
    if (m_failing[device]) *error = "scripted failure";
    return !m_failing[device];
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<uint32_t> m_levels;
  std::vector<bool> m_hung, m_failing;
  std::vector<Call> m_calls;
};

template <typename Predicate>
bool Eventually(Predicate done, Clock::duration limit = 2s) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class DriverKit : public ::testing::Test {
 protected:
  DriverKit() {
    DriverDevice plain{"left", {"1", "2", "3"}};
    plain.serial = 4711;
    plain.version = 3;
    DriverDevice other{"right", {"a", "b"}};
    other.type = kTypeMultiSwitch;
    other.inverted = true;
    auto owned = std::make_unique<ScriptedDriver>();
    owned->devices = {plain, other};
    driver = owned.get();
    options.refresh = 2ms;
    options.retryFirst = 5ms;
    options.retryMax = 40ms;
    options.errors = [this](const std::string& m) {
      std::lock_guard lock(m_errorsMutex);
      errors.push_back(m);
    };
    m_owned = std::move(owned);
  }
  CDriverPivlink& Open(DriverServing serving = DriverServing::kWorkers) {
    options.serving = serving;
    lib = std::make_unique<CDriverPivlink>(std::move(m_owned), options);
    EXPECT_EQ(lib->OpenArvendal(), 2);
    return *lib;
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(m_errorsMutex);
    return errors;
  }

  ScriptedDriver* driver = nullptr;
  CDriverPivlink::Options options;
  std::unique_ptr<CDriverPivlink> lib;
  std::vector<std::string> errors;

 private:
  std::unique_ptr<ScriptedDriver> m_owned;
  std::mutex m_errorsMutex;
};

TEST_F(DriverKit, DevicesAsTheProgramKnowsThem) {
  CDriverPivlink& l = Open();
  EXPECT_EQ(l.GetUSBType(0), kTypeSwitch8);
  EXPECT_EQ(l.GetUSBType(1), kTypeMultiSwitch);
  EXPECT_EQ(l.GetUSBType(2), 0);
  int count = 0, button = 1;
  ASSERT_TRUE(l.GetSwitchConfig(0, &count, &button));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(button, 0);
  EXPECT_EQ(l.GetSerialNumber(0), 4711);
  EXPECT_EQ(l.GetVersion(0), 3);
  EXPECT_FALSE(IsCutterCode(l.IsCutter(0)));
  EXPECT_TRUE(IsCutterCode(l.IsCutter(1)));
  EXPECT_EQ(l.DeviceName(1), "right");
  EXPECT_EQ(l.ChannelName(1, 1), "b");
  EXPECT_EQ(l.ChannelName(1, 2), "");
}

TEST_F(DriverKit, WritesReturnAtOnceAndReachTheDeviceInOrder) {
  CDriverPivlink& l = Open();
  driver->Hang(0, true);
  const auto start = Clock::now();
  EXPECT_EQ(l.SetSwitch(0, kFirstSwitchId + 2, 1), 1);
  EXPECT_EQ(l.SetSwitch(0, kFirstSwitchId, 1), 1);
  EXPECT_EQ(l.SetSwitch(0, kFirstSwitchId + 2, 0), 1);
  EXPECT_LT(Clock::now() - start, 5ms);
  // Not carried out yet: the levels written are what the program reads.
  EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId), 1);
  EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId + 1), 0);
  // The other device is served meanwhile.
  EXPECT_EQ(l.SetSwitch(1, kFirstSwitchId + 1, 1), 1);
  EXPECT_TRUE(Eventually([&] { return driver->Writes(1).size() == 1; }));
  driver->Hang(0, false);
  ASSERT_TRUE(l.Settle(0, 2000));
  EXPECT_EQ(driver->Writes(0), (std::vector<std::string>{"2:1", "0:1", "2:0"}));
}

TEST_F(DriverKit, WritesGivenBeforeTheEndAreCarriedOut) {
  CDriverPivlink& l = Open();
  const auto log = driver->log;
  driver->Hang(0, true);
  l.SetSwitch(0, kFirstSwitchId + 1, 1);
  l.SetSwitch(0, kFirstSwitchId + 1, 0);
  std::thread letGo([this] {
    std::this_thread::sleep_for(2ms);
    driver->Hang(0, false);
  });
  lib.reset();  // the program ends
  letGo.join();
  EXPECT_EQ(*log, (std::vector<std::string>{"0:1:1", "0:1:0"}));
}

TEST_F(DriverKit, ReadsComeFromTheLatestReadingOnceItFollowsTheWrite) {
  CDriverPivlink& l = Open();
  driver->SetLevels(0, 0b010);  // switched by someone else
  EXPECT_TRUE(Eventually([&] { return l.GetSwitch(0, kFirstSwitchId + 1) == 1; }));
  unsigned long mask = 0, value = 0;
  EXPECT_EQ(l.GetMultiSwitch(0, &mask, &value, 0), 0);
  EXPECT_EQ(value, 0b010ul);
  EXPECT_EQ(mask, 0b111ul);
  // A device that keeps a port on although told off: the written level until
  // the device's next reading, then what it reports.
  driver->Hang(0, true);
  l.SetSwitch(0, kFirstSwitchId + 1, 0);
  EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId + 1), 0);
  driver->Hang(0, false);
  ASSERT_TRUE(l.Settle(0, 2000));
  driver->SetLevels(0, 0b010);
  EXPECT_TRUE(Eventually([&] { return l.GetSwitch(0, kFirstSwitchId + 1) == 1; }));
}

TEST_F(DriverKit, FailingDeviceIsBackedOffAtGrowingIntervalsAndComesBack) {
  CDriverPivlink& l = Open();
  driver->Fail(0, true);
  EXPECT_TRUE(Eventually([&] { return l.GetSwitch(0, kFirstSwitchId) == -1; }));
  EXPECT_EQ(l.SetSwitch(0, kFirstSwitchId, 1), 0) << "refused while backed off";
  EXPECT_EQ(l.GetMultiSwitch(0, nullptr, nullptr, 0), -1);
  EXPECT_EQ(l.SetSwitch(1, kFirstSwitchId, 1), 1) << "the other device works on";
  // Attempts at 5, 10, 20, 40, 40 ms.
  auto attempts = [&] {
    std::vector<Clock::time_point> at;
    for (const auto& c : driver->Calls())
      if (c.device == 0) at.push_back(c.at);
    return at;
  };
  const size_t before = attempts().size();
  ASSERT_TRUE(Eventually([&] { return attempts().size() >= before + 5; }));
  const auto at = attempts();
  std::vector<Clock::duration> gaps;
  for (size_t k = before; k < before + 4; ++k) gaps.push_back(at[k + 1] - at[k]);
  EXPECT_GE(gaps[0], 9ms);
  EXPECT_GE(gaps[1], 19ms);
  EXPECT_GE(gaps[2], 39ms);
  EXPECT_GE(gaps[3], 39ms);
  EXPECT_LT(gaps[3], 80ms) << "the interval stops growing at its longest";
  driver->Fail(0, false);
  EXPECT_TRUE(Eventually([&] { return l.GetSwitch(0, kFirstSwitchId) == 0; }));
  EXPECT_EQ(l.SetSwitch(0, kFirstSwitchId, 1), 1);
  const auto said = Errors();
  ASSERT_EQ(said.size(), 2u);  // once when it failed, once when it came back
  EXPECT_EQ(said[0], "left: scripted failure");
  EXPECT_EQ(said[1], "left: works again");
}

TEST_F(DriverKit, DeviceWithoutReadBackReportsTheLevelsLastWritten) {
  driver->devices[0].readBack = false;
  for (DriverServing serving : {DriverServing::kWorkers, DriverServing::kCaller}) {
    auto owned = std::make_unique<ScriptedDriver>();
    owned->devices = driver->devices;
    ScriptedDriver* d = owned.get();
    options.serving = serving;
    CDriverPivlink l(std::move(owned), options);
    ASSERT_EQ(l.OpenArvendal(), 2);
    d->SetLevels(0, 0b111);  // never read
    l.SetSwitch(0, kFirstSwitchId + 1, 1);
    ASSERT_TRUE(l.Settle(0, 2000));
    EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId), 0);
    EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId + 1), 1);
    for (const auto& c : d->Calls()) EXPECT_FALSE(c.device == 0 && c.channel < 0) << "read";
  }
}

TEST_F(DriverKit, CallerServingGoesStraightToTheDriver) {
  CDriverPivlink& l = Open(DriverServing::kCaller);
  EXPECT_EQ(l.SetSwitch(0, kFirstSwitchId + 2, 1), 1);
  EXPECT_EQ(driver->Writes(0), (std::vector<std::string>{"2:1"}));
  driver->SetLevels(0, 0b001);
  EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId), 1);
  driver->Fail(0, true);
  EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId), -1);
  driver->Fail(0, false);
  EXPECT_EQ(l.GetSwitch(0, kFirstSwitchId), 1) << "no back-off on the caller's thread";
}

// The channel layer's tables: the values are part of stored settings names.
TEST(ChannelLayer, KeyTypesLampsAndSerialsKeepTheirValues) {
  EXPECT_EQ(KeyTypeOf(kTypeMultiSwitch, 0), kTypeMultiSwitch);
  EXPECT_EQ(KeyTypeOf(kTypeSwitch8, 4), 0x34);
  EXPECT_EQ(KeyTypeOf(kTypeSwitch8, 8), -1);
  for (int c = 1; c < 8; ++c) EXPECT_EQ(ChannelOfKeyType(KeyTypeOf(kTypeSwitch8, c)), c);
  EXPECT_EQ(SettingsPrefix(0x0a, 0x1f, 0x1a2b), "0a-1f-00001a2b");
  EXPECT_EQ(NameSerial("a"), 0x640c292c);  // FNV-1a of "a" without its top bit
  for (int state : {kStateOff, kStateOn, kStateYellow, kStateDark}) {
    const auto l = LampsOf(state);
    EXPECT_EQ(StateOfLamps(l[0], l[1], l[2]), state);
  }
  EXPECT_EQ(StateOfLamps(1, 0, 1), kStateUnreachable);
  EXPECT_EQ(LampsOf(kStateUnreachable)[0], -1);
  EXPECT_TRUE(IsSwitchType(kTypeSwitch48));
  EXPECT_FALSE(IsSwitchType(9));
}

}  // namespace
}  // namespace toggra::test

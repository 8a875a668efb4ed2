// A hub that takes requests and never answers them, beside a bench device:
// the window's keys and timers must not wait for it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/Ids.h"
#include "device/DeviceRegistry.h"
#include "device/usbhub/HubEmulator.h"
#include "support/TempDir.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kVkF1 = 0x70;
// One request to the silent hub takes 250 ms; a tick that waited for one
// would pass this limit, which leaves room for a loaded test machine.
constexpr auto kTickLimit = std::chrono::milliseconds(50);

constexpr const char* kOneSwitch =
    "[device]\ntype = 8\nversion = 12\nserial = 7012\nswitches = 1\ntraffic_light = 0\n"
    "cutter = 0\nconfig_failures = 0\nmulti_switch_fails = 0\nstate = 0\nresets = 0\n";

std::string BenchState(const std::string& path) {
  const std::string text = TempDir::Read(path);
  const size_t at = text.find("state = ");
  return at == std::string::npos ? "" : text.substr(at + 8, 1);
}

TEST(SilentHub, KeysAndTimedSwitchOnOfOtherDevicesKeepTheirTime) {
  UmockdevTestbed bed;
  HubEmulator hub(bed, {});
  ASSERT_TRUE(hub.Ok()) << hub.Error();
  TempDir dir;
  const std::string bench = dir.File("one.bench");
  TempDir::Write(bench, kOneSwitch);

  TestDialog t;
  CToggraDlg d(t.Services([&]() -> std::unique_ptr<CPivlink> {
    return BuiltinRegistry().Open({"bench:" + bench, "usbhub:1-1"}, [](const std::string&) {});
  }));
  ASSERT_TRUE(d.OnInitDialog());
  ASSERT_EQ(d.m_switchCount, 5);  // the bench switch and the hub's four ports
  hub.InjectFault(HubFault::kTimeout);
  SwitchRecord& r = d.m_records[0];
  r.m_timer = 2;

  // F1 starts the bench column's timed switch-on at once.
  const auto pressed = Clock::now();
  d.PreTranslateKeyDown(kVkF1);
  for (const auto& [msg, wParam] : t.host.posted) d.OnMessage(msg, wParam, 0);
  EXPECT_EQ(BenchState(bench), "1");
  EXPECT_LT(Clock::now() - pressed, std::chrono::milliseconds(100));

  // The countdown counts 100 ms ticks; each tick returns at once although
  // every read of the hub runs into its timeout, so the switch-on ends
  // after 20 ticks, 2 s of the window's timer.
  int ticks = 0;
  auto slowest = Clock::duration::zero();
  while (BenchState(bench) == "1" && ticks < 40) {
    const auto start = Clock::now();
    d.TimerTick();
    slowest = std::max(slowest, Clock::now() - start);
    if (++ticks % 10 == 0) t.clock.Advance(1);
  }
  EXPECT_EQ(ticks, 20);
  EXPECT_LT(slowest, kTickLimit);
  // Meanwhile the silent hub's ports went unreachable, without a wait.
  for (int k = 0; k < 200 && d.m_records[1].m_state != kStateUnreachable; ++k) {
    t.clock.Advance(1);
    d.TimerTick();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(d.m_records[1].m_state, kStateUnreachable);
}

}  // namespace
}  // namespace toggra::test

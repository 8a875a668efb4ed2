// The tick with one device that never answers beside fifteen working
// columns, all on the driver kit: the silent device's worker waits out its
// request timeouts while the tick reads the latest readings. Reports the
// median and the 99th percentile of single ticks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "bench/harness/BenchDialog.h"
#include "device/DeviceRegistry.h"

namespace toggra::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Devices that answer at once from memory.
class MemoryDriver : public IDriver {
 public:
  std::vector<DriverDevice> Enumerate() override {
    DriverDevice eight{"eight", {"1", "2", "3", "4", "5", "6", "7", "8"}};
    DriverDevice seven{"seven", {"1", "2", "3", "4", "5", "6", "7"}};
    return {eight, seven};
  }
  bool Read(int, DriverReading* reading, std::string*) override {
    reading->on = 0;
    return true;
  }
  bool Write(int, int, bool, std::string*) override { return true; }
};

// A device that takes every request and never answers: each one ends after
// the timeout a USB request has (250 ms).
class SilentDriver : public IDriver {
 public:
  ~SilentDriver() override {
    std::lock_guard lock(m_mutex);
    m_gone = true;
    m_wake.notify_all();
  }
  std::vector<DriverDevice> Enumerate() override { return {DriverDevice{"silent", {"1"}}}; }
  bool Read(int, DriverReading*, std::string* error) override { return Hang(error); }
  bool Write(int, int, bool, std::string* error) override { return Hang(error); }

 private:
  bool Hang(std::string* error) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_gone; });
    *error = "no answer";
    return false;
  }
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_gone = false;
};

std::unique_ptr<CPivlink> KitDevices() {
  CDriverPivlink::Options options;
  std::vector<CCompositePivlink::Part> parts;
  parts.push_back({"memory", "memory:", std::make_unique<CDriverPivlink>(
                                            std::make_unique<MemoryDriver>(), options)});
  parts.push_back({"silent", "silent:", std::make_unique<CDriverPivlink>(
                                            std::make_unique<SilentDriver>(), options)});
  auto lib = std::make_unique<CCompositePivlink>(std::move(parts));
  lib->OpenArvendal();
  return lib;
}

void BM_TimerTickBesideSilentDevice(benchmark::State& state) {
  BenchDialog bench(KitDevices());
  for (int i = 0; i < 15; ++i) bench.AddColumn(i / 8, kFirstSwitchId + i % 8, kTypeSwitch8, 0);
  bench.AddColumn(2, kFirstSwitchId, kTypeSwitch8, kStateUnreachable);
  CToggraDlg& dlg = bench.Dlg();
  std::vector<double> us;
  for (auto _ : state) {
    const auto start = Clock::now();
    dlg.TimerTick();
    const std::chrono::duration<double> took = Clock::now() - start;
    state.SetIterationTime(took.count());
    us.push_back(took.count() * 1e6);
  }
  std::sort(us.begin(), us.end());
  if (us.empty()) return;
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  state.counters["max_us"] = us.back();
}
BENCHMARK(BM_TimerTickBesideSilentDevice)->UseManualTime()->MinTime(2.0);

}  // namespace
}  // namespace toggra::bench

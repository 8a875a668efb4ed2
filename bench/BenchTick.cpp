// The 100 ms tick of the main dialog with nothing to change: what the program
// costs ten times a second while it sits there. Each layout runs on the
// simulated hardware set (a bench file shared with other processes) and on
// devices held in memory, which leaves the cost of the core alone.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "bench/harness/BenchDialog.h"
#include "device/BenchPivlink.h"

namespace toggra::bench {
namespace {

enum class Backing { Bench, Memory };

void Quiet(const std::string&) {}

// One settled bench file per layout, written once for all benchmarks.
class SettledBenches {
 public:
  static const std::string& PathOf(Layout layout) {
    static SettledBenches benches;
    return benches.m_paths.at(layout);
  }

 private:
  SettledBenches() {
    for (Layout layout : {Layout::Plain16, Layout::Multi16, Layout::Lights5}) {
      const std::string path = m_folder.File("layout" + std::to_string(static_cast<int>(layout)));
      if (WriteBench(path, DevicesOf(layout))) m_paths[layout] = path;
    }
    WaitUntilSettled();
  }
  TempFolder m_folder;
  std::map<Layout, std::string> m_paths;
};

std::unique_ptr<CPivlink> BenchDevice(const std::string& path) {
  auto lib = std::make_unique<CBenchPivlink>(path, "", Quiet);
  lib->OpenArvendal();
  return lib;
}

std::unique_ptr<CPivlink> DeviceFor(Layout layout, Backing backing) {
  if (backing == Backing::Memory) return std::make_unique<CMemoryPivlink>(DevicesOf(layout));
  return BenchDevice(SettledBenches::PathOf(layout));
}

// Ticks must find every column as its device reports it and change nothing:
// a tick that redraws, changes an icon or loses a column measures something
// else.
class IdleCheck {
 public:
  explicit IdleCheck(BenchDialog& bench) : m_bench(bench), m_before(Changes()) {
    for (int i = 0; i < bench.Dlg().m_switchCount; ++i)
      m_states[i] = bench.Dlg().m_records[i].m_state;
  }
  void Report(benchmark::State& state) const {
    if (Changes() != m_before) return state.SkipWithError("a tick changed the display");
    for (const auto& [i, s] : m_states)
      if (m_bench.Dlg().m_records[i].m_state != s)
        return state.SkipWithError("a column changed its state");
  }

 private:
  int Changes() const {
    return m_bench.host.invalidations + m_bench.host.controlChanges + m_bench.tray.iconChanges;
  }
  BenchDialog& m_bench;
  int m_before;
  std::map<int, int> m_states;
};

// Device readings so far, when the devices are held in memory.
int Readings(BenchDialog& bench) {
  const auto* mem = dynamic_cast<const CMemoryPivlink*>(bench.Dlg().m_device.get());
  return mem ? mem->readings : -1;
}

void BM_TimerTick(benchmark::State& state, Layout layout, Backing backing) {
  BenchDialog bench(DeviceFor(layout, backing));
  AddColumns(bench, layout);
  CToggraDlg& dlg = bench.Dlg();
  const IdleCheck check(bench);
  const int readings = Readings(bench);
  for (auto _ : state) dlg.TimerTick();
  check.Report(state);
  if (readings >= 0 && state.iterations() > 0)
    state.counters["readings/tick"] =
        static_cast<double>(Readings(bench) - readings) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_TimerTick, Plain16_Bench, Layout::Plain16, Backing::Bench);
BENCHMARK_CAPTURE(BM_TimerTick, Plain16_Memory, Layout::Plain16, Backing::Memory);
BENCHMARK_CAPTURE(BM_TimerTick, Multi16_Bench, Layout::Multi16, Backing::Bench);
BENCHMARK_CAPTURE(BM_TimerTick, Multi16_Memory, Layout::Multi16, Backing::Memory);
BENCHMARK_CAPTURE(BM_TimerTick, Lights5_Bench, Layout::Lights5, Backing::Bench);
BENCHMARK_CAPTURE(BM_TimerTick, Lights5_Memory, Layout::Lights5, Backing::Memory);

// The idle program of the process comparison: 16 columns and a state file,
// read on every tick.
void BM_TimerTickWithStateFile(benchmark::State& state, Backing backing) {
  TempFolder folder;
  BenchDialog bench(DeviceFor(Layout::Plain16, backing));
  AddColumns(bench, Layout::Plain16);
  CToggraDlg& dlg = bench.Dlg();
  dlg.m_stateFile = folder.File("state");
  dlg.SaveState();
  dlg.TimerTick();  // the title's first state-file verdict
  const IdleCheck check(bench);
  for (auto _ : state) dlg.TimerTick();
  check.Report(state);
}
BENCHMARK_CAPTURE(BM_TimerTickWithStateFile, Plain16_Bench, Backing::Bench);
BENCHMARK_CAPTURE(BM_TimerTickWithStateFile, Plain16_Memory, Backing::Memory);

// The tick right after another process changed the bench file (here: reset a
// device, which changes no state): the file's stamp cannot be trusted yet.
void BM_TimerTickAfterForeignChange(benchmark::State& state) {
  TempFolder folder;
  const std::string path = folder.File("bench");
  if (!WriteBench(path, DevicesOf(Layout::Plain16))) state.SkipWithError("cannot write");
  BenchDialog bench(BenchDevice(path));
  AddColumns(bench, Layout::Plain16);
  CBenchPivlink other(path, "", Quiet);
  other.OpenArvendal();
  CToggraDlg& dlg = bench.Dlg();
  const IdleCheck check(bench);
  for (auto _ : state) {
    state.PauseTiming();
    other.ResetDevice(1);
    state.ResumeTiming();
    dlg.TimerTick();
  }
  check.Report(state);
}
BENCHMARK(BM_TimerTickAfterForeignChange);

// Sixteen plain columns counting down: a text change and a redraw once a
// second per column, one tick in ten.
void BM_TimerTickCounting(benchmark::State& state) {
  BenchDialog bench(DeviceFor(Layout::Plain16, Backing::Memory));
  AddColumns(bench, Layout::Plain16);
  CToggraDlg& dlg = bench.Dlg();
  for (int i = 0; i < dlg.m_switchCount; ++i) {
    SwitchRecord& r = dlg.m_records[i];
    // Columns that are off would stop their countdown at the next reading.
    r.m_state = kStateOn;
    dlg.m_device->SetSwitch(r.m_devNo, r.m_switchId, 1);
    r.m_timer = 100'000'000;
    r.m_countdown = 10 * r.m_timer;
  }
  const int before = bench.host.invalidations;
  for (auto _ : state) dlg.TimerTick();
  if (state.iterations() > 0)
    state.counters["redraws/tick"] = static_cast<double>(bench.host.invalidations - before) /
                                     static_cast<double>(state.iterations());
}
BENCHMARK(BM_TimerTickCounting);

}  // namespace
}  // namespace toggra::bench

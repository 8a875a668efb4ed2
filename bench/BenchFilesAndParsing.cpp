// The state file on real files, the command-line parser on a long line, and
// the lamp decisions of a full window.
#include <benchmark/benchmark.h>

#include <string>

#include "app/StartOptions.h"
#include "bench/harness/BenchDialog.h"
#include "device/BenchPivlink.h"
#include "ui/LampPlan.h"

namespace toggra::bench {
namespace {

void Quiet(const std::string&) {}

enum class StateUse { WrittenOnly, Group };

// Sixteen columns with a state file. In the group layout the file is applied
// on every read, and every column's device is sent its value again.
struct StateFileDialog {
  explicit StateFileDialog(std::unique_ptr<CPivlink> device, StateUse use)
      : bench(std::move(device)) {
    AddColumns(bench, Layout::Plain16);
    CToggraDlg& dlg = bench.Dlg();
    if (use == StateUse::Group) {
      dlg.m_groupMode = 1;
      dlg.m_groupStride = 2;
      dlg.m_groupSize = 4;
    }
    dlg.m_stateFile = folder.File("state");
    dlg.SaveState();
    dlg.ReadState();
  }
  TempFolder folder;
  BenchDialog bench;
};

void BM_ReadState(benchmark::State& state, StateUse use, bool onBench) {
  TempFolder benchFolder;
  std::unique_ptr<CPivlink> device;
  if (onBench) {
    const std::string path = benchFolder.File("bench");
    WriteBench(path, DevicesOf(Layout::Plain16));
    auto lib = std::make_unique<CBenchPivlink>(path, "", Quiet);
    lib->OpenArvendal();
    device = std::move(lib);
  } else {
    device = std::make_unique<CMemoryPivlink>(DevicesOf(Layout::Plain16));
  }
  StateFileDialog d(std::move(device), use);
  CToggraDlg& dlg = d.bench.Dlg();
  const int invalidations = d.bench.host.invalidations;
  for (auto _ : state) dlg.ReadState();
  if (dlg.m_stateFileOk != (use == StateUse::Group ? 1 : 0))
    state.SkipWithError("the state file was not read as it should be");
  if (d.bench.host.invalidations != invalidations) state.SkipWithError("a read changed a state");
}
BENCHMARK_CAPTURE(BM_ReadState, Plain16, StateUse::WrittenOnly, false);
BENCHMARK_CAPTURE(BM_ReadState, Group16_Memory, StateUse::Group, false);
BENCHMARK_CAPTURE(BM_ReadState, Group16_Bench, StateUse::Group, true);

void BM_SaveState(benchmark::State& state) {
  StateFileDialog d(std::make_unique<CMemoryPivlink>(DevicesOf(Layout::Plain16)),
                    StateUse::WrittenOnly);
  CToggraDlg& dlg = d.bench.Dlg();
  for (auto _ : state) dlg.SaveState();
}
BENCHMARK(BM_SaveState);

// A scripted start with every kind of option, names with spaces and umlauts,
// repeated until the line has at least `length` bytes.
std::string LongCommandLine(size_t length) {
  const std::string part =
      "-a -L -t -N[\"Pumpe 1\" \"Licht Flur\" Heizung \"Tür vorn\" Garage Küche ] "
      "-S \"/tmp/mein stand/zustand.txt\" 120 30 g -f -n[Garten ] -sstate.txt y ";
  std::string line;
  while (line.size() < length) line += part;
  return line;
}

void BM_ParseCommandLine(benchmark::State& state) {
  const std::string line = LongCommandLine(static_cast<size_t>(state.range(0)));
  size_t names = 0;
  for (auto _ : state) {
    StartOptions options = ParseCommandLine(line, "toggra");
    names = options.names.size();
    benchmark::DoNotOptimize(options);
  }
  if (names == 0) state.SkipWithError("no names parsed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_ParseCommandLine)->Arg(256)->Arg(8 << 10);

// Sixteen traffic lights in every colour, half of them in a countdown phase,
// so that the decisions take each of their branches.
void BM_PlanLamp(benchmark::State& state) {
  std::vector<DeviceSpec> lights(16, DeviceSpec{8, 3, 1, {}});
  BenchDialog bench(std::make_unique<CMemoryPivlink>(lights));
  CToggraDlg& dlg = bench.Dlg();
  dlg.m_trafficLight = 1;
  for (int i = 0; i < 16; ++i) {
    bench.AddColumn(i, kFirstSwitchId, 8, i % 4);
    SwitchRecord& r = dlg.m_records[i];
    r.m_timer = 60, r.m_timer2 = 10, r.m_timerT = 90;
    if (i % 2) (i % 4 == 1 ? r.m_countdown : r.m_countdown2) = 37;
  }
  int lit = 0;
  for (auto _ : state) {
    for (int row : {kIdUpperButton, kIdLowerButton, kIdThirdButton})
      for (int i = 0; i < 16; ++i) {
        const LampPlan plan = PlanLamp(dlg, row + i);
        lit += plan.brush != LampBrush::None;
        benchmark::DoNotOptimize(plan);
      }
  }
  if (lit == 0) state.SkipWithError("no lamp lit");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 48));
}
BENCHMARK(BM_PlanLamp);

}  // namespace
}  // namespace toggra::bench

// What the simulated hardware costs the program: a tick of 16 columns reads
// 16 to 48 switches, so GetSwitch on an unchanged bench file must stay cheap.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "device/BenchPivlink.h"

namespace {

// A copy of the shipped demo set in a folder of its own, removed at the end.
class DemoCopy {
 public:
  DemoCopy() {
    std::string templ =
        (std::filesystem::temp_directory_path() / "toggra-benchmark-XXXXXX").string();
    if (!::mkdtemp(templ.data())) std::abort();
    m_dir = templ;
    m_path = (m_dir / "demo.bench").string();
    std::filesystem::copy_file(TOGGRA_SOURCE_DIR "/data/demo.bench", m_path);
  }
  ~DemoCopy() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  DemoCopy(const DemoCopy&) = delete;
  DemoCopy& operator=(const DemoCopy&) = delete;

  const std::string& Path() const { return m_path; }

 private:
  std::filesystem::path m_dir;
  std::string m_path;
};

void Quiet(const std::string&) {}

// The demo set, left alone long enough for its stamp to be trusted, as a
// bench file is between two commands.
const std::string& SettledDemo() {
  static DemoCopy demo;
  static const bool settled = [] {
    std::this_thread::sleep_for(toggra::BenchFile::kSettle + std::chrono::milliseconds(100));
    return true;
  }();
  (void)settled;
  return demo.Path();
}

void BM_GetSwitchUnchanged(benchmark::State& state) {
  toggra::CBenchPivlink lib(SettledDemo(), "", Quiet);
  if (lib.OpenArvendal() < 1) state.SkipWithError("demo set not readable");
  int id = 0;
  for (auto _ : state) benchmark::DoNotOptimize(lib.GetSwitch(0, 16 + (id++ & 3)));
}
BENCHMARK(BM_GetSwitchUnchanged);

// A full read and parse: what every GetSwitch would cost without the stamp check.
void BM_OpenArvendal(benchmark::State& state) {
  toggra::CBenchPivlink lib(SettledDemo(), "", Quiet);
  for (auto _ : state) benchmark::DoNotOptimize(lib.OpenArvendal());
}
BENCHMARK(BM_OpenArvendal);

// One switch command: lock, read, rewrite next to the file, rename.
void BM_SetSwitch(benchmark::State& state) {
  DemoCopy demo;
  toggra::CBenchPivlink lib(demo.Path(), "", Quiet);
  if (lib.OpenArvendal() < 1) state.SkipWithError("demo set not readable");
  int on = 0;
  for (auto _ : state) benchmark::DoNotOptimize(lib.SetSwitch(0, 16, on ^= 1));
}
BENCHMARK(BM_SetSwitch);

}  // namespace

// The main window on the offscreen platform: a full repaint of its 48 lamp
// buttons (sixteen traffic lights), as when every lamp changes at once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/harness/BenchDialog.h"
#include "gui/LampButton.h"
#include "gui/MainWindow.h"

namespace toggra::bench {
namespace {

// No tick comes between two repaints.
constexpr int kQuietTickMs = 3'600'000;
constexpr int kLights = 16;
constexpr int kLamps = 3 * kLights;

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

void BM_RepaintLamps(benchmark::State& state) {
  auto owned = std::make_unique<gui::CMainWindow>(kQuietTickMs);
  gui::CMainWindow& window = *owned;
  BenchDialog bench(std::make_unique<CMemoryPivlink>(
                        std::vector<DeviceSpec>(kLights, DeviceSpec{8, 3, 1, {{1, 0, 0}}})),
                    &window);
  // The window lets go of the dialog before the dialog goes.
  struct WindowFirst {
    std::unique_ptr<gui::CMainWindow>& window;
    ~WindowFirst() { window.reset(); }
  } windowFirst{owned};
  CToggraDlg& dlg = bench.Dlg();
  dlg.m_trafficLight = 1;
  if (!window.Start(dlg) || dlg.m_switchCount != kLights) {
    state.SkipWithError("the window did not start with sixteen traffic lights");
    return;
  }
  // Every colour, and a countdown pie in half of the columns.
  for (int i = 0; i < kLights; ++i) {
    SwitchRecord& r = dlg.m_records[i];
    r.m_state = i % 4;
    r.m_timer = 60, r.m_timer2 = 10;
    if (i % 2) (i % 4 == 1 ? r.m_countdown : r.m_countdown2) = 37;
  }
  QCoreApplication::processEvents();

  std::vector<gui::CLampButton*> lamps;
  PaintCounter counter;
  for (auto* lamp : window.findChildren<gui::CLampButton*>()) {
    if (!window.rect().contains(lamp->geometry())) continue;
    lamps.push_back(lamp);
    lamp->installEventFilter(&counter);
  }
  if (static_cast<int>(lamps.size()) != kLamps || !window.windowHandle() ||
      !window.windowHandle()->isExposed()) {
    state.SkipWithError("the 48 lamps are not all shown");
    return;
  }
  for (auto _ : state) {
    for (auto* lamp : lamps) lamp->update();
    QCoreApplication::processEvents();
  }
  if (counter.paints != kLamps * state.iterations())
    state.SkipWithError("not every lamp was painted once per repaint");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLamps);
}
BENCHMARK(BM_RepaintLamps)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace toggra::bench

int main(int argc, char** argv) {
  // Keep an explicit choice (a real display) when the caller made one.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

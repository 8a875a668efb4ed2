// The switch round trip through an emulated hub: SetSwitch, then GetSwitch
// until the port reads back the new state, through real libusb and the
// umockdev preload. Prints the median, the 95th percentile and the largest.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "device/usbhub/HubEmulator.h"
#include "device/usbhub/UsbHubDriver.h"
#include "support/umockdev/Preload.h"

int main(int argc, char** argv) {
  using namespace toggra;
  using Clock = std::chrono::steady_clock;
  test::ReexecUnderUmockdev(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 500;
  test::UmockdevTestbed bed;
  test::HubEmulator hub(bed, {});
  if (!hub.Ok()) {
    std::fprintf(stderr, "emulated hub: %s\n", hub.Error().c_str());
    return 1;
  }
  HubEntry entry{"1-1", {}};
  CDriverPivlink lib(std::make_unique<CUsbHubDriver>(entry, ReportDeviceError),
                     CDriverPivlink::Options{});
  if (lib.OpenArvendal() != 1) return 1;
  std::vector<double> us;
  for (int i = 0; i < rounds; ++i) {
    const int on = i % 2;
    const auto start = Clock::now();
    lib.SetSwitch(0, 16, on);
    // Carried out by the hub's worker and read back from the hub.
    lib.Settle(0, 1000);
    if (lib.GetSwitch(0, 16) != on) return 1;
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(us.begin(), us.end());
  std::printf("switch round trip (SetSwitch to read-back) over %d rounds: median %.0f us, "
              "p95 %.0f us, max %.0f us\n",
              rounds, us[us.size() / 2], us[us.size() * 95 / 100], us.back());
  return 0;
}

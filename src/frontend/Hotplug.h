// Devices that come while a Qt front-end runs: the udev monitor, the search
// for the entries still without a device (app/Hotplug.h) and its tick. The
// desktop program and `toggra --headless` run it alike; only the headless
// program waits for a first device instead of starting a simulation.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/Hotplug.h"
#include "device/DeviceMonitor.h"

namespace toggra {
class CToggraDlg;
class IEventQueue;
}  // namespace toggra

namespace toggra::frontend {

class CHotplugRunner : public QObject {
 public:
  using Say = std::function<void(const std::string& line)>;
  static constexpr int kTickMs = 100;
  // Without a udev monitor, how often the missing devices are looked for.
  static constexpr int kPollMs = 5000;

  CHotplugRunner(IEventQueue& events, Say say);
  ~CHotplugRunner() override;

  // Before the dialog's start-up. With `wait`, a start without any device
  // says so on stderr and waits (no simulation).
  void Attach(CToggraDlg& dlg, bool wait);
  // After the dialog's end.
  void Detach();

 private:
  IEventQueue& m_events;
  Say m_say;
  bool m_monitoring = false;
  std::unique_ptr<CDeviceMonitor> m_monitor;
  std::unique_ptr<CHotplug> m_hotplug;
  QTimer m_tick;
};

}  // namespace toggra::frontend

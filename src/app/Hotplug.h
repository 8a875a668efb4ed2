// Devices that come after start-up: when udev reports a device (or, without
// a udev monitor, at an interval), the configured entries that have found no
// device yet are opened anew off the event thread; those that now find
// devices take their place in the library, and the dialog gives the devices
// their columns (CToggraDlg::AdoptDevices).
//
// Every call is made on the event thread; the entries are opened through
// `background`, whose work posts its result back through the event queue.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace toggra {

class CToggraDlg;
class IEventQueue;

class CHotplug {
 public:
  struct Options {
    // Milliseconds, monotonic.
    std::function<int64_t()> nowMs;
    // How long after the last event the entries are opened: a USB device
    // brings a burst of events (device, interface, node).
    int settleMs = 300;
    // Without a udev monitor: look at this interval (0: only on events).
    int pollMs = 0;
    // Runs work off the event thread; by default on a thread of its own.
    std::function<void(std::function<void()>)> background;
  };

  CHotplug(CToggraDlg& dlg, IEventQueue& events, Options options);
  ~CHotplug();  // waits for a search that runs
  CHotplug(const CHotplug&) = delete;
  CHotplug& operator=(const CHotplug&) = delete;

  // udev reported a device of a back-end.
  void DevicesChanged();
  // Every tick: opens the waiting entries once the events have settled.
  void Tick();
  bool Searching() const { return m_searching; }

 private:
  struct Found;
  void Search();
  void Finish(std::vector<Found>& found);

  CToggraDlg& m_dlg;
  IEventQueue& m_events;
  Options m_options;
  bool m_pending = false;
  int64_t m_dueMs = 0;
  int64_t m_nextPollMs = 0;
  bool m_searching = false;
  std::thread m_thread;
  std::shared_ptr<CHotplug*> m_alive;  // cleared first in the destructor
};

}  // namespace toggra

#include "frontend/Hotplug.h"

#include "app/ToggraDlg.h"
#include "device/DeviceRegistry.h"

namespace toggra::frontend {

CHotplugRunner::CHotplugRunner(IEventQueue& events, Say say)
    : m_events(events), m_say(std::move(say)) {
  // Events come on the monitor's thread; this object is the context that
  // brings them to the event thread (and drops them once it is gone).
  m_monitor = std::make_unique<CDeviceMonitor>([this] {
    QMetaObject::invokeMethod(
        this, [this] { if (m_hotplug) m_hotplug->DevicesChanged(); }, Qt::QueuedConnection);
  });
  std::string reason;
  m_monitoring = m_monitor->Start(&reason);
  if (!m_monitoring && m_say)
    m_say(reason + "; devices plugged in later are looked for every " +
          std::to_string(kPollMs / 1000) + " s");
  m_tick.setInterval(kTickMs);
  connect(&m_tick, &QTimer::timeout, this, [this] {
    if (m_hotplug) m_hotplug->Tick();
  });
}

CHotplugRunner::~CHotplugRunner() {
  m_tick.stop();
  m_monitor.reset();  // no event after this
  m_hotplug.reset();
}

void CHotplugRunner::Attach(CToggraDlg& dlg, bool wait) {
  CHotplug::Options options;
  options.pollMs = m_monitoring ? 0 : kPollMs;
  m_hotplug = std::make_unique<CHotplug>(dlg, m_events, std::move(options));
  if (wait) {
    dlg.m_waitForDevices = [this, &dlg] {
      std::string entries;
      if (auto* composite = dynamic_cast<CCompositePivlink*>(dlg.m_device.get()))
        for (const auto& part : composite->Parts())
          entries += (entries.empty() ? "" : "; ") + part.entry;
      if (m_say)
        m_say("kein Gerät gefunden, warte auf Geräte" +
              (entries.empty() ? std::string() : " (" + entries + ")"));
    };
  }
  m_tick.start();
}

void CHotplugRunner::Detach() {
  m_tick.stop();
  m_hotplug.reset();
}

}  // namespace toggra::frontend

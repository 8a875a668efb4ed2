#include "app/Hotplug.h"

#include <chrono>
#include <vector>

#include "app/ToggraDlg.h"
#include "device/DeviceRegistry.h"

namespace toggra {

struct CHotplug::Found {
  size_t part = 0;
  std::unique_ptr<CBackendPivlink> library;  // a waiting entry opened anew
  CDriverPivlink* grown = nullptr;           // or a part that found more devices
  int count = 0;
};

namespace {

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CHotplug::CHotplug(CToggraDlg& dlg, IEventQueue& events, Options options)
    : m_dlg(dlg),
      m_events(events),
      m_options(std::move(options)),
      m_alive(std::make_shared<CHotplug*>(this)) {
  if (!m_options.nowMs) m_options.nowMs = SteadyMs;
  if (!m_options.background)
    m_options.background = [this](std::function<void()> work) {
      if (m_thread.joinable()) m_thread.join();  // it has posted its result already
      m_thread = std::thread(std::move(work));
    };
  m_nextPollMs = m_options.nowMs() + m_options.pollMs;
}

CHotplug::~CHotplug() {
  *m_alive = nullptr;
  if (m_thread.joinable()) m_thread.join();
}

void CHotplug::DevicesChanged() {
  m_pending = true;
  m_dueMs = m_options.nowMs() + m_options.settleMs;
}

void CHotplug::Tick() {
  const int64_t now = m_options.nowMs();
  if (m_options.pollMs > 0 && now >= m_nextPollMs) {
    m_nextPollMs = now + m_options.pollMs;
    if (!m_pending) {
      m_pending = true;
      m_dueMs = now;
    }
  }
  // Events during a search are looked at by the next one; events during the
  // start-up (its no-device dialog runs a loop of its own) once it is done.
  if (m_pending && !m_searching && now >= m_dueMs && m_dlg.ColumnsLaidOut()) Search();
}

void CHotplug::Search() {
  m_pending = false;
  auto* composite = dynamic_cast<CCompositePivlink*>(m_dlg.m_device.get());
  if (!composite || m_dlg.Ended()) return;
  auto waiting = composite->Waiting();
  auto growable = composite->Growable();
  if (waiting.empty() && growable.empty()) return;
  m_searching = true;
  std::weak_ptr<CHotplug*> alive = m_alive;
  IEventQueue* events = &m_events;
  // The growable parts stay in place while a search runs: only Adopt
  // replaces a part, and only one without devices.
  m_options.background([waiting = std::move(waiting), growable = std::move(growable), alive,
                        events]() mutable {
    // Opening an entry talks to the hardware: never on the event thread.
    auto found = std::make_shared<std::vector<Found>>();
    for (auto& [part, reopen] : waiting) {
      std::unique_ptr<CBackendPivlink> library = reopen();
      const int count = library ? library->OpenArvendal() : 0;
      if (count > 0) found->push_back({part, std::move(library), nullptr, count});
    }
    for (auto& [part, library] : growable)
      if (library->PrepareMore() > 0) found->push_back({part, nullptr, library, 0});
    events->Post([alive, found] {
      if (auto self = alive.lock(); self && *self) (*self)->Finish(*found);
    });
  });
}

void CHotplug::Finish(std::vector<Found>& found) {
  m_searching = false;
  auto* composite = dynamic_cast<CCompositePivlink*>(m_dlg.m_device.get());
  if (!composite || m_dlg.Ended() || found.empty()) return;
  const int first = composite->Count();
  for (Found& f : found) {
    if (f.grown)
      composite->AdoptMore(f.part, f.grown->CommitMore());
    else
      composite->Adopt(f.part, std::move(f.library), f.count);
  }
  m_dlg.AdoptDevices(first, composite->Count());
}

}  // namespace toggra

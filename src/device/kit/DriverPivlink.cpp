#include "device/kit/DriverPivlink.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace toggra {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kUnreachable = -1;
constexpr int kFailed = 0;
constexpr int kDone = 1;
constexpr int kMaxChannels = 32;  // the bits of a DriverReading

// One job for a device's worker: a write, or the reset at the end.
struct Job {
  int channel = 0;
  bool on = false;
  bool reset = false;
  uint64_t seq = 0;
};

}  // namespace

// The thread that serves one device, and what the program reads of it. Every
// member below m_mutex is guarded by it; the driver is called without it.
class CDriverPivlink::Worker {
 public:
  Worker(IDriver& driver, int device, const DriverDevice& facts, const Options& options)
      : m_driver(driver), m_device(device), m_facts(facts), m_options(options) {
    m_thread = std::thread([this] { Run(); });
  }
  ~Worker() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }

  // The level of `channel` the program sees now.
  int Level(int channel) {
    std::lock_guard lock(m_mutex);
    return LevelLocked(channel);
  }
  // All channels as a mask, false while unreachable.
  bool Mask(unsigned long* value, unsigned long* known) {
    std::lock_guard lock(m_mutex);
    if (!m_reachable) return false;
    unsigned long v = 0, k = 0;
    for (int c = 0; c < Channels(); ++c) {
      const int level = LevelLocked(c);
      if (level < 0) continue;
      k |= 1ul << c;
      if (level > 0) v |= 1ul << c;
    }
    if (value) *value = v;
    if (known) *known = k;
    return true;
  }
  bool Queue(int channel, bool on, bool reset) {
    {
      std::lock_guard lock(m_mutex);
      if (!m_reachable) return false;
      const uint64_t seq = ++m_queued;
      m_jobs.push_back({channel, on, reset, seq});
      if (!reset) {
        m_lastWrite[static_cast<size_t>(channel)] = seq;
        SetBit(&m_written, channel, on);
      }
    }
    m_wake.notify_all();
    return true;
  }
  // Until every job queued so far is done and a reading after it is in.
  bool Settle(Clock::duration limit) {
    std::unique_lock lock(m_mutex);
    const uint64_t target = m_queued;
    const uint64_t readings = m_readings;
    m_wake.notify_all();
    return m_changed.wait_for(lock, limit, [&] {
      return !m_reachable || (m_readBase >= target && m_readings > readings);
    });
  }
  bool WaitFirstReading(Clock::time_point until) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, until, [&] { return m_readings > 0 || m_failures > 0; });
  }

 private:
  int Channels() const { return static_cast<int>(m_facts.channels.size()); }
  static void SetBit(uint32_t* mask, int bit, bool on) {
    if (on)
      *mask |= 1u << bit;
    else
      *mask &= ~(1u << bit);
  }
  static bool Bit(uint32_t mask, int bit) { return (mask >> bit) & 1u; }

  int LevelLocked(int channel) const {
    if (!m_reachable || channel < 0 || channel >= Channels()) return kUnreachable;
    // Written and not read back since: what was written.
    if (!m_facts.readBack || m_lastWrite[static_cast<size_t>(channel)] > m_readBase)
      return Bit(m_written, channel) ? 1 : 0;
    if (m_readings == 0 || !Bit(m_reading.known, channel)) return kUnreachable;
    return Bit(m_reading.on, channel) ? 1 : 0;
  }

  // Writes given before the stop are still carried out (the program's last
  // commands and its reset), unless the device is backed off.
  void Run() {
    std::unique_lock lock(m_mutex);
    Clock::time_point next = Clock::now();
    while (!(m_stop && (m_jobs.empty() || !m_reachable))) {
      if (!m_stop && m_jobs.empty() && Clock::now() < next) {
        m_wake.wait_until(lock, next, [&] { return m_stop || !m_jobs.empty(); });
        continue;
      }
      if (!m_reachable && Clock::now() < next) {
        // Backed off: jobs given before the failure are dropped.
        m_jobs.clear();
        m_wake.wait_until(lock, next, [&] { return m_stop.load(); });
        continue;
      }
      std::string error;
      bool ok = true;
      while (ok && !m_jobs.empty()) {
        const Job job = m_jobs.front();
        m_jobs.pop_front();
        lock.unlock();
        ok = job.reset ? m_driver.Reset(m_device, &error)
                       : m_driver.Write(m_device, job.channel, job.on, &error);
        lock.lock();
        m_done = job.seq;
      }
      if (m_stop && ok) break;
      DriverReading reading;
      const uint64_t base = m_done;
      if (ok && m_facts.readBack) {
        lock.unlock();
        ok = m_driver.Read(m_device, &reading, &error);
        lock.lock();
      }
      if (ok) {
        Succeeded(reading, base);
        next = Clock::now() + m_options.refresh;
      } else {
        next = Clock::now() + Failed(error);
      }
      m_changed.notify_all();
    }
  }

  void Succeeded(const DriverReading& reading, uint64_t base) {
    if (!m_reachable && m_options.errors)
      m_options.errors(m_facts.name + ": works again");
    m_reachable = true;
    m_reading = reading;
    m_readBase = base;
    ++m_readings;
    m_retry = Clock::duration::zero();
  }
  Clock::duration Failed(const std::string& error) {
    ++m_failures;
    if (m_reachable && m_options.errors)
      m_options.errors(m_facts.name + ": " + (error.empty() ? "does not answer" : error));
    m_reachable = false;
    m_jobs.clear();
    m_readBase = m_queued;  // what was written is no longer what it reads
    m_retry = m_retry == Clock::duration::zero()
                  ? Clock::duration(m_options.retryFirst)
                  : std::min<Clock::duration>(m_retry * 2, m_options.retryMax);
    return m_retry;
  }

  IDriver& m_driver;
  const int m_device;
  const DriverDevice m_facts;
  const Options& m_options;

  std::mutex m_mutex;
  std::condition_variable m_wake;     // jobs or the stop for the thread
  std::condition_variable m_changed;  // a reading or failure for the waiters
  std::atomic<bool> m_stop = false;
  std::deque<Job> m_jobs;
  uint64_t m_queued = 0;    // seq of the last job queued
  uint64_t m_done = 0;      // seq of the last job carried out
  uint64_t m_readBase = 0;  // jobs carried out before the latest reading
  uint64_t m_readings = 0;
  uint64_t m_failures = 0;
  std::array<uint64_t, kMaxChannels> m_lastWrite{};
  uint32_t m_written = 0;
  DriverReading m_reading;
  bool m_reachable = true;
  Clock::duration m_retry = Clock::duration::zero();
  std::thread m_thread;
};

CDriverPivlink::CDriverPivlink(std::unique_ptr<IDriver> driver, Options options)
    : m_driver(std::move(driver)), m_options(std::move(options)) {}

CDriverPivlink::~CDriverPivlink() { StopWorkers(); }

void CDriverPivlink::StopWorkers() { m_workers.clear(); }

int CDriverPivlink::OpenArvendal() {
  StopWorkers();
  m_devices = m_driver->Enumerate();
  m_written.assign(m_devices.size(), 0);
  for (DriverDevice& d : m_devices)
    if (d.channels.size() > static_cast<size_t>(kMaxChannels)) d.channels.resize(kMaxChannels);
  if (m_options.serving == DriverServing::kWorkers) {
    for (size_t d = 0; d < m_devices.size(); ++d)
      m_workers.push_back(
          std::make_unique<Worker>(*m_driver, static_cast<int>(d), m_devices[d], m_options));
    const Clock::time_point until = Clock::now() + m_options.firstReading;
    for (auto& w : m_workers) w->WaitFirstReading(until);
  }
  return static_cast<int>(m_devices.size());
}

int CDriverPivlink::PrepareMore() {
  std::vector<DriverDevice> more = m_driver->EnumerateMore();
  for (DriverDevice& d : more)
    if (d.channels.size() > static_cast<size_t>(kMaxChannels)) d.channels.resize(kMaxChannels);
  std::vector<std::unique_ptr<Worker>> workers;
  if (m_options.serving == DriverServing::kWorkers) {
    // The device list changes only in CommitMore, which follows this.
    const size_t base = m_devices.size();
    for (size_t k = 0; k < more.size(); ++k)
      workers.push_back(
          std::make_unique<Worker>(*m_driver, static_cast<int>(base + k), more[k], m_options));
    const Clock::time_point until = Clock::now() + m_options.firstReading;
    for (auto& w : workers) w->WaitFirstReading(until);
  }
  m_moreDevices = std::move(more);
  m_moreWorkers = std::move(workers);
  return static_cast<int>(m_moreDevices.size());
}

int CDriverPivlink::CommitMore() {
  const int count = static_cast<int>(m_moreDevices.size());
  for (DriverDevice& d : m_moreDevices) m_devices.push_back(std::move(d));
  m_written.resize(m_devices.size(), 0);
  for (auto& w : m_moreWorkers) m_workers.push_back(std::move(w));
  m_moreDevices.clear();
  m_moreWorkers.clear();
  return count;
}

bool CDriverPivlink::ReadNow(int device, DriverReading* reading) {
  // Without read-back, the levels this object wrote (all off at first).
  if (!m_devices[static_cast<size_t>(device)].readBack) {
    reading->on = m_written[static_cast<size_t>(device)];
    return true;
  }
  std::string error;
  return m_driver->Read(device, reading, &error);
}

const DriverDevice* CDriverPivlink::Facts(int device) const {
  if (device < 0 || static_cast<size_t>(device) >= m_devices.size()) return nullptr;
  return &m_devices[static_cast<size_t>(device)];
}

int CDriverPivlink::GetUSBType(int device) {
  const DriverDevice* d = Facts(device);
  return d ? d->type : 0;
}

int CDriverPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  const DriverDevice* d = Facts(device);
  if (!d) return kFailed;
  if (switchCount) *switchCount = static_cast<int>(d->channels.size());
  if (buttonAvailable) *buttonAvailable = 0;
  return kDone;
}

int CDriverPivlink::GetOnlineOnCount(int /*device*/) { return 0; }

int CDriverPivlink::IsAmpel(int device) {
  const DriverDevice* d = Facts(device);
  return d && d->trafficLight ? 1 : 0;
}

int CDriverPivlink::GetVersion(int device) {
  const DriverDevice* d = Facts(device);
  return d ? d->version : 0;
}

int CDriverPivlink::GetSerialNumber(int device) {
  const DriverDevice* d = Facts(device);
  return d ? d->serial : 0;
}

int CDriverPivlink::IsCutter(int device) {
  const DriverDevice* d = Facts(device);
  return d && d->inverted ? kCutterPlain : 0;
}

int CDriverPivlink::GetSwitch(int device, int switchId) {
  const DriverDevice* d = Facts(device);
  const int channel = switchId - kFirstSwitchId;
  if (!d || channel < 0 || channel >= static_cast<int>(d->channels.size())) return kUnreachable;
  if (!m_workers.empty()) return m_workers[static_cast<size_t>(device)]->Level(channel);
  DriverReading reading;
  if (!ReadNow(device, &reading) || !((reading.known >> channel) & 1u)) return kUnreachable;
  return static_cast<int>((reading.on >> channel) & 1u);
}

int CDriverPivlink::SetSwitch(int device, int switchId, int on) {
  const DriverDevice* d = Facts(device);
  const int channel = switchId - kFirstSwitchId;
  if (!d || channel < 0 || channel >= static_cast<int>(d->channels.size())) return kFailed;
  if (!m_workers.empty())
    return m_workers[static_cast<size_t>(device)]->Queue(channel, on != 0, false) ? kDone : kFailed;
  std::string error;
  if (!m_driver->Write(device, channel, on != 0, &error)) return kFailed;
  uint32_t& written = m_written[static_cast<size_t>(device)];
  written = on ? written | 1u << channel : written & ~(1u << channel);
  return kDone;
}

int CDriverPivlink::GetMultiSwitch(int device, unsigned long* mask, unsigned long* value,
                                   int /*seq*/) {
  const DriverDevice* d = Facts(device);
  if (!d) return kUnreachable;
  if (!m_workers.empty())
    return m_workers[static_cast<size_t>(device)]->Mask(value, mask) ? 0 : kUnreachable;
  DriverReading reading;
  if (!ReadNow(device, &reading)) return kUnreachable;
  const uint32_t all = d->channels.size() >= 32 ? ~0u : (1u << d->channels.size()) - 1u;
  if (value) *value = reading.on & reading.known & all;
  if (mask) *mask = reading.known & all;
  return 0;
}

int CDriverPivlink::ResetDevice(int device) {
  if (!Facts(device)) return kFailed;
  if (!m_workers.empty())
    return m_workers[static_cast<size_t>(device)]->Queue(0, false, true) ? kDone : kFailed;
  std::string error;
  return m_driver->Reset(device, &error) ? kDone : kFailed;
}

std::string CDriverPivlink::DeviceName(int device) {
  const DriverDevice* d = Facts(device);
  return d ? d->name : std::string();
}

std::string CDriverPivlink::ChannelName(int device, int channel) {
  const DriverDevice* d = Facts(device);
  if (!d || channel < 0 || channel >= static_cast<int>(d->channels.size())) return {};
  return d->channels[static_cast<size_t>(channel)];
}

DeviceHardware CDriverPivlink::Hardware(int device) {
  const DriverDevice* d = Facts(device);
  return d ? DeviceHardware{d->manufacturer, d->model} : DeviceHardware{};
}

bool CDriverPivlink::Settle(int device, int limitMs) {
  if (!Facts(device) || m_workers.empty()) return true;
  return m_workers[static_cast<size_t>(device)]->Settle(std::chrono::milliseconds(limitMs));
}

}  // namespace toggra

#include "device/BenchPivlink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>

#include "app/Format.h"
#include "app/Ids.h"

namespace toggra {

namespace {

constexpr int kUnreachable = -1;
constexpr int kMultiSwitchFailed = -1;

void ToStderr(const std::string& message) {
  const std::string line = message + "\n";
  // One write, so that lines of several processes do not interleave.
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

CBenchPivlink::CBenchPivlink(std::string benchPath, std::string logPath,
                             BenchFile::ErrorSink errors)
    : m_errors(errors ? std::move(errors) : BenchFile::ErrorSink(ToStderr)),
      m_file(std::move(benchPath), m_errors),
      m_logPath(std::move(logPath)) {
  if (m_logPath.empty()) return;
  m_log.Reset(::open(m_logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!m_log.Valid())
    m_errors(m_logPath + ": cannot open the command log: " +
             std::generic_category().message(errno));
}

int CBenchPivlink::OpenArvendal() {
  const BenchSet* set = m_file.Reload();
  m_openCount = set ? static_cast<int>(set->devices.size()) : 0;
  return m_openCount;
}

const BenchDevice* CBenchPivlink::Device(int device) {
  if (device < 0 || device >= m_openCount) return nullptr;
  const BenchSet* set = m_file.Current();
  if (!set || device >= static_cast<int>(set->devices.size())) return nullptr;
  return &set->devices[device];
}

int CBenchPivlink::Field(int device, int BenchDevice::*member) {
  const BenchDevice* dev = Device(device);
  return dev ? dev->*member : 0;
}

int CBenchPivlink::GetUSBType(int device) { return Field(device, &BenchDevice::type); }
int CBenchPivlink::IsAmpel(int device) { return Field(device, &BenchDevice::trafficLight); }
int CBenchPivlink::GetVersion(int device) { return Field(device, &BenchDevice::version); }
int CBenchPivlink::GetSerialNumber(int device) { return Field(device, &BenchDevice::serial); }
int CBenchPivlink::IsCutter(int device) { return Field(device, &BenchDevice::cutter); }
int CBenchPivlink::GetOnlineOnCount(int /*device*/) { return 0; }

int CBenchPivlink::GetSwitchConfig(int device, int* switchCount, int* buttonAvailable) {
  const BenchDevice* dev = Device(device);
  if (!dev) return 0;
  int& calls = m_configCalls[device];
  if (calls < INT_MAX) ++calls;
  if (calls <= dev->configFailures) return 0;
  if (switchCount) *switchCount = dev->switches;
  if (buttonAvailable) *buttonAvailable = 0;
  return 1;
}

int CBenchPivlink::GetSwitch(int device, int switchId) {
  const BenchDevice* dev = Device(device);
  const int n = switchId - kFirstSwitchId;
  if (!dev || n < 0 || n >= dev->switches) return kUnreachable;
  return dev->State(n);
}

int CBenchPivlink::GetMultiSwitch(int device, unsigned long* /*mask*/, unsigned long* value,
                                  int /*seq*/) {
  const BenchDevice* dev = Device(device);
  if (!dev || !value || dev->multiSwitchFails) return kMultiSwitchFailed;
  unsigned long bits = 0;
  for (int n = 0; n < dev->switches && n < static_cast<int>(dev->state.size()); ++n)
    if (dev->state[n] == 1) bits |= 1ul << n;
  *value = bits;
  return 0;
}

int CBenchPivlink::SetSwitch(int device, int switchId, int on) {
  Log(Format("SetSwitch %d %d %d", device, switchId, on));
  if (device < 0 || device >= m_openCount) return 0;
  const int n = switchId - kFirstSwitchId;
  // A channel already in that state is not written again: the start-up and a
  // group layout's state file send every channel its state on each pass, and
  // each rewrite would make every reader of the file reread it in full for a
  // while (see BenchFile::kSettle).
  if (const BenchDevice* dev = Device(device); dev && n >= 0 && n < dev->switches &&
                                               dev->State(n) == on)
    return 1;
  // The checks run on the file as it is under the lock, not on the cache.
  const bool written = m_file.Modify([&](BenchSet& set) {
    if (device >= static_cast<int>(set.devices.size())) return false;
    if (n < 0 || n >= set.devices[device].switches) return false;
    set.SetState(device, n, on);
    return true;
  });
  return written ? 1 : 0;
}

int CBenchPivlink::ResetDevice(int device) {
  Log(Format("ResetDevice %d", device));
  if (device < 0 || device >= m_openCount) return 0;
  const bool written = m_file.Modify([&](BenchSet& set) {
    if (device >= static_cast<int>(set.devices.size())) return false;
    const int resets = set.devices[device].resets;
    set.SetResets(device, resets < INT_MAX ? resets + 1 : resets);
    return true;
  });
  return written ? 1 : 0;
}

void CBenchPivlink::Log(const std::string& line) {
  if (!m_log.Valid()) return;
  const std::string text = line + "\n";
  // One write per line on an O_APPEND file: lines of several processes never mix.
  [[maybe_unused]] const ssize_t n = ::write(m_log.Get(), text.data(), text.size());
}

}  // namespace toggra
